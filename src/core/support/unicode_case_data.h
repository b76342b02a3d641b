// The Unicode case tables (generated into unicode_case_data.cpp by
// tools/gen_unicode_case.py), read by unicode_case.cpp.
#pragma once

#include <cstdint>
#include <span>

namespace quorvel::unicode_case {

// Code points first, first + stride, ... (count of them) map to cp + delta.
struct CaseRun {
  char32_t first;
  uint16_t count;
  uint8_t stride;
  int32_t delta;
};

// A code point whose mapping is two or three characters (unused ones are 0).
struct CaseExpansion {
  char32_t code_point;
  char32_t mapped[3];
};

// One direction of case conversion; both lists are sorted by code point.
struct CaseTables {
  std::span<const CaseRun> runs;
  std::span<const CaseExpansion> expansions;
};

// How a character takes part in the Final_Sigma rule of lower-casing.
enum SigmaClass : uint8_t {
  kNotCased = 0,
  kCaseIgnorable = 1,
  kCased = 2,  // cased and not case-ignorable
};

// The class of the code points from `first` up to the next range's first.
struct SigmaRange {
  char32_t first;
  uint8_t sigma_class;
};

extern const CaseTables kUpper;
extern const CaseTables kLower;
// Sorted by first; the first range starts at 0.
extern const std::span<const SigmaRange> kSigmaClasses;

}  // namespace quorvel::unicode_case
