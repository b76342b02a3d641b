"""Host values: results converted to Python, Python values defined into the
machine, and EDN text parsed without evaluation."""

import datetime
import re
from fractions import Fraction

import pytest

import quorvel
from conftest import kw

RESULTS = [
    ("nil", None),
    ("true", True),
    ("false", False),
    ("42", 42),
    ("-9223372036854775808", -(2**63)),
    ("1.5", 1.5),
    ("1/2", Fraction(1, 2)),
    ('"héllo"', "héllo"),
    (":a", kw("a")),
    (":a/b", kw("a/b")),
    ("[1 [2 3]]", [1, [2, 3]]),
    ("(concat [1] [2])", [1, 2]),
    ("{:a [1 {:b 2}]}", {kw("a"): [1, {kw("b"): 2}]}),
    ('{"k" nil}', {"k": None}),
    ("#{1 :x}", frozenset({1, kw("x")})),
    ("(fn [x] x)", "closure"),
    ("+", "native-fn"),
    ("console", "effect"),
    ("each", "optic"),
]


@pytest.mark.parametrize("src,expected", RESULTS)
def test_result_to_python(engine, src, expected):
    result = engine.eval(src)
    assert result == expected
    assert type(result) is type(expected)


def test_regex_result_is_compiled(engine):
    pattern = engine.eval('#"a+b"')
    assert isinstance(pattern, re.Pattern)
    assert pattern.pattern == "a+b"


def test_ratio_with_denominator_one_stays_a_fraction(engine):
    result = engine.eval("2/1")
    assert type(result) is Fraction and result == 2


def test_unhashable_key_raises_the_python_error(engine):
    with pytest.raises(TypeError, match="unhashable"):
        engine.eval("{[1 2] 3}")
    with pytest.raises(TypeError, match="unhashable"):
        engine.eval("#{[1]}")


class Named:
    def __str__(self):
        return "named thing"


DEFINED = [
    (None, None),
    (True, True),
    (7, 7),
    (2**63 - 1, 2**63 - 1),
    (-(2**63), -(2**63)),
    (2.5, 2.5),
    ("text", "text"),
    (kw("k"), kw("k")),
    ((1, 2), [1, 2]),
    ([1, (2, [3])], [1, [2, [3]]]),
    ({"a": 1, kw("b"): [2]}, {"a": 1, kw("b"): [2]}),
    ({1, 2}, frozenset({1, 2})),
    (frozenset({"x"}), frozenset({"x"})),
    (Fraction(6, 4), Fraction(3, 2)),
    (datetime.date(2024, 1, 2), "2024-01-02"),
    (Named(), "named thing"),
]


@pytest.mark.parametrize("value,expected", DEFINED)
def test_python_to_machine_and_back(bare, value, expected):
    bare.define("v", value)
    result = bare.eval("v")
    assert result == expected
    assert type(result) is type(expected)


def test_defined_values_are_language_values(bare):
    bare.define("t", True)
    assert bare.eval("[(= t true) (= t 1)]") == [True, False]
    bare.define("m", {"k": 1, kw("a"): 2})
    assert bare.eval('[(get m "k") (:a m)]') == [1, 2]
    bare.define("s", {(1, 2)})
    assert bare.eval("(get s [1 2])") == [1, 2]


def test_fraction_with_denominator_one_stays_a_ratio(bare):
    bare.define("r", Fraction(4, 2))
    result = bare.eval("r")
    assert type(result) is Fraction and result == 2
    assert bare.eval("(+ r 0)") == 2


def test_out_of_range_int_raises_overflow(bare):
    with pytest.raises(OverflowError):
        bare.define("big", 2**64)
    with pytest.raises(OverflowError):
        bare.define("big", [1, Fraction(2**64, 3)])


def test_failing_str_propagates(bare):
    class Broken:
        def __str__(self):
            raise ValueError("no text")

    with pytest.raises(ValueError, match="no text"):
        bare.define("b", [Broken()])


def test_deep_data_fails_cleanly(bare):
    nested = []
    for _ in range(200000):
        nested = [nested]
    with pytest.raises(RecursionError):
        bare.define("deep", nested)
    with pytest.raises(quorvel.EvalError, match="^Value error: stack overflow"):
        bare.eval("(loop [i 0 v []] (if (< i 200000) (recur (+ i 1) [v]) v))")


EDN = [
    ("{:a 1}", {kw("a"): 1}),
    ("", None),
    (" ; nothing here\n", None),
    (":a/b", kw("b")),
    ("ns/sym", "sym"),
    ("1 2 3", 3),
    ('[1 2.5 "s" nil true 3/6]', [1, 2.5, "s", None, True, Fraction(1, 2)]),
    ("#{1}", frozenset({1})),
    ("(1 (2))", [1, [2]]),
    ("'x", ["quote", "x"]),
    ("#(+ % 1)", ["fn", ["%1"], ["+", "%1", 1]]),
    ("(+ 1 2)", ["+", 1, 2]),
]


@pytest.mark.parametrize("src,expected", EDN)
def test_parse_edn(src, expected):
    assert quorvel.parse_edn(src) == expected


def test_parse_edn_regex():
    assert quorvel.parse_edn('#"\\d+"').pattern == "\\d+"


@pytest.mark.parametrize(
    "src,message",
    [
        ("(1 2", "invalid EDN: Reader error: Unclosed list"),
        ("{:a}", "invalid EDN: Reader error: Map literal requires even number of forms"),
        ("[" * 100000, "invalid EDN: Reader error: Nesting too deep"),
    ],
)
def test_parse_edn_errors(src, message):
    with pytest.raises(quorvel.CompileError) as info:
        quorvel.parse_edn(src)
    assert info.value.args == (message,)


def test_parse_edn_arguments():
    assert quorvel.parse_edn(src="7") == 7
    with pytest.raises(TypeError, match="src"):
        quorvel.parse_edn(7)
    with pytest.raises(TypeError):
        quorvel.parse_edn()
