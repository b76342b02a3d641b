#include "support/unicode_case.h"

#include <algorithm>
#include <vector>

#include "support/unicode_case_data.h"
#include "support/utf8.h"

namespace quorvel {

namespace {

using namespace unicode_case;

constexpr char32_t kCapitalSigma = 0x03A3;
constexpr char32_t kSmallSigma = 0x03C3;
constexpr char32_t kFinalSigma = 0x03C2;

std::vector<char32_t> decode_all(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Decoded ch = utf8::decode(text, pos);
    out.push_back(ch.code_point);
    pos += ch.length;
  }
  return out;
}

// Appends the mapping of cp in one direction.
void append_mapped(std::string& out, const CaseTables& tables, char32_t cp) {
  const auto expansion =
      std::lower_bound(tables.expansions.begin(), tables.expansions.end(), cp,
                       [](const CaseExpansion& e, char32_t c) { return e.code_point < c; });
  if (expansion != tables.expansions.end() && expansion->code_point == cp) {
    for (const char32_t mapped : expansion->mapped) {
      if (mapped != 0) utf8::append(out, mapped);
    }
    return;
  }
  // The last run starting at or before cp.
  const auto after = std::upper_bound(tables.runs.begin(), tables.runs.end(), cp,
                                      [](char32_t c, const CaseRun& run) { return c < run.first; });
  if (after != tables.runs.begin()) {
    const CaseRun& run = *(after - 1);
    const char32_t offset = cp - run.first;
    if (offset % run.stride == 0 && offset / run.stride < run.count) {
      utf8::append(out, static_cast<char32_t>(static_cast<int64_t>(cp) + run.delta));
      return;
    }
  }
  utf8::append(out, cp);
}

uint8_t sigma_class(char32_t cp) {
  const auto after =
      std::upper_bound(kSigmaClasses.begin(), kSigmaClasses.end(), cp,
                       [](char32_t c, const SigmaRange& range) { return c < range.first; });
  return (after - 1)->sigma_class;
}

// Whether the first character of [begin, end) that is not case-ignorable
// exists and is cased.
template <class It>
bool first_significant_is_cased(It begin, It end) {
  for (It it = begin; it != end; ++it) {
    const uint8_t c = sigma_class(*it);
    if (c != kCaseIgnorable) return c == kCased;
  }
  return false;
}

}  // namespace

std::string to_upper_case(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char32_t cp : decode_all(text)) append_mapped(out, kUpper, cp);
  return out;
}

std::string to_lower_case(std::string_view text) {
  const std::vector<char32_t> chars = decode_all(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < chars.size(); ++i) {
    if (chars[i] == kCapitalSigma) {
      // Final_Sigma: a cased letter before it and none after it.
      const auto here = chars.begin() + static_cast<std::ptrdiff_t>(i);
      const bool final =
          first_significant_is_cased(std::make_reverse_iterator(here), chars.rend()) &&
          !first_significant_is_cased(here + 1, chars.end());
      utf8::append(out, final ? kFinalSigma : kSmallSigma);
    } else {
      append_mapped(out, kLower, chars[i]);
    }
  }
  return out;
}

}  // namespace quorvel
