"""String, name and regular-expression natives. Positions and lengths count
characters, never bytes."""

import pytest

import quorvel

VALUES = [
    # subs
    ('(subs "héllo" 1 3)', "él"),
    ('(subs "日本語" 1)', "本語"),
    ('(subs "abc" 1)', "bc"),
    ('(subs "abc" 0 10)', "abc"),
    ('(subs "abc" 5)', ""),
    ('(subs "abc" 2 1)', ""),
    ('(subs "abc" 1 2 :ignored)', "b"),
    # string-length
    ('(string-length "héllo")', 5),
    ('(string-length "😀a")', 2),
    ('(string-length "")', 0),
    ('(string-length "ab" :ignored)', 2),
    # split
    ('(pr-str (split "a,,b" ","))', '["a" "" "b"]'),
    ('(pr-str (split "a.b" "."))', '["a" "b"]'),
    ('(pr-str (split "aXXbXX" "XX"))', '["a" "b" ""]'),
    ('(pr-str (split "abc" ""))', '["" "a" "b" "c" ""]'),
    ('(pr-str (split "日本" ""))', '["" "日" "本" ""]'),
    ('(pr-str (split "héé" "é"))', '["h" "" ""]'),
    ('(pr-str (split "" ","))', '[""]'),
    ('(pr-str (split "" ""))', '["" ""]'),
    # join
    ('(join "-" [1 2 3])', "1-2-3"),
    ('(join "-" nil)', ""),
    ('(join ", " (list "a" nil :k [1] 1.0))', "a, , :k, <seq>, 1"),
    ('(join "" [])', ""),
    ('(join "é" ["a" "b"])', "aéb"),
    # case
    ('(upper-case "héllo")', "HÉLLO"),
    ('(upper-case "straße")', "STRASSE"),
    ('(upper-case "ﬁx ǆ")', "FIX Ǆ"),
    ('(upper-case "abc" :ignored)', "ABC"),
    ('(lower-case "ÀB Ǆ")', "àb ǆ"),
    ('(lower-case "İ")', "i\u0307"),
    ('(lower-case "ΟΔΟΣ ΣΑ")', "οδος σα"),
    ('(lower-case "Σ")', "σ"),
    # trim
    ('(trim "  a b \\n")', "a b"),
    ('(triml "  a ")', "a "),
    ('(trimr "  a ")', "  a"),
    ('(trim "\u00a0\u3000x\u2003")', "x"),
    ('(trim ",a,")', ",a,"),
    ('(trim "   ")', ""),
    ('(triml "   ")', ""),
    ('(trimr "")', ""),
    # prefixes and suffixes
    ('(starts-with? "héllo" "hé")', True),
    ('(starts-with? "abc" "")', True),
    ('(starts-with? "a" "ab")', False),
    ('(ends-with? "héllo" "llo")', True),
    ('(ends-with? "abc" "b")', False),
    # names
    ("(name :a/b)", "b"),
    ("(name :a)", "a"),
    ("(name 'x.y/z)", "z"),
    ('(name "x/y")', "x/y"),
    ("(name '/)", "/"),
    ("(name 'a/b/c)", "c"),
    ('(name (keyword "k/"))', ""),
    ("(namespace :a/b)", "a"),
    ("(namespace :b)", None),
    ("(namespace '/)", None),
    ("(namespace 'a/b/c)", "a/b"),
    ('(namespace (symbol "/x"))', None),
    ('(pr-str (symbol "a/b"))', "a/b"),
    ('(= (symbol "a/b") (quote a/b))', True),
    ('(= (keyword "k") :k)', True),
    ('(pr-str (keyword ":x"))', "::x"),
    ('(pr-str (keyword "a b"))', ":a b"),
]


@pytest.mark.parametrize("src,expected", VALUES)
def test_value(engine, src, expected):
    result = engine.eval(src)
    assert result == expected
    assert type(result) is type(expected)


def literal(text):
    """A string literal of the language holding text (no quotes or backslashes)."""
    assert '"' not in text and "\\" not in text
    return f'"{text}"'


