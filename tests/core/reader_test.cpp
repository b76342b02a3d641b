// Reader: atoms and number forms, strings, dispatch forms, anonymous fn
// desugaring, spans, whitespace, every error message with its span, and deep
// nesting.
#include "reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "value_render.h"

namespace quorvel {
namespace {

using Kind = Value::Kind;

Value read_one(const std::string& text) {
  Reader reader(text, 0);
  auto form = reader.read_form();
  EXPECT_TRUE(form.ok()) << text << ": " << (form.ok() ? "" : form.error().display());
  return form.ok() ? std::move(form).value() : Value();
}

// The renderings of all forms of `text`, space separated, or the error display.
std::string read_rendered(const std::string& text) {
  Reader reader(text, 0);
  auto forms = reader.read_all();
  if (!forms) return forms.error().display();
  std::string out;
  for (const Value& form : *forms) {
    if (!out.empty()) out += ' ';
    out += render_form(form);
  }
  return out;
}

TEST(Reader, Atoms) {
  const struct {
    const char* text;
    Kind kind;
    const char* rendered;
  } cases[] = {
      {"nil", Kind::Nil, "nil"},
      {"true", Kind::Bool, "true"},
      {"4/2", Kind::Ratio, "2/1"},
      {"-6/-4", Kind::Ratio, "3/2"},
      {"1/-2", Kind::Ratio, "-1/2"},
      {"0/5", Kind::Ratio, "0/1"},
      {"-9223372036854775808/2", Kind::Ratio, "-4611686018427387904/1"},
      // The reduced ratio does not fit in 64 bits: not a ratio literal.
      {"-9223372036854775808/-1", Kind::Symbol, "-9223372036854775808/-1"},
      {"1/-9223372036854775808", Kind::Symbol, "1/-9223372036854775808"},
      {"1/2/3", Kind::Symbol, "1/2/3"},
      {"0x1F", Kind::Int, "31"},
      {"0Xff", Kind::Int, "255"},
      {"0x-10", Kind::Int, "-16"},
      {"0x-8000000000000000", Kind::Int, "-9223372036854775808"},
      {"-0x10", Kind::Symbol, "-0x10"},
      {"2r1010", Kind::Int, "10"},
      {"36rZZ", Kind::Int, "1295"},
      {"+8r-17", Kind::Int, "-15"},
      {"37r1", Kind::Symbol, "37r1"},
      {"rest", Kind::Symbol, "rest"},
      {"sqrt", Kind::Symbol, "sqrt"},
      {"1.5", Kind::Float, "1.5"},
      {".5", Kind::Float, "0.5"},
      {"5.", Kind::Float, "5.0"},
      {"-1.5e3", Kind::Float, "-1500.0"},
      {"+2E-1", Kind::Float, "0.2"},
      {"1e400", Kind::Float, "inf"},
      {"-1e400", Kind::Float, "-inf"},
      {"1e-400", Kind::Float, "0.0"},
      {"1e", Kind::Symbol, "1e"},
      {"1.5.5", Kind::Symbol, "1.5.5"},
      {".", Kind::Symbol, "."},
      {"9223372036854775807", Kind::Int, "9223372036854775807"},
      {"-9223372036854775808", Kind::Int, "-9223372036854775808"},
      {"+5", Kind::Int, "5"},
      {"9223372036854775808", Kind::Symbol, "9223372036854775808"},
      {"+", Kind::Symbol, "+"},
      {"-", Kind::Symbol, "-"},
      {"/", Kind::Symbol, "/"},
      {"\\a", Kind::Symbol, "\\a"},
      {"^x", Kind::Symbol, "^x"},
      {"a'b#c@", Kind::Symbol, "a'b#c@"},
      {":1", Kind::Keyword, ":1"},
      {":a/b", Kind::Keyword, ":a/b"},
      {"\"a\\\"b\\\\c\\n\\r\\t\"", Kind::String, "\"a\\\"b\\\\c\\n\\r\\t\""},
      {"\"\\u00e9\\u00C9\"", Kind::String, "\"éÉ\""},
      {"\"two\nlines\"", Kind::String, "\"two\\nlines\""},
      {"#\"a\\\"b\"", Kind::Regex, "#\"a\\\"b\""},
      {"#\"\\d+\"", Kind::Regex, "#\"\\d+\""},
  };
  for (const auto& c : cases) {
    const Value form = strip_meta(read_one(c.text));
    EXPECT_EQ(form.kind(), c.kind) << c.text;
    EXPECT_EQ(render_form(form), c.rendered) << c.text;
  }
}

TEST(Reader, SymbolAndKeywordNamespaces) {
  const Value sym = read_one("1/2/3");
  ASSERT_NE(strip_meta(sym).as_symbol().ns(), nullptr);
  EXPECT_EQ(*strip_meta(sym).as_symbol().ns(), "1");
  EXPECT_EQ(strip_meta(sym).as_symbol().name(), "2/3");
  const Value kw = read_one(":a/b");
  EXPECT_EQ(*strip_meta(kw).as_symbol().ns(), "a");
  EXPECT_EQ(strip_meta(kw).as_symbol().name(), "b");
  EXPECT_EQ(strip_meta(read_one("a/")).as_symbol().ns(), nullptr);
}

TEST(Reader, StringsKeepTheirTextAndRegexesTheirPattern) {
  EXPECT_EQ(strip_meta(read_one("\"\\u00e9\"")).as_string(), "\xC3\xA9");
  EXPECT_EQ(strip_meta(read_one("#\"a\\\"b\"")).as_regex().pattern(), "a\"b");
  EXPECT_EQ(strip_meta(read_one("#\"\\d+\"")).as_regex().pattern(), "\\d+");
}

TEST(Reader, FormsAndReaderMacros) {
  const struct {
    const char* text;
    const char* rendered;
  } cases[] = {
      {"", ""},
      {"; only a comment", ""},
      {"a,b", "a b"},
      {"a\xC2\xA0"
       "b\xE3\x80\x80"
       "c\xE2\x80\xA8"
       "d\xC2\x85"
       "e\t\r\v\ff",
       "a b c d e f"},
      {"1 ; comment\n 2", "1 2"},
      {"() [] {} #{}", "() [] {} #{}"},
      {"(a [b {:k #{1}}])", "(a [b {:k #{1}}])"},
      {"{:a 1 :a 2}", "{:a 2}"},
      {"{1 :int 1.0 :float}", "{1 :int, 1.0 :float}"},
      {"#{1 1 2}", "#{1 2}"},
      {"'x ' x", "(quote x) (quote x)"},
      {"@a `b ~c ~@d", "(deref a) (syntax-quote b) (unquote c) (unquote-splicing d)"},
      {"#_ a b", "b"},
      {"(1 #_ #_ 2 3 4)", "(1 4)"},
      {"#x\"/a/b\"", "(xpath \"/a/b\")"},
      {"#(+ % %2)", "(fn [%1 %2] (+ %1 %2))"},
      {"#(f)", "(fn [] (f))"},
      {"#(* %1 %3)", "(fn [%1 %2 %3] (* %1 %3))"},
      {"#(apply + %&)", "(fn [& %&] (apply + %&))"},
      {"#(g %0 %99999999999999999999)", "(fn [] (g %0 %99999999999999999999))"},
      {"#(h [%] {% #{%2}})", "(fn [%1 %2] (h [%1] {%1 #{%2}}))"},
      {"#(map #(+ % %3) %&)", "(fn [%1 %2 %3 & %&] (map (fn [%1 %2 %3] (+ %1 %3)) %&))"},
  };
  for (const auto& c : cases) EXPECT_EQ(read_rendered(c.text), c.rendered) << c.text;
}

TEST(Reader, InsertedPiecesCarryNoSpan) {
  const Value quoted = strip_meta(read_one("'x"));
  EXPECT_EQ(quoted.as_list()[0].kind(), Kind::Symbol);
  EXPECT_EQ(quoted.as_list()[1].kind(), Kind::Meta);

  const Value anon = strip_meta(read_one("#(f %)"));
  const List& fn = anon.as_list();
  EXPECT_EQ(fn[0].kind(), Kind::Symbol);
  ASSERT_EQ(fn[1].kind(), Kind::Vector);
  EXPECT_EQ(fn[1].as_vector().nth(0).kind(), Kind::Symbol);
  ASSERT_EQ(fn[2].kind(), Kind::List);
  const Value& arg = fn[2].as_list()[1];  // the % of the body, rewritten in its wrapper
  ASSERT_EQ(arg.kind(), Kind::Meta);
  EXPECT_EQ(arg.as_meta().span.start, 4u);
  EXPECT_EQ(arg.as_meta().inner.as_symbol().name(), "%1");

  const Value xpath = strip_meta(read_one("#x\"/a\""));
  EXPECT_EQ(xpath.as_list()[1].kind(), Kind::String);
}

TEST(Reader, Spans) {
  Reader reader("(a\n \xC3\xA9 b)  #_ x  y", 7);
  auto forms = reader.read_all();
  ASSERT_TRUE(forms.ok());
  ASSERT_EQ(forms->size(), 2u);

  const Value& list = (*forms)[0];
  EXPECT_EQ(list.as_meta().span, (Span{0, 9, 0, 0, 7}));
  const List& items = list.as_meta().inner.as_list();
  EXPECT_EQ(items[0].as_meta().span, (Span{1, 2, 0, 1, 7}));
  // Columns count characters: the two-byte é is one column.
  EXPECT_EQ(items[1].as_meta().span, (Span{4, 6, 1, 1, 7}));
  EXPECT_EQ(items[2].as_meta().span, (Span{7, 8, 1, 3, 7}));

  // The form after a discard keeps its own span and gets an outer one from the #.
  const Value& discard = (*forms)[1];
  EXPECT_EQ(discard.as_meta().span, (Span{11, 18, 1, 7, 7}));
  const Value& inner = discard.as_meta().inner;
  ASSERT_EQ(inner.kind(), Kind::Meta);
  EXPECT_EQ(inner.as_meta().span, (Span{17, 18, 1, 13, 7}));
  EXPECT_EQ(inner.as_meta().inner.as_symbol().name(), "y");
}

TEST(Reader, ErrorsWithTheirSpans) {
  const struct {
    const char* text;
    const char* message;
    uint32_t start, end;
  } cases[] = {
      {"  '", "Unexpected EOF", 3, 3},
      {")", "Unexpected token", 0, 0},
      {"(#_ a)", "Unexpected token", 5, 5},
      {"#_ a", "Unexpected EOF", 4, 4},
      {"(a b", "Unclosed list", 0, 4},
      {"x [1", "Unclosed vector", 2, 4},
      {"{1", "Unclosed map", 0, 2},
      {"#{1", "Unclosed set", 0, 3},
      {"#(a", "Unclosed anonymous fn", 0, 3},
      {"[(\"ab]", "Unclosed string", 2, 6},
      {"#\"ab", "Unclosed regex", 0, 4},
      {"#\"ab\\\"", "Unclosed regex", 0, 6},
      {"{:a}", "Map literal requires even number of forms", 0, 4},
      {": ", "Invalid keyword", 0, 1},
      {"x 1/0", "Division by zero in ratio literal", 2, 5},
      {"0xG", "Invalid hex literal", 0, 3},
      {"0x", "Invalid hex literal", 0, 2},
      {"0x8000000000000000", "Invalid hex literal", 0, 18},
      {"3rd", "Invalid radix literal", 0, 3},
      {"2r", "Invalid radix literal", 0, 2},
      {"\"a\\", "Invalid escape", 0, 3},
      {"\"\\q\"", "Unsupported escape", 0, 3},
      {"\"\\u12\"", "Invalid unicode escape", 0, 6},
      {"\"\\u00", "Invalid unicode escape", 0, 5},
      {"\"\\ud800\"", "Invalid unicode code point", 0, 7},
      {"#xy", "Expected string after #x", 0, 2},
      {"#!", "Unsupported reader macro", 0, 1},
      {"#", "Unsupported reader macro", 0, 1},
      {"(#(%256))", "Anonymous fn parameter index too large", 1, 8},
  };
  for (const auto& c : cases) {
    Reader reader(c.text, 3);
    auto forms = reader.read_all();
    ASSERT_FALSE(forms.ok()) << c.text;
    const Error& e = forms.error();
    EXPECT_EQ(e.kind(), ErrorKind::Reader) << c.text;
    EXPECT_EQ(e.display(), std::string("Reader error: ") + c.message) << c.text;
    ASSERT_TRUE(e.span.has_value()) << c.text;
    EXPECT_EQ(*e.span, (Span{c.start, c.end, 0, 0, 3})) << c.text;
  }
}

TEST(Reader, InvalidRegexCarriesTheEngineDescription) {
  for (const char* text : {"#\"(\"", "#\"(?=a)b\"", "#\"(a)\\1\""}) {
    Reader reader(text, 0);
    auto form = reader.read_form();
    ASSERT_FALSE(form.ok()) << text;
    const std::string display = form.error().display();
    EXPECT_EQ(display.rfind("Reader error: Invalid regex: ", 0), 0u) << display;
    EXPECT_GT(display.size(), std::string("Reader error: Invalid regex: ").size()) << display;
  }
}

TEST(Reader, EmptyTextReadsNoFormsButReadFormFails) {
  Reader empty("  ; nothing\n", 0);
  auto forms = empty.read_all();
  ASSERT_TRUE(forms.ok());
  EXPECT_TRUE(forms->empty());
  Reader again("  ; nothing\n", 0);
  auto form = again.read_form();
  ASSERT_FALSE(form.ok());
  EXPECT_EQ(form.error().display(), "Reader error: Unexpected EOF");
}

TEST(Reader, DeepNestingIsAnErrorNotACrash) {
  for (const char* opener : {"(", "[", "{", "#{", "#(", "'", "@", "~@", "#_"}) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += opener;
    Reader reader(text, 0);
    auto forms = reader.read_all();
    ASSERT_FALSE(forms.ok()) << opener;
    EXPECT_EQ(forms.error().display(), "Reader error: Nesting too deep") << opener;
  }
}

TEST(Reader, ModeratelyDeepFormsRead) {
  std::string text(1000, '[');
  text += std::string(1000, ']');
  Reader reader(text, 0);
  auto form = reader.read_form();
  ASSERT_TRUE(form.ok());
  EXPECT_EQ(reader.pos(), text.size());
}

}  // namespace
}  // namespace quorvel
