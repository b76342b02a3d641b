#include "support/utf8.h"

namespace quorvel::utf8 {

namespace {

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

Decoded decode(std::string_view text, size_t pos) {
  const auto c0 = static_cast<unsigned char>(text[pos]);
  if (c0 < 0x80) return {c0, 1};
  size_t need;
  char32_t cp;
  char32_t min;
  if ((c0 & 0xE0) == 0xC0) {
    need = 1, cp = c0 & 0x1F, min = 0x80;
  } else if ((c0 & 0xF0) == 0xE0) {
    need = 2, cp = c0 & 0x0F, min = 0x800;
  } else if ((c0 & 0xF8) == 0xF0) {
    need = 3, cp = c0 & 0x07, min = 0x10000;
  } else {
    return {kReplacement, 1};
  }
  if (pos + need >= text.size()) return {kReplacement, 1};
  for (size_t i = 1; i <= need; ++i) {
    const auto c = static_cast<unsigned char>(text[pos + i]);
    if (!is_continuation(c)) return {kReplacement, 1};
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {kReplacement, 1};
  return {cp, need + 1};
}

void append(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

size_t length(std::string_view text) {
  size_t n = 0;
  for (size_t pos = 0; pos < text.size(); pos += decode(text, pos).length) ++n;
  return n;
}

size_t byte_offset(std::string_view text, size_t index) {
  size_t pos = 0;
  for (size_t i = 0; i < index && pos < text.size(); ++i) pos += decode(text, pos).length;
  return pos;
}

bool is_white_space(char32_t cp) {
  switch (cp) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return cp >= 0x2000 && cp <= 0x200A;
  }
}

bool is_valid(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    Decoded d = decode(text, pos);
    // A decoding failure yields U+FFFD over one byte; a literal U+FFFD uses three.
    if (d.code_point == kReplacement && d.length == 1) return false;
    pos += d.length;
  }
  return true;
}

}  // namespace quorvel::utf8
