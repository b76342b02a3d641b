// Readable text of a data form, for demos and tests: strings quoted with
// escapes, keywords with ':', (lists), [vectors], {k v, k v} maps and #{sets}
// with their entries sorted by text so the output does not depend on hash
// order, #"regex", n/d ratios, floats in shortest round-trip form. Meta
// wrappers are transparent. Nesting too deep for the stack renders as "...".
#pragma once

#include <string>

#include "value.h"

namespace quorvel {

std::string render_form(const Value& form);

}  // namespace quorvel
