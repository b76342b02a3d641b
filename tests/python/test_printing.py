"""The two printed forms (str and pr-str), format and read-string."""

import re

import pytest

import quorvel
from pending import eval_or_skip

# (pr-str x) and (str x) for the same value.
FORMS = [
    ("nil", "nil", ""),
    ("true", "true", "true"),
    ("-7", "-7", "-7"),
    ("1/3", "1/3", "1/3"),
    ("4/2", "2/1", "2/1"),
    ("1.0", "1", "1"),
    ("2.5", "2.5", "2.5"),
    ("0.1", "0.1", "0.1"),
    ("-0.0", "-0", "-0"),
    ("1e21", "1" + "0" * 21, "1" + "0" * 21),
    ("1e-7", "0.0000001", "0.0000001"),
    ("123456.789", "123456.789", "123456.789"),
    ("(/ 1.0 0)", "inf", "inf"),
    ("(/ -1.0 0)", "-inf", "-inf"),
    ("(NaN)", "NaN", "NaN"),
    ("'sym", "sym", "sym"),
    ("'a/b", "a/b", "a/b"),
    (":k", ":k", ":k"),
    (":a/b", ":a/b", ":a/b"),
    ('"a\\"b"', '"a\\"b"', 'a"b'),
    ('"a\\\\b"', '"a\\\\b"', "a\\b"),
    ('"l1\\nl2\\té"', '"l1\nl2\té"', "l1\nl2\té"),
    ('[1 "x" :k]', '[1 "x" :k]', "<seq>"),
    ("'(1 (2 [3 nil]))", "(1 (2 [3 nil]))", "<seq>"),
    ("[]", "[]", "<seq>"),
    ("()", "()", "<seq>"),
    ("{:a 1}", "{:a 1}", "<map>"),
    ('{:a [1 {"b" 2.0}]}', '{:a [1 {"b" 2}]}', "<map>"),
    ("{}", "{}", "<map>"),
    ('#{"s"}', '#{"s"}', "<set>"),
    ("#{}", "#{}", "<set>"),
    ("(fn [x] x)", "<fn>", "<fn>"),
    ("+", "<native-fn>", "<native-fn>"),
    ("(atom 1)", "<atom>", "<atom>"),
    ('#"a+"', "<regex>", "<regex>"),
    ('(re-pattern "a")', "<regex>", "<regex>"),
]


@pytest.mark.parametrize("src,readable,display", FORMS)
def test_printed_forms(engine, src, readable, display):
    assert engine.eval(f"(pr-str {src})") == readable
    assert engine.eval(f"(str {src})") == display


def test_map_entries_are_separated_by_spaces_only(engine):
    assert engine.eval("(pr-str {:a 1 :b [2]})") in ("{:a 1 :b [2]}", "{:b [2] :a 1}")


VARIANTS = """
(defdata Maybe (Nothing) (Just [x]))
(defdata Pair (Pair2 [left right]))
"""


@pytest.mark.parametrize(
    "src,expected",
    [
        ('(pr-str (Just "a"))', '#Maybe/Just{x: "a"}'),
        ('(str (Just "a"))', "#Maybe/Just{x: a}"),
        ("(pr-str (Nothing))", "#Maybe/Nothing"),
        (
            '(pr-str (Pair2 [1 "s"] (Just nil)))',
            '#Pair/Pair2{left: [1 "s"], right: #Maybe/Just{x: nil}}',
        ),
        ("(str (Pair2 [1] nil))", "#Pair/Pair2{left: <seq>, right: }"),
    ],
)
def test_variants(engine, src, expected):
    eval_or_skip(engine, VARIANTS)
    assert engine.eval(src) == expected


def test_effect_prints_its_id(engine):
    assert re.fullmatch(r"<effect #\d+>", eval_or_skip(engine, "(pr-str (effect (log [m])))"))


def test_str_concatenates_display_forms(engine):
    assert engine.eval('(str nil 1 "a" :k)') == "1a:k"
    assert engine.eval("(str)") == ""
    assert engine.eval("(str true 1.0 'x [1])") == "true1x<seq>"


