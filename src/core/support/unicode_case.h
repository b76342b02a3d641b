// Full Unicode case conversion of UTF-8 text: the one-to-one mappings, the
// expansions to several characters (ß upper-cases to SS, İ lower-cases to
// i and a combining dot) and the Final_Sigma rule (Σ lower-cases to ς at
// the end of a word). Invalid UTF-8 decodes as U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

std::string to_upper_case(std::string_view text);
std::string to_lower_case(std::string_view text);

}  // namespace quorvel
