#include "natives/regex.h"

#include <re2/re2.h>

#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "natives/args.h"
#include "support/utf8.h"
#include "value.h"

namespace quorvel {

namespace {

using Groups = std::vector<re2::StringPiece>;

// The groups of the leftmost match starting at or after byte `from`
// (group 0 is the whole match; a group that took no part has no data).
std::optional<Groups> find_from(const re2::RE2& re, std::string_view text, size_t from,
                                size_t group_count) {
  Groups groups(group_count);
  if (!re.Match(re2::StringPiece(text.data(), text.size()), from, text.size(), re2::RE2::UNANCHORED,
                groups.data(), static_cast<int>(group_count))) {
    return std::nullopt;
  }
  return groups;
}

// Byte offset of a piece of `text` found by a match.
size_t offset_in(std::string_view text, re2::StringPiece piece) {
  return static_cast<size_t>(piece.data() - text.data());
}

// Calls visit(groups) for the successive non-overlapping occurrences that
// find(from) reports (the leftmost one starting at or after byte `from`), at
// most `limit` of them. After an empty occurrence the search goes on one
// character further, so every position is tried once.
template <class Find, class Visit>
void for_each_match(std::string_view text, size_t limit, Find find, Visit visit) {
  size_t pos = 0;
  for (size_t found = 0; found < limit && pos <= text.size(); ++found) {
    const std::optional<Groups> groups = find(pos);
    if (!groups) return;
    visit(*groups);
    const size_t end = offset_in(text, (*groups)[0]) + (*groups)[0].size();
    if (!(*groups)[0].empty()) {
      pos = end;
    } else if (end < text.size()) {
      pos = end + utf8::decode(text, end).length;
    } else {
      return;
    }
  }
}

// The finder of for_each_match for a regex, asking for `group_count` groups.
auto regex_finder(const re2::RE2& re, std::string_view text, size_t group_count) {
  return [&re, text, group_count](size_t from) { return find_from(re, text, from, group_count); };
}

const RegexObject* regex_arg(const VM& vm, VMValue v) {
  return heap_object_as<RegexObject>(vm, v);
}

// The regex and the string of (re-find re s) and its siblings.
struct RegexAndText {
  const RegexObject* regex;
  std::string_view text;
};

Result<RegexAndText, VMError> regex_and_text(const VM& vm, Args args) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  const RegexObject* regex = regex_arg(vm, args[0]);
  if (!regex) return type_error("expected a regex");
  const auto text = string_text(vm, args[1]);
  if (!text) return type_error("expected a string");
  return RegexAndText{regex, *text};
}

// The group a reference names: digits are a number, anything else a name.
std::optional<size_t> group_index(const re2::RE2& re, std::string_view reference) {
  size_t number = 0;
  const char* end = reference.data() + reference.size();
  const auto [ptr, ec] = std::from_chars(reference.data(), end, number);
  if (!reference.empty() && ec == std::errc() && ptr == end) return number;
  const auto& names = re.NamedCapturingGroups();
  const auto it = names.find(std::string(reference));
  if (it == names.end()) return std::nullopt;
  return static_cast<size_t>(it->second);
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// A group reference: the group's number or name, and the length of the
// reference text including its "$".
struct GroupReference {
  std::string_view group;
  size_t length;
};

// The reference $N or ${group} starting at the "$" at `at`; nothing when
// no reference follows.
std::optional<GroupReference> reference_at(std::string_view replacement, size_t at) {
  const std::string_view rest = replacement.substr(at + 1);
  if (rest.starts_with('{')) {
    const size_t close = rest.find('}');
    if (close == std::string_view::npos) return std::nullopt;
    return GroupReference{rest.substr(1, close - 1), close + 2};
  }
  size_t digits = 0;
  while (digits < rest.size() && is_digit(rest[digits])) ++digits;
  if (digits == 0) return std::nullopt;
  return GroupReference{rest.substr(0, digits), digits + 1};
}

// Appends the replacement with its group references expanded: $N and ${N}
// for a numbered group, ${name} for a named one, $$ for a dollar sign. A
// group that does not exist or took no part gives nothing; any other "$"
// stays as it is.
void expand(std::string& out, const re2::RE2& re, std::string_view replacement,
            const Groups& groups) {
  for (size_t i = 0; i < replacement.size();) {
    if (replacement[i] != '$') {
      out += replacement[i++];
      continue;
    }
    if (replacement.substr(i).starts_with("$$")) {
      out += '$';
      i += 2;
      continue;
    }
    const auto reference = reference_at(replacement, i);
    if (!reference) {
      out += replacement[i++];
      continue;
    }
    const auto index = group_index(re, reference->group);
    if (index && *index < groups.size() && !groups[*index].empty()) {
      out.append(groups[*index].data(), groups[*index].size());
    }
    i += reference->length;
  }
}

// text with the first `limit` occurrences found by `find` replaced by
// what append_replacement(out, groups) appends.
template <class Find, class AppendReplacement>
std::string replace_matches(std::string_view text, size_t limit, Find find,
                            AppendReplacement append_replacement) {
  std::string out;
  size_t copied = 0;
  for_each_match(text, limit, find, [&](const Groups& groups) {
    const size_t start = offset_in(text, groups[0]);
    out.append(text.substr(copied, start - copied));
    append_replacement(out, groups);
    copied = start + groups[0].size();
  });
  out.append(text.substr(copied));
  return out;
}

// (replace s p r) and (replace-first s p r): p a literal string or a regex.
NativeResult replace(VM& vm, Args args, size_t limit, std::string_view pattern_error) {
  if (auto error = check_exactly(args, 3)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  if (!text) return type_error("expected a string");
  const auto replacement = string_text(vm, args[2]);
  if (!replacement) return type_error("expected a string");
  if (const auto pattern = string_text(vm, args[1])) {
    // A literal pattern; an empty one occurs before every character and at
    // the end.
    const auto find = [&](size_t from) -> std::optional<Groups> {
      const size_t at = text->find(*pattern, from);
      if (at == std::string_view::npos) return std::nullopt;
      return Groups{re2::StringPiece(text->data() + at, pattern->size())};
    };
    return vm.alloc_string(replace_matches(
        *text, limit, find, [&](std::string& out, const Groups&) { out += *replacement; }));
  }
  if (const RegexObject* regex = regex_arg(vm, args[1])) {
    const re2::RE2& re = *regex->regex;
    const size_t group_count = 1 + static_cast<size_t>(re.NumberOfCapturingGroups());
    return vm.alloc_string(replace_matches(
        *text, limit, regex_finder(re, *text, group_count),
        [&](std::string& out, const Groups& groups) { expand(out, re, *replacement, groups); }));
  }
  return type_error(std::string(pattern_error));
}

constexpr size_t kEveryMatch = static_cast<size_t>(-1);

}  // namespace

NativeResult native_re_pattern(VM& vm, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  if (!text) return type_error("expected a string");
  auto compiled = Value::Regex::compile(std::string(*text));
  if (!compiled) return value_error("invalid regex: " + compiled.error());
  return VMValue::heap(vm.alloc(RegexObject{compiled->shared_engine(), std::string(*text)}));
}

NativeResult native_re_find(VM& vm, Args args) {
  auto input = regex_and_text(vm, args);
  if (!input) return make_err(std::move(input.error()));
  const auto groups = find_from(*input->regex->regex, input->text, 0, 1);
  if (!groups) return VMValue::nil();
  return vm.alloc_string(std::string((*groups)[0].data(), (*groups)[0].size()));
}

// The whole string when the pattern matches all of it (as the pattern
// wrapped in ^(?: and )$ would), else nil.
NativeResult native_re_matches(VM& vm, Args args) {
  auto input = regex_and_text(vm, args);
  if (!input) return make_err(std::move(input.error()));
  const re2::StringPiece text(input->text.data(), input->text.size());
  if (!input->regex->regex->Match(text, 0, text.size(), re2::RE2::ANCHOR_BOTH, nullptr, 0)) {
    return VMValue::nil();
  }
  return vm.alloc_string(std::string(input->text));
}

// A list of the texts of all successive non-overlapping matches.
NativeResult native_re_seq(VM& vm, Args args) {
  auto input = regex_and_text(vm, args);
  if (!input) return make_err(std::move(input.error()));
  std::vector<VMValue> found;
  const auto find = regex_finder(*input->regex->regex, input->text, 1);
  for_each_match(input->text, kEveryMatch, find, [&](const Groups& groups) {
    found.push_back(vm.alloc_string(std::string(groups[0].data(), groups[0].size())));
  });
  return vm.make_list(std::move(found));
}

NativeResult native_replace(VM& vm, Args args) {
  return replace(vm, args, kEveryMatch, "replace pattern must be string or regex");
}

NativeResult native_replace_first(VM& vm, Args args) {
  return replace(vm, args, 1, "replace-first pattern must be string or regex");
}

}  // namespace quorvel
