// EDN text to host values: the reader's full syntax, nothing evaluated.
#pragma once

#include <string_view>

#include "embed/error.h"
#include "embed/host_value.h"
#include "support/result.h"

namespace quorvel::embed::edn {

// The last form of the text (earlier ones are read and dropped), nil for a
// text without forms; a read error is InvalidEdn with the reader's display.
Result<Value, Error> parse(std::string_view text);

}  // namespace quorvel::embed::edn
