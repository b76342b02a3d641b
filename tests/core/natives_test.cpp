// The native table: compiled code and Native values refer to rows by index,
// and the VM turns every row into a global and a documentation entry, so the
// order, the names and the doc format are fixed.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "natives/table.h"

namespace quorvel {
namespace {

constexpr std::string_view kTimes = "\xC3\x97";  // U+00D7, the argument separator

bool is_internal(std::string_view name) {
  return name == "__subvec" || name == "__throw-arity" || name == "__make_effect__" ||
         name == "assert-failed";
}

TEST(NativeTable, RowsAreCompleteUniqueAndInIndexOrder) {
  const auto table = build_native_table();
  ASSERT_EQ(table.size(), 159u);
  std::set<std::string_view> names;
  for (const NativeEntry& row : table) {
    EXPECT_FALSE(row.name.empty());
    EXPECT_NE(row.function, nullptr) << row.name;
    EXPECT_TRUE(names.insert(row.name).second) << "duplicate " << row.name;
  }
  // Indexes the compiler calls directly, and a sample across the table.
  const std::pair<size_t, std::string_view> expected[] = {
      {0, "nth"},         {8, "get"},         {67, "drop"},
      {18, "+"},          {72, "__subvec"},   {77, "assert-failed"},
      {131, "parse-int"}, {158, "nano-time"},
  };
  for (const auto& [index, name] : expected) EXPECT_EQ(table[index].name, name) << index;
  EXPECT_EQ(kNativeNth, 0);
  EXPECT_EQ(kNativeGet, 8);
  EXPECT_EQ(kNativeDrop, 67);
}

TEST(NativeTable, DocsAreSignatureNewlineDescription) {
  size_t internal = 0;
  for (const NativeEntry& row : build_native_table()) {
    if (is_internal(row.name)) {
      EXPECT_TRUE(row.doc.empty()) << row.name;
      ++internal;
      continue;
    }
    const size_t newline = row.doc.find('\n');
    ASSERT_NE(newline, std::string_view::npos) << row.name;
    const std::string_view signature = row.doc.substr(0, newline);
    const std::string_view description = row.doc.substr(newline + 1);
    EXPECT_EQ(description.find('\n'), std::string_view::npos) << row.name;
    EXPECT_NE(signature.find("->"), std::string_view::npos) << row.name;
    EXPECT_TRUE(description.ends_with('.')) << row.name;
    // Every multiplication sign separates two arguments with single spaces.
    for (size_t at = signature.find(kTimes); at != std::string_view::npos;
         at = signature.find(kTimes, at + 1)) {
      EXPECT_TRUE(at > 0 && signature[at - 1] == ' ' && signature[at + kTimes.size()] == ' ')
          << row.name;
    }
  }
  EXPECT_EQ(internal, 4u);
}

TEST(NativeTable, SampleDocsAreExact) {
  const auto table = build_native_table();
  const auto doc_of = [&](std::string_view name) {
    for (const NativeEntry& row : table) {
      if (row.name == name) return row.doc;
    }
    return std::string_view();
  };
  const std::string times(kTimes);
  EXPECT_EQ(doc_of("nth"), "Coll a " + times + " Int -> a\nReturns element at index.");
  EXPECT_EQ(doc_of("apply"), "(a ... -> b) " + times + " a ... " + times +
                                 " Coll a -> b\nApplies f with args spread from collection.");
  EXPECT_EQ(doc_of("println"), "a ... -> <console> Nil\nPrints to console with newline.");
  EXPECT_EQ(doc_of("name"), "Symbol | Keyword | String -> String\nReturns name part.");
  EXPECT_EQ(doc_of("e"), "-> Float\nEuler's number.");
  EXPECT_EQ(doc_of("signum"), "Num -> Int\nSign: -1, 0, or 1.");
}

}  // namespace
}  // namespace quorvel
