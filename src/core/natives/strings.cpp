#include "natives/strings.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "natives/args.h"
#include "support/unicode_case.h"
#include "support/utf8.h"
#include "vm/printer.h"

namespace quorvel {

namespace {

// Byte offset just past the leading Unicode whitespace.
size_t leading_space_end(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    const utf8::Decoded ch = utf8::decode(text, pos);
    if (!utf8::is_white_space(ch.code_point)) break;
    pos += ch.length;
  }
  return pos;
}

// Byte offset where the trailing Unicode whitespace starts.
size_t trailing_space_start(std::string_view text) {
  size_t end = 0;
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Decoded ch = utf8::decode(text, pos);
    pos += ch.length;
    if (!utf8::is_white_space(ch.code_point)) end = pos;
  }
  return end;
}

enum class Trim { Left, Right, Both };

NativeResult trim(VM& vm, Args args, Trim side) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  if (!text) return type_error("expected a string");
  const size_t start = side == Trim::Right ? 0 : leading_space_end(*text);
  const size_t end = side == Trim::Left ? text->size() : trailing_space_start(*text);
  return vm.alloc_string(std::string(text->substr(start, std::max(start, end) - start)));
}

using CaseConversion = std::string (*)(std::string_view);

NativeResult convert_case(VM& vm, Args args, CaseConversion convert) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  if (!text) return type_error("expected a string");
  return vm.alloc_string(convert(*text));
}

enum class Affix { Prefix, Suffix };

NativeResult has_affix(VM& vm, Args args, Affix affix) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  const auto part = string_text(vm, args[1]);
  if (!text || !part) return type_error("expected a string");
  return VMValue::boolean(affix == Affix::Prefix ? text->starts_with(*part)
                                                 : text->ends_with(*part));
}

// The full text of a symbol or keyword; nothing for other values.
std::optional<std::string_view> name_text(const VM& vm, VMValue v) {
  if (!v.is_symbol() && !v.is_keyword()) return std::nullopt;
  return vm.interner().text(v.name_key());
}

}  // namespace

// (subs s start end?): characters from start up to end, both clamped to
// the length; empty when start is not before end.
NativeResult native_subs(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  if (!text) return type_error("subs requires a string");
  if (!args[1].is_int()) return type_error("start must be integer");
  if (args[1].as_int() < 0) return type_error("start must be non-negative");
  const uint64_t length = utf8::length(*text);
  const uint64_t start = std::min<uint64_t>(args[1].as_int(), length);
  uint64_t end = length;
  if (args.size() > 2) {
    if (!args[2].is_int()) return type_error("end must be integer");
    if (args[2].as_int() < 0) return type_error("end must be non-negative");
    end = std::min<uint64_t>(args[2].as_int(), length);
  }
  if (start >= end) return vm.alloc_string("");
  const size_t from = utf8::byte_offset(*text, start);
  const size_t to = utf8::byte_offset(*text, end);
  return vm.alloc_string(std::string(text->substr(from, to - from)));
}

NativeResult native_string_length(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  if (!text) return type_error("string-length requires a string");
  return VMValue::integer(static_cast<int64_t>(utf8::length(*text)));
}

// (split s d): every piece between occurrences of the plain separator, the
// empty ones included. An empty separator splits around every character.
NativeResult native_split(VM& vm, Args args) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  const auto separator = string_text(vm, args[1]);
  if (!text || !separator) return type_error("expected a string");
  std::vector<VMValue> pieces;
  const auto add = [&](std::string_view piece) {
    pieces.push_back(vm.alloc_string(std::string(piece)));
  };
  if (separator->empty()) {
    add("");
    for (size_t pos = 0; pos < text->size();) {
      const size_t length = utf8::decode(*text, pos).length;
      add(text->substr(pos, length));
      pos += length;
    }
    add("");
  } else {
    size_t start = 0;
    size_t found = 0;
    while ((found = text->find(*separator, start)) != std::string_view::npos) {
      add(text->substr(start, found - start));
      start = found + separator->size();
    }
    add(text->substr(start));
  }
  return vm.make_vector(std::move(pieces));
}

// (join sep coll): the display forms of the elements of nil, a list or a
// vector, separated by sep.
NativeResult native_join(VM& vm, Args args) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  const auto separator = string_text(vm, args[0]);
  if (!separator) return type_error("expected a string");
  const auto items = sequence_items(vm, args[1]);
  if (!items) return type_error("join requires a sequence");
  std::string out;
  bool first = true;
  for (const VMValue& item : *items) {
    if (!first) out += *separator;
    first = false;
    auto text = print_value(vm, item, false);
    if (!text) return make_err(std::move(text.error()));
    out += *text;
  }
  return vm.alloc_string(std::move(out));
}

NativeResult native_upper_case(VM& vm, Args args) {
  return convert_case(vm, args, to_upper_case);
}

NativeResult native_lower_case(VM& vm, Args args) {
  return convert_case(vm, args, to_lower_case);
}

NativeResult native_trim(VM& vm, Args args) {
  return trim(vm, args, Trim::Both);
}

NativeResult native_triml(VM& vm, Args args) {
  return trim(vm, args, Trim::Left);
}

NativeResult native_trimr(VM& vm, Args args) {
  return trim(vm, args, Trim::Right);
}

NativeResult native_starts_with(VM& vm, Args args) {
  return has_affix(vm, args, Affix::Prefix);
}

NativeResult native_ends_with(VM& vm, Args args) {
  return has_affix(vm, args, Affix::Suffix);
}

// (name x): a string itself; for a symbol or keyword the text after the
// last "/" ("/" alone is its own name).
NativeResult native_name(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  if (string_text(vm, args[0])) return args[0];
  const auto text = name_text(vm, args[0]);
  if (!text) return type_error("name requires a symbol, keyword, or string");
  const size_t slash = text->rfind('/');
  if (*text == "/" || slash == std::string_view::npos) return vm.alloc_string(std::string(*text));
  return vm.alloc_string(std::string(text->substr(slash + 1)));
}

// (namespace x): the text before the last "/" of a symbol or keyword, or
// nil when there is no "/" after the first character.
NativeResult native_namespace(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto text = name_text(vm, args[0]);
  if (!text) return type_error("namespace requires a symbol or keyword");
  const size_t slash = text->rfind('/');
  if (slash == std::string_view::npos || slash == 0) return VMValue::nil();
  return vm.alloc_string(std::string(text->substr(0, slash)));
}

NativeResult native_symbol(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  if (!text) return type_error("expected a string");
  return VMValue::symbol(vm.interner().intern(*text));
}

NativeResult native_keyword(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  if (!text) return type_error("expected a string");
  return VMValue::keyword(vm.interner().intern(*text));
}

}  // namespace quorvel