def test_case_conversion_agrees_with_unicode_full_mapping(engine):
    sample = "".join(
        chr(cp)
        for cp in range(0x20, 0x2D00)
        if chr(cp).isprintable() and chr(cp) not in '"\\'
    )
    assert engine.eval(f"(upper-case {literal(sample)})") == sample.upper()
    assert engine.eval(f"(lower-case {literal(sample)})") == sample.lower()


REGEX_VALUES = [
    # re-find: the leftmost match, leftmost alternative first
    (r'(re-find #"\d+" "ab12cd34")', "12"),
    (r'(re-find #"\d+" "abc")', None),
    ('(re-find #"a|ab" "ab")', "a"),
    ('(re-find #"é+" "caféé")', "éé"),
    (r'(re-find #"\pL+" "!日本!")', "日本"),
    ('(re-find (re-pattern "b.") "abc")', "bc"),
    # re-matches: the whole string only
    ('(re-matches #"a|ab" "ab")', "ab"),
    (r'(re-matches #"\d+" "12a")', None),
    ('(re-matches #"b" "abc")', None),
    ('(re-matches #"" "")', ""),
    ('(re-matches #"(a)(b)" "ab")', "ab"),
    # re-seq: a list of successive non-overlapping matches
    (r'(pr-str (re-seq #"\d" "a1b2"))', '("1" "2")'),
    ('(pr-str (re-seq #"x" "abc"))', "()"),
    ('(pr-str (re-seq #"aa" "aaaaa"))', '("aa" "aa")'),
    ('(pr-str (re-seq #"a*" "baaa"))', '("" "aaa" "")'),
    ('(pr-str (re-seq #"" "日本"))', '("" "" "")'),
    ('(pr-str (re-seq #"." "日本"))', '("日" "本")'),
    # replace with a literal string pattern
    ('(replace "a.b.c" "." "-")', "a-b-c"),
    ('(replace "abc" "" "-")', "-a-b-c-"),
    ('(replace-first "abc" "" "-")', "-abc"),
    ('(replace "日本" "" "-")', "-日-本-"),
    ('(replace-first "aXbX" "X" "$1")', "a$1bX"),
    ('(replace "aaa" "aa" "b")', "ba"),
    ('(replace "abc" "x" "y")', "abc"),
    # replace with a regex and group references
    (r'(replace "abc" #"(\w)" "$1$1")', "aabbcc"),
    ('(replace "abc" #"" "-")', "-a-b-c-"),
    ('(replace "baaa" #"a*" "-")', "-b--"),
    ('(replace "日本" #"" "-")', "-日-本-"),
    (r'(replace "a1b2" #"\d" "$$")', "a$b$"),
    ('(replace "ab" #"(a)(b)" "${2}${1}")', "ba"),
    (r'(replace "john smith" #"(?P<first>\w+) (?P<last>\w+)" "${last}, ${first}")', "smith, john"),
    ('(replace "ab" #"(a)" "[$9]")', "[]b"),
    ('(replace "ab" #"(a)|(b)" "[$2]")', "[][b]"),
    ('(replace "ab" #"(a)" "<${nope}>")', "<>b"),
    ('(replace "a" #"a" "$x ${y $")', "$x ${y $"),
    ('(replace "aXa" #"(a)" "$10")', "X"),
    ('(replace-first "aaa" #"a" "b")', "baa"),
    ('(replace-first "xyz" #"q" "b")', "xyz"),
]


@pytest.mark.parametrize("src,expected", REGEX_VALUES)
def test_regex_value(engine, src, expected):
    assert engine.eval(src) == expected


