// Reader: turns source text into data forms. Every form it reads comes
// wrapped in Value::Meta with its Span; the only transformations are the
// reader macros (quote forms, #(...), #_, #x"...").
//
// Nesting deeper than the thread's stack allows fails with the reader error
// "Nesting too deep"; an anonymous fn using a parameter above %255 fails with
// "Anonymous fn parameter index too large".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/result.h"
#include "value.h"

namespace quorvel {

// Highest %N an anonymous fn may use: a function takes at most 255 arguments.
constexpr uint64_t kMaxAnonFnParams = 255;

class Reader {
 public:
  // A reader over `text` (UTF-8) whose spans carry `source`.
  Reader(std::string text, uint32_t source);

  // Every form up to the end of the text, or the first error.
  Result<std::vector<Value>, Error> read_all();
  // Skips whitespace and comments and reads exactly one form.
  Result<Value, Error> read_form();

  // Internal steps, each usable on its own.

  // Skips whitespace (Unicode White_Space and the comma) and ; comments.
  void skip_whitespace_and_comments();
  // Consumes one character and returns it; nothing at the end of the text.
  std::optional<char32_t> advance();
  // The characters up to the end, whitespace or a delimiter (not consumed).
  std::string_view read_token();
  // A string literal starting at the double quote (the value, no span).
  Result<Value, Error> read_string();
  // A dispatch form starting at the # (the value, no span).
  Result<Value, Error> read_dispatch();
  // A map literal starting at the { (the value, no span).
  Result<Value, Error> read_map();

  // What rewrite_anon_args found in the body of an anonymous fn.
  struct AnonArgs {
    uint64_t max_index = 0;  // highest %N seen
    bool bare = false;       // a bare % was used
    bool rest = false;       // %& was used
  };
  // Replaces % by %1 throughout `form` and records the parameters it uses.
  // `start` is the offset of the #, for errors.
  Result<Value, Error> rewrite_anon_args(const Value& form, AnonArgs& args, size_t start);
  // (fn [%1 ... %n & %&] body) for the body forms of #(...).
  Result<Value, Error> desugar_anon_fn(const List& body, size_t start);

  size_t pos() const { return pos_; }
  uint32_t line() const { return line_; }
  uint32_t column() const { return column_; }

 private:
  std::optional<char32_t> peek() const;
  bool at(char32_t c) const { return peek() == c; }
  Error error(std::string message, size_t start) const;

  // The form at the current position, without its span wrapper.
  Result<Value, Error> read_unwrapped();
  // (name F) for the next form F, once the prefix characters are consumed.
  Result<Value, Error> read_prefixed(std::string_view name);
  // Forms up to `close`, which is consumed; `unclosed` at the end of the text.
  Result<std::vector<Value>, Error> read_until(char32_t close, std::string_view unclosed,
                                               size_t start);
  Result<Value, Error> read_keyword();
  Result<Value, Error> read_atom();
  Result<Value, Error> read_regex(size_t start);

  std::string text_;
  uint32_t source_;
  size_t pos_ = 0;
  uint32_t line_ = 0;
  uint32_t column_ = 0;
};

}  // namespace quorvel
