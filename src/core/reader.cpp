#include "reader.h"

#include <charconv>
#include <limits>
#include <numeric>
#include <utility>

#include "support/stack_guard.h"
#include "support/utf8.h"

namespace quorvel {

namespace {

bool is_whitespace(char32_t c) {
  return c == ',' || utf8::is_white_space(c);
}

// Characters that end a token besides whitespace.
bool is_delimiter(char32_t c) {
  switch (c) {
    case '"':
    case '`':
    case '(':
    case ')':
    case ',':
    case ';':
    case '[':
    case ']':
    case '{':
    case '}':
    case '~':
      return true;
    default:
      return false;
  }
}

Value::Vector to_pvector(std::vector<Value>&& items) {
  return Value::Vector::from_range(std::make_move_iterator(items.begin()),
                                   std::make_move_iterator(items.end()));
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Value of an ASCII digit or letter as a digit (a and A are 10), or 36.
int digit_value(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<int>(c - 'a') + 10;
  if (c >= 'A' && c <= 'Z') return static_cast<int>(c - 'A') + 10;
  return 36;
}

// An optional sign then one or more digits of `base`, within int64.
std::optional<int64_t> parse_integer(std::string_view s, int base) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  const uint64_t limit = negative ? uint64_t{1} << 63 : std::numeric_limits<int64_t>::max();
  uint64_t magnitude = 0;
  for (char c : s) {
    const int d = digit_value(static_cast<unsigned char>(c));
    if (d >= base) return std::nullopt;
    const auto digit = static_cast<uint64_t>(d);
    if (magnitude > (limit - digit) / static_cast<uint64_t>(base)) return std::nullopt;
    magnitude = magnitude * static_cast<uint64_t>(base) + digit;
  }
  return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

// A reduced ratio of two decimal integers, with the sign on the numerator.
// Nothing when a part is not such an integer or the reduced ratio does not
// fit in 64 bits (so -9223372036854775808/-1 stays a symbol); a zero
// denominator is reported through `zero_denominator`.
std::optional<Value> parse_ratio(std::string_view token, bool& zero_denominator) {
  const size_t slash = token.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto n = parse_integer(token.substr(0, slash), 10);
  const auto d = parse_integer(token.substr(slash + 1), 10);
  if (!n || !d) return std::nullopt;
  if (*d == 0) {
    zero_denominator = true;
    return std::nullopt;
  }
  // Magnitudes as unsigned, so that the most negative integer has one.
  auto magnitude = [](int64_t x) { return x < 0 ? 0 - static_cast<uint64_t>(x) : uint64_t(x); };
  const uint64_t g = std::gcd(magnitude(*n), magnitude(*d));
  const uint64_t num = magnitude(*n) / g;
  const uint64_t den = magnitude(*d) / g;
  const bool negative = (*n < 0) != (*d < 0);
  constexpr uint64_t kMax = std::numeric_limits<int64_t>::max();
  if (den > kMax || num > (negative ? kMax + 1 : kMax)) return std::nullopt;
  return Value::ratio(negative ? static_cast<int64_t>(0 - num) : static_cast<int64_t>(num),
                      static_cast<int64_t>(den));
}

// A decimal float: optional sign, digits with an optional fraction or a
// fraction alone, optional exponent. Too large gives infinity, too small zero.
std::optional<double> parse_float(std::string_view s) {
  const bool negative = !s.empty() && s[0] == '-';
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
  size_t i = 0;
  auto digits = [&] {
    const size_t from = i;
    while (i < s.size() && is_digit(s[i])) ++i;
    return s.substr(from, i - from);
  };
  const std::string_view whole = digits();
  std::string_view fraction;
  if (i < s.size() && s[i] == '.') {
    ++i;
    fraction = digits();
  }
  if (whole.empty() && fraction.empty()) return std::nullopt;
  int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) exponent_negative = s[i++] == '-';
    const std::string_view exp_digits = digits();
    if (exp_digits.empty()) return std::nullopt;
    for (char c : exp_digits)
      exponent = std::min<int64_t>(exponent * 10 + (c - '0'), 1'000'000'000);
    if (exponent_negative) exponent = -exponent;
  }
  if (i != s.size()) return std::nullopt;

  double value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Decimal exponent of the leading nonzero digit decides which way it fell.
    const size_t first_whole = whole.find_first_not_of('0');
    const size_t first_fraction = fraction.find_first_not_of('0');
    int64_t lead = 0;
    if (first_whole != std::string_view::npos) {
      lead = static_cast<int64_t>(whole.size() - first_whole) - 1;
    } else if (first_fraction != std::string_view::npos) {
      lead = -static_cast<int64_t>(first_fraction) - 1;
    }
    value = lead + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (ec != std::errc() || end != s.data() + s.size()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

}  // namespace

Reader::Reader(std::string text, uint32_t source) : text_(std::move(text)), source_(source) {}

Error Reader::error(std::string message, size_t start) const {
  return Error::reader(std::move(message), Span{static_cast<uint32_t>(start),
                                                static_cast<uint32_t>(pos_), 0, 0, source_});
}

std::optional<char32_t> Reader::peek() const {
  if (pos_ >= text_.size()) return std::nullopt;
  return utf8::decode(text_, pos_).code_point;
}

std::optional<char32_t> Reader::advance() {
  if (pos_ >= text_.size()) return std::nullopt;
  const utf8::Decoded d = utf8::decode(text_, pos_);
  pos_ += d.length;
  if (d.code_point == '\n') {
    ++line_;
    column_ = 0;
  } else {
    ++column_;
  }
  return d.code_point;
}

void Reader::skip_whitespace_and_comments() {
  for (auto c = peek(); c; c = peek()) {
    if (*c == ';') {
      for (auto skipped = advance(); skipped && *skipped != '\n'; skipped = advance()) {
      }
    } else if (is_whitespace(*c)) {
      advance();
    } else {
      return;
    }
  }
}

std::string_view Reader::read_token() {
  const size_t start = pos_;
  for (auto c = peek(); c && !is_whitespace(*c) && !is_delimiter(*c); c = peek()) advance();
  return std::string_view(text_).substr(start, pos_ - start);
}

Result<std::vector<Value>, Error> Reader::read_all() {
  std::vector<Value> forms;
  for (;;) {
    skip_whitespace_and_comments();
    if (!peek()) return forms;
    auto form = read_form();
    if (!form) return make_err(std::move(form).error());
    forms.push_back(std::move(form).value());
  }
}

Result<Value, Error> Reader::read_form() {
  skip_whitespace_and_comments();
  const size_t start = pos_;
  const uint32_t line = line_;
  const uint32_t column = column_;
  if (!StackGuard::has_room()) return make_err(error("Nesting too deep", start));
  auto form = read_unwrapped();
  if (!form) return form;
  const Span span{static_cast<uint32_t>(start), static_cast<uint32_t>(pos_), line, column, source_};
  return Value::meta(std::move(form).value(), span);
}

Result<Value, Error> Reader::read_unwrapped() {
  const size_t start = pos_;
  const auto c = peek();
  if (!c) return make_err(error("Unexpected EOF", start));
  switch (*c) {
    case '"':
      return read_string();
    case '#':
      return read_dispatch();
    case '\'':
      advance();
      return read_prefixed("quote");
    case '@':
      advance();
      return read_prefixed("deref");
    case '`':
      advance();
      return read_prefixed("syntax-quote");
    case '~':
      advance();
      if (at('@')) {
        advance();
        return read_prefixed("unquote-splicing");
      }
      return read_prefixed("unquote");
    case '(': {
      advance();
      auto items = read_until(')', "Unclosed list", start);
      if (!items) return make_err(std::move(items).error());
      return Value::list_from_iter(std::move(items).value());
    }
    case '[': {
      advance();
      auto items = read_until(']', "Unclosed vector", start);
      if (!items) return make_err(std::move(items).error());
      return Value::vector(to_pvector(std::move(items).value()));
    }
    case '{':
      return read_map();
    case ':':
      return read_keyword();
    default:
      return read_atom();
  }
}

Result<Value, Error> Reader::read_prefixed(std::string_view name) {
  auto form = read_form();
  if (!form) return form;
  return Value::list_from_iter({Value::symbol(name), std::move(form).value()});
}

Result<std::vector<Value>, Error> Reader::read_until(char32_t close, std::string_view unclosed,
                                                     size_t start) {
  std::vector<Value> items;
  for (;;) {
    skip_whitespace_and_comments();
    const auto c = peek();
    if (!c) return make_err(error(std::string(unclosed), start));
    if (*c == close) {
      advance();
      return items;
    }
    auto form = read_form();
    if (!form) return make_err(std::move(form).error());
    items.push_back(std::move(form).value());
  }
}

Result<Value, Error> Reader::read_map() {
  const size_t start = pos_;
  advance();
  auto items = read_until('}', "Unclosed map", start);
  if (!items) return make_err(std::move(items).error());
  if (items->size() % 2 != 0) {
    return make_err(error("Map literal requires even number of forms", start));
  }
  Value::Map map;
  for (size_t i = 0; i < items->size(); i += 2) {
    map = std::move(map).insert(std::move((*items)[i]), std::move((*items)[i + 1]));
  }
  return Value::map(std::move(map));
}

Result<Value, Error> Reader::read_keyword() {
  const size_t start = pos_;
  advance();
  const std::string_view token = read_token();
  if (token.empty()) return make_err(error("Invalid keyword", start));
  return Value::keyword(split_namespace(token));
}

Result<Value, Error> Reader::read_atom() {
  const size_t start = pos_;
  const std::string_view token = read_token();
  if (token.empty()) return make_err(error("Unexpected token", start));
  if (token == "nil") return Value::nil();
  if (token == "true") return Value::boolean(true);
  if (token == "false") return Value::boolean(false);

  bool zero_denominator = false;
  if (auto ratio = parse_ratio(token, zero_denominator)) return std::move(*ratio);
  if (zero_denominator) return make_err(error("Division by zero in ratio literal", start));

  if (token.size() >= 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    if (auto value = parse_integer(token.substr(2), 16)) return Value::integer(*value);
    return make_err(error("Invalid hex literal", start));
  }

  const size_t r = token.find('r');
  if (r != std::string_view::npos && r != 0) {
    const auto base = parse_integer(token.substr(0, r), 10);
    if (base && *base >= 2 && *base <= 36) {
      if (auto value = parse_integer(token.substr(r + 1), static_cast<int>(*base))) {
        return Value::integer(*value);
      }
      return make_err(error("Invalid radix literal", start));
    }
  }

  if (token.find_first_of(".eE") != std::string_view::npos) {
    if (auto value = parse_float(token)) return Value::floating(*value);
  }
  if (auto value = parse_integer(token, 10)) return Value::integer(*value);
  return Value::symbol(split_namespace(token));
}

Result<Value, Error> Reader::read_string() {
  const size_t start = pos_;
  advance();
  std::string out;
  for (;;) {
    const size_t char_start = pos_;
    const auto c = advance();
    if (!c) return make_err(error("Unclosed string", start));
    if (*c == '"') return Value::string(std::move(out));
    if (*c != '\\') {
      out.append(text_, char_start, pos_ - char_start);
      continue;
    }
    const auto escape = advance();
    if (!escape) return make_err(error("Invalid escape", start));
    switch (*escape) {
      case '"':
        out.push_back('"');
        break;
      case '\\':
        out.push_back('\\');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'u': {
        char32_t code = 0;
        for (int i = 0; i < 4; ++i) {
          const auto h = advance();
          if (!h || digit_value(*h) >= 16) return make_err(error("Invalid unicode escape", start));
          code = code * 16 + static_cast<char32_t>(digit_value(*h));
        }
        if (code >= 0xD800 && code <= 0xDFFF) {
          return make_err(error("Invalid unicode code point", start));
        }
        utf8::append(out, code);
        break;
      }
      default:
        return make_err(error("Unsupported escape", start));
    }
  }
}

Result<Value, Error> Reader::read_dispatch() {
  const size_t start = pos_;
  advance();
  const auto c = peek();
  if (c == '"') return read_regex(start);
  if (c == '(') {
    advance();
    auto body = read_until(')', "Unclosed anonymous fn", start);
    if (!body) return make_err(std::move(body).error());
    return desugar_anon_fn(List(to_pvector(std::move(body).value())), start);
  }
  if (c == '{') {
    advance();
    auto items = read_until('}', "Unclosed set", start);
    if (!items) return make_err(std::move(items).error());
    Value::Set set;
    for (Value& item : *items) set = std::move(set).insert(std::move(item));
    return Value::set(std::move(set));
  }
  if (c == '_') {
    advance();
    auto discarded = read_form();
    if (!discarded) return discarded;
    return read_form();
  }
  if (c == 'x') {
    advance();
    if (!at('"')) return make_err(error("Expected string after #x", start));
    auto path = read_string();
    if (!path) return path;
    return Value::list_from_iter({Value::symbol("xpath"), std::move(path).value()});
  }
  return make_err(error("Unsupported reader macro", start));
}

Result<Value, Error> Reader::read_regex(size_t start) {
  advance();
  std::string pattern;
  for (;;) {
    const size_t char_start = pos_;
    const auto c = advance();
    if (!c) return make_err(error("Unclosed regex", start));
    if (*c == '"') break;
    if (*c == '\\' && at('"')) {
      advance();
      pattern.push_back('"');
    } else {
      pattern.append(text_, char_start, pos_ - char_start);
    }
  }
  auto regex = Value::Regex::compile(pattern);
  if (!regex) return make_err(error("Invalid regex: " + regex.error(), start));
  return Value::regex(std::move(regex).value());
}

Result<Value, Error> Reader::rewrite_anon_args(const Value& form, AnonArgs& args, size_t start) {
  if (!StackGuard::has_room()) return make_err(error("Nesting too deep", start));
  auto rewrite_all = [&](const auto& items) -> Result<std::vector<Value>, Error> {
    std::vector<Value> out;
    for (const Value& item : items) {
      auto rewritten = rewrite_anon_args(item, args, start);
      if (!rewritten) return make_err(std::move(rewritten).error());
      out.push_back(std::move(rewritten).value());
    }
    return out;
  };
  switch (form.kind()) {
    case Value::Kind::Meta: {
      auto inner = rewrite_anon_args(form.as_meta().inner, args, start);
      if (!inner) return inner;
      return Value::meta(std::move(inner).value(), form.as_meta().span);
    }
    case Value::Kind::Symbol: {
      const std::string& name = form.as_symbol().name();
      if (name == "%") {
        args.bare = true;
        return Value::symbol("%1");
      }
      if (name == "%&") {
        args.rest = true;
      } else if (name.size() > 1 && name[0] == '%' &&
                 name.find_first_not_of("0123456789", 1) == std::string::npos) {
        // Indexes too large for 64 bits are ignored.
        if (auto index = parse_integer(std::string_view(name).substr(1), 10)) {
          args.max_index = std::max(args.max_index, static_cast<uint64_t>(*index));
        }
      }
      return form;
    }
    case Value::Kind::List: {
      auto items = rewrite_all(form.as_list());
      if (!items) return make_err(std::move(items).error());
      return Value::list_from_iter(std::move(items).value());
    }
    case Value::Kind::Vector: {
      auto items = rewrite_all(form.as_vector());
      if (!items) return make_err(std::move(items).error());
      return Value::vector(to_pvector(std::move(items).value()));
    }
    case Value::Kind::Map: {
      Value::Map map;
      for (const auto& [key, value] : form.as_map()) {
        auto k = rewrite_anon_args(key, args, start);
        if (!k) return k;
        auto v = rewrite_anon_args(value, args, start);
        if (!v) return v;
        map = std::move(map).insert(std::move(k).value(), std::move(v).value());
      }
      return Value::map(std::move(map));
    }
    case Value::Kind::Set: {
      auto items = rewrite_all(form.as_set());
      if (!items) return make_err(std::move(items).error());
      Value::Set set;
      for (Value& item : *items) set = std::move(set).insert(std::move(item));
      return Value::set(std::move(set));
    }
    default:
      return form;
  }
}

Result<Value, Error> Reader::desugar_anon_fn(const List& body, size_t start) {
  AnonArgs args;
  auto rewritten = rewrite_anon_args(Value::list(body), args, start);
  if (!rewritten) return rewritten;
  if (args.max_index > kMaxAnonFnParams) {
    return make_err(error("Anonymous fn parameter index too large", start));
  }
  const uint64_t count = std::max<uint64_t>(args.max_index, args.bare ? 1 : 0);
  std::vector<Value> params;
  for (uint64_t i = 1; i <= count; ++i) {
    std::string name(1, '%');
    name += std::to_string(i);
    params.push_back(Value::symbol(name));
  }
  if (args.rest) {
    params.push_back(Value::symbol("&"));
    params.push_back(Value::symbol("%&"));
  }
  return Value::list_from_iter({Value::symbol("fn"), Value::vector(to_pvector(std::move(params))),
                                std::move(rewritten).value()});
}

}  // namespace quorvel
