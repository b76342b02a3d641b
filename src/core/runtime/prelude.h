// The prelude: the library written in the language itself, embedded into the
// program at build time from prelude.qv.
#pragma once

#include <string_view>

namespace quorvel {

extern const std::string_view kPreludeText;

}  // namespace quorvel
