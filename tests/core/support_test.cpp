// Tests of the small support pieces: SipHash, UTF-8, interner, arena, stack guard.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/arena.h"
#include "support/interner.h"
#include "support/siphash.h"
#include "support/stack_guard.h"
#include "support/utf8.h"

namespace quorvel {
namespace {

constexpr SipKey kReferenceKey{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};

// Published vectors for key 00..0f and message 00..(n-1).
TEST(SipHash, MatchesReferenceVectors13) {
  unsigned char message[2] = {0, 1};
  EXPECT_EQ(siphash13(kReferenceKey, message, 0), 0xabac0158050fc4dcULL);
  EXPECT_EQ(siphash13(kReferenceKey, message, 1), 0xc9f49bf37d57ca93ULL);
}

TEST(SipHash, MatchesReferenceVectors24) {
  const struct {
    size_t length;
    uint64_t expected;
  } cases[] = {
      {0, 0x726fdb47dd0e0e31ULL}, {1, 0x74f839c593dc67fdULL},  {2, 0x0d6c8009d9a94f5aULL},
      {3, 0x85676696d7fb7e2dULL}, {15, 0xa129ca6149be45e5ULL},
  };
  unsigned char message[64];
  for (int i = 0; i < 64; ++i) message[i] = static_cast<unsigned char>(i);
  for (const auto& c : cases) {
    SipHasher24 h(kReferenceKey);
    h.write(message, c.length);
    EXPECT_EQ(h.finish(), c.expected) << "length " << c.length;
  }
}

TEST(SipHash, IncrementalFeedingEqualsOneShot) {
  std::string text = "the quick brown fox jumps over the lazy dog";
  const uint64_t whole = siphash13(kReferenceKey, text.data(), text.size());
  for (size_t split = 0; split <= text.size(); ++split) {
    SipHasher13 h(kReferenceKey);
    h.write(text.data(), split);
    h.write(text.data() + split, text.size() - split);
    EXPECT_EQ(h.finish(), whole) << split;
  }
  SipHasher13 a, b;
  a.write_u8(1);
  a.write_u64(0x1122334455667788ULL);
  const unsigned char bytes[] = {1, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
  b.write(bytes, sizeof bytes);
  EXPECT_EQ(a.finish(), b.finish());
  EXPECT_NE(siphash13({}, "a", 1), siphash13({1, 0}, "a", 1));
}

TEST(Utf8, DecodesEncodesAndCounts) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é € 😀
  EXPECT_EQ(utf8::length(text), 4u);
  EXPECT_EQ(utf8::decode(text, 1).code_point, U'\u00E9');
  EXPECT_EQ(utf8::decode(text, 3).length, 3u);
  EXPECT_EQ(utf8::decode(text, 6).code_point, U'\U0001F600');
  EXPECT_EQ(utf8::byte_offset(text, 2), 3u);
  std::string out;
  for (char32_t cp : {U'a', U'\u00E9', U'\u20AC', U'\U0001F600'}) utf8::append(out, cp);
  EXPECT_EQ(out, text);
  EXPECT_TRUE(utf8::is_valid(text));
  for (const char* bad : {"\xC3", "\xFF", "\xE2\x82", "\xED\xA0\x80", "\xC0\x80"}) {
    EXPECT_FALSE(utf8::is_valid(bad)) << bad;
    EXPECT_EQ(utf8::decode(bad, 0).length, 1u);
  }
}

TEST(Utf8, WhiteSpaceSet) {
  for (char32_t cp : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A,
                      0x2028, 0x2029, 0x202F, 0x205F, 0x3000}) {
    EXPECT_TRUE(utf8::is_white_space(cp)) << std::hex << uint32_t(cp);
  }
  for (char32_t cp : {0x00, 0x41, 0x200B, 0x180E, 0xFEFF, 0x2C}) {
    EXPECT_FALSE(utf8::is_white_space(cp)) << std::hex << uint32_t(cp);
  }
}

TEST(Interner, KeysAreStableAndZeroMeansNone) {
  Interner in;
  const uint32_t a = in.intern("alpha");
  EXPECT_NE(a, 0u);
  EXPECT_EQ(in.intern("alpha"), a);
  EXPECT_NE(in.intern("beta"), a);
  EXPECT_EQ(in.text(a), "alpha");
  EXPECT_EQ(in.text(0), "");
  EXPECT_EQ(in.find("gamma"), 0u);
  for (int i = 0; i < 10000; ++i) in.intern("name" + std::to_string(i));
  EXPECT_EQ(in.text(a), "alpha");  // texts keep their storage as the table grows
  EXPECT_EQ(in.find("name9999"), in.intern("name9999"));
}

TEST(Arena, FreedKeysNeverFindLaterObjects) {
  Arena<std::string> arena;
  const ArenaKey first = arena.insert("one");
  const ArenaKey second = arena.insert("two");
  ASSERT_TRUE(arena.remove(first));
  EXPECT_FALSE(arena.remove(first));
  EXPECT_EQ(arena.get(first), nullptr);
  const ArenaKey reused = arena.insert("three");
  EXPECT_EQ(reused.index, first.index);  // the slot is reused ...
  EXPECT_EQ(arena.get(first), nullptr);  // ... but the old key stays dead
  EXPECT_EQ(*arena.get(reused), "three");
  EXPECT_EQ(*arena.get(second), "two");
  EXPECT_EQ(arena.live(), 2u);
  std::vector<std::string> seen;
  arena.for_each([&](ArenaKey, std::string& s) { seen.push_back(s); });
  EXPECT_EQ(seen, (std::vector<std::string>{"three", "two"}));

  // remove_if kills the keys it frees like remove does.
  const ArenaKey kept = arena.insert("kept");
  arena.remove_if([](const std::string& s) { return s != "kept"; });
  EXPECT_EQ(arena.live(), 1u);
  EXPECT_EQ(arena.get(second), nullptr);
  EXPECT_EQ(arena.get(reused), nullptr);
  EXPECT_EQ(*arena.get(kept), "kept");
  EXPECT_NE(arena.insert("new").index, kept.index);
}

int recurse_until_guard(int depth) {
  if (!StackGuard::has_room()) return depth;
  volatile char pad[512];
  pad[0] = 0;
  return recurse_until_guard(depth + 1) + pad[0];
}

TEST(StackGuard, StopsDeepRecursionBeforeTheEnd) {
  EXPECT_TRUE(StackGuard::has_room());
  EXPECT_GT(recurse_until_guard(0), 100);
  EXPECT_TRUE(StackGuard::has_room());
}

}  // namespace
}  // namespace quorvel
