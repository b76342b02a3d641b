// UTF-8 decoding and encoding helpers. Text is held as std::string of UTF-8
// bytes; invalid sequences decode as U+FFFD one byte at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::utf8 {

constexpr char32_t kReplacement = 0xFFFD;

// One decoded character: its code point and the number of bytes it used.
struct Decoded {
  char32_t code_point;
  size_t length;
};

// Decodes the character starting at byte `pos`; requires pos < text.size().
Decoded decode(std::string_view text, size_t pos);

// Appends the UTF-8 encoding of `cp` (surrogates and values above U+10FFFF
// become U+FFFD).
void append(std::string& out, char32_t cp);

// Number of characters (code points) in the text.
size_t length(std::string_view text);

// Byte offset of character number `index`, or text.size() when past the end.
size_t byte_offset(std::string_view text, size_t index);

// True for the characters with the Unicode White_Space property.
bool is_white_space(char32_t cp);

// True when the text is well-formed UTF-8.
bool is_valid(std::string_view text);

}  // namespace quorvel::utf8