def deep_vector(depth):
    return f"(loop [i 0 v []] (if (< i {depth}) (recur (+ i 1) [v]) v))"


def test_deep_data_is_a_value_error_not_a_crash(engine):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(f"(pr-str {deep_vector(300000)})")
    assert info.value.args == ("Value error: stack overflow: data nested too deeply to print",)
    # The display form of a collection does not descend.
    assert engine.eval(f"(str {deep_vector(300000)})") == "<seq>"


def test_moderately_deep_data_prints(engine):
    assert engine.eval(f"(pr-str {deep_vector(1000)})") == "[" * 1001 + "]" * 1001


FORMATS = [
    ('(format "%s+%d=%s" 1 2)', "1+2="),
    ('(format "100%%")', "100%"),
    ('(format "%x")', "%x"),
    ('(format "%.2f" 1.5)', "%.2f"),
    ('(format "50%")', "50%"),
    ('(format "%%s" 1)', "%s"),
    ('(format "%s|%s" nil "a")', "|a"),
    ('(format "%d" "not a number")', "not a number"),
    ('(format "%f" [1])', "<seq>"),
    ('(format "%s" 1.0 2 3)', "1"),
    ('(format "é%sé%é" 1)', "é1é%é"),
    ('(format "")', ""),
]


@pytest.mark.parametrize("src,expected", FORMATS)
def test_format(engine, src, expected):
    assert engine.eval(src) == expected


READS = [
    ('(read-string "(1 2) 3")', "(1 2)"),
    ('(read-string "")', "nil"),
    ('(read-string "  ; only a comment")', "nil"),
    ('(read-string "nil")', "nil"),
    ('(read-string "4/2")', "2/1"),
    ('(read-string "1.5")', "1.5"),
    ('(read-string "(+ 1 2)")', "(+ 1 2)"),
    ('(read-string "\'x")', "(quote x)"),
    ('(read-string "#(+ % 1)")', "(fn [%1] (+ %1 1))"),
    ('(read-string "{:a [1 \\"x\\"]}")', '{:a [1 "x"]}'),
    ('(read-string "#{:a}")', "#{:a}"),
    ('(read-string ":a/b")', ":a/b"),
    ('(read-string "ns/sym")', "ns/sym"),
]


@pytest.mark.parametrize("src,expected", READS)
def test_read_string(engine, src, expected):
    assert engine.eval(f"(pr-str {src})") == expected


@pytest.mark.parametrize(
    "src",
    [
        '(= (read-string ":a/b") :a/b)',
        '(= (read-string "{:a 1}") {:a 1})',
        '(= 1 (get (read-string "{\\"k\\" 1}") "k"))',
        '(= "m" (get (read-string "#{\\"m\\"}") (str "m")))',
    ],
)
def test_read_string_builds_equal_canonical_data(engine, src):
    assert engine.eval(src) is True


def test_printed_data_reads_back_equal(engine):
    data = '[1 -2 "a\\"b\\\\c\\nd" :k :ns/k sym ns/sym 1/2 2.5 nil true {:a #{1 "x"}} (1 (2))]'
    assert engine.eval(f"(= (read-string (pr-str '{data})) '{data})") is True


ERRORS = [
    ("(pr-str 1 2)", "Wrong number of arguments: expected 1, got 2"),
    ("(pr-str)", "Wrong number of arguments: expected 1, got 0"),
    ("(format)", "Wrong number of arguments: expected 1, got 0"),
    ('(format 1 "a")', "Type error: expected a string"),
    ('(read-string "(")', "Value error: Reader error: Unclosed list"),
    ('(read-string "1 )")', "Value error: Reader error: Unexpected token"),
    ('(read-string "#\\"a\\"")', "Type error: unsupported value type for read-string"),
    ('(read-string "[1 #\\"a\\"]")', "Type error: unsupported value type for read-string"),
    ("(read-string 1)", "Type error: expected a string"),
    ('(read-string "1" "2")', "Wrong number of arguments: expected 1, got 2"),
]


@pytest.mark.parametrize("src,message", ERRORS)
def test_error(engine, src, message):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(src)
    assert info.value.args == (message,)