ERRORS = [
    ("(subs 1 0)", "Type error: subs requires a string"),
    ('(subs "abc" -1)', "Type error: start must be non-negative"),
    ('(subs "abc" 1.0)', "Type error: start must be integer"),
    ('(subs "abc" 0 "x")', "Type error: end must be integer"),
    ('(subs "abc" 0 -1)', "Type error: end must be non-negative"),
    ('(subs "abc")', "Wrong number of arguments: expected 2, got 1"),
    ("(string-length :a)", "Type error: string-length requires a string"),
    ("(string-length)", "Wrong number of arguments: expected 1, got 0"),
    ('(split 1 ",")', "Type error: expected a string"),
    ('(split "a" 1)', "Type error: expected a string"),
    ('(split "a")', "Wrong number of arguments: expected 2, got 1"),
    ('(join "-" #{1})', "Type error: join requires a sequence"),
    ('(join "-" "abc")', "Type error: join requires a sequence"),
    ("(join 1 [1])", "Type error: expected a string"),
    ('(join "-")', "Wrong number of arguments: expected 2, got 1"),
    ("(upper-case 1)", "Type error: expected a string"),
    ("(lower-case :a)", "Type error: expected a string"),
    ("(upper-case)", "Wrong number of arguments: expected 1, got 0"),
    ("(trim 1)", "Type error: expected a string"),
    ("(triml nil)", "Type error: expected a string"),
    ('(trimr "a" "b")', "Wrong number of arguments: expected 1, got 2"),
    ('(starts-with? "a" 1)', "Type error: expected a string"),
    ('(ends-with? 1 "a")', "Type error: expected a string"),
    ('(ends-with? "a")', "Wrong number of arguments: expected 2, got 1"),
    ("(name 1)", "Type error: name requires a symbol, keyword, or string"),
    ('(namespace "a/b")', "Type error: namespace requires a symbol or keyword"),
    ("(name)", "Wrong number of arguments: expected 1, got 0"),
    ("(symbol 1)", "Type error: expected a string"),
    ("(keyword :k)", "Type error: expected a string"),
    ("(keyword)", "Wrong number of arguments: expected 1, got 0"),
    # regular expressions
    ("(re-pattern 1)", "Type error: expected a string"),
    ("(re-pattern)", "Wrong number of arguments: expected 1, got 0"),
    ('(re-find "a" "a")', "Type error: expected a regex"),
    ('(re-find #"a" 1)', "Type error: expected a string"),
    ('(re-matches "a" "a")', "Type error: expected a regex"),
    ('(re-seq nil "a")', "Type error: expected a regex"),
    ('(re-seq #"a" :a)', "Type error: expected a string"),
    ('(re-find #"a")', "Wrong number of arguments: expected 2, got 1"),
    ('(replace 1 "a" "b")', "Type error: expected a string"),
    ('(replace "a" "a" 1)', "Type error: expected a string"),
    ('(replace "a" 1 "b")', "Type error: replace pattern must be string or regex"),
    ('(replace "a" 2 3)', "Type error: expected a string"),
    ('(replace-first "a" :k "b")', "Type error: replace-first pattern must be string or regex"),
    ('(replace "a" "b")', "Wrong number of arguments: expected 3, got 2"),
]


@pytest.mark.parametrize("src,message", ERRORS)
def test_error(engine, src, message):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(src)
    assert info.value.args == (message,)


@pytest.mark.parametrize(
    "pattern",
    [
        "(",
        "a{2,1}",
        # look-around and back-references are outside the dialect
        "(?=a)",
        "(?<!a)b",
        "(a)\\\\1",
    ],
)
def test_invalid_regex(engine, pattern):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(f'(re-pattern "{pattern}")')
    (message,) = info.value.args
    assert message.startswith("Value error: invalid regex: ")
    assert len(message) > len("Value error: invalid regex: ")


def test_results_survive_collections_under_gc_stress():
    from quorvel import quorvel as extension

    engine = quorvel.Engine()
    extension._set_gc_stress(engine, True)
    src = r"""
    (let [parts (split "a,b,c" ",")
          found (re-seq #"\w" "xyz")
          data (read-string "{:k [\"v\" (1 \"w\")]}")]
      [(join "-" parts) (pr-str found) (pr-str (get data :k))
       (replace (upper-case "straße") #"(S)" "<$1>")
       (str (subs "héllo" 1 3) (format "%s!" (trim "  x ")))])
    """
    assert engine.eval(src) == ["a-b-c", '("x" "y" "z")', '["v" (1 "w")]', "<S>TRA<S><S>E", "élx!"]
