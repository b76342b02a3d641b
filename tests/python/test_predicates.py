"""The type predicates, `type`, and the effect values of __make_effect__."""

import pytest

import quorvel
from conftest import kw
from pending import eval_or_skip

# One value of every kind the predicates tell apart.
SAMPLES = {
    "nil": "nil",
    "bool": "false",
    "int": "1",
    "float": "1.5",
    "ratio": "1/2",
    "string": '"s"',
    "keyword": ":k",
    "symbol": "'sym",
    "native": "count",
    "closure": "(fn [x] x)",
    "list": "'(1)",
    "empty-list": "'()",
    "vector": "[1]",
    "map": "{:a 1}",
    "set": "#{1}",
    "atom": "(atom 1)",
    "effect": "console",
}

# The samples each predicate is true for; false for all the others.
TRUE_FOR = {
    "nil?": {"nil"},
    "number?": {"int", "float", "ratio"},
    "int?": {"int"},
    "float?": {"float"},
    "ratio?": {"ratio"},
    "string?": {"string"},
    "keyword?": {"keyword"},
    "symbol?": {"symbol"},
    "fn?": {"native", "closure"},
    "list?": {"list", "empty-list"},
    "seq?": {"list", "empty-list"},
    "vector?": {"vector"},
    "map?": {"map"},
    "set?": {"set"},
    "coll?": {"nil", "list", "empty-list", "vector", "map", "set"},
    "effect?": {"effect"},
}


@pytest.mark.parametrize("predicate", sorted(TRUE_FOR))
def test_predicate_over_every_kind(engine, predicate):
    names = sorted(SAMPLES)
    answers = engine.eval("[" + " ".join(f"({predicate} {SAMPLES[n]})" for n in names) + "]")
    assert {n for n, answer in zip(names, answers) if answer} == TRUE_FOR[predicate]
    assert all(answer is True or answer is False for answer in answers)


@pytest.mark.parametrize(
    "src,expected",
    [
        ("(nil?)", False),
        ("(number?)", False),
        ("(fn?)", False),
        ("(coll?)", False),
        ('(string? "a" 1)', True),
        ("(nil? 1 nil)", False),
        ("(effect? console 1)", True),
        ("(fn? (atom 1))", False),
    ],
)
def test_predicate_argument_counts(engine, src, expected):
    assert engine.eval(src) is expected


TYPES = [
    ("nil", "nil"),
    ("true", "bool"),
    ("1", "int"),
    ("1.5", "float"),
    ("1/2", "ratio"),
    ("'a", "symbol"),
    (":a", "keyword"),
    ("count", "fn"),
    ("(fn [x] x)", "fn"),
    ('"s"', "string"),
    ("[1]", "vector"),
    ("'(1)", "list"),
    ("#{}", "set"),
    ("{}", "map"),
    ("(atom 1)", "atom"),
    ("console", "effect"),
    ("(__make_effect__ '[ask 0])", "effect"),
    ("each", "optic"),
    ('(re-pattern "a+")', "regex"),
]


@pytest.mark.parametrize("src,name", TYPES)
def test_type(engine, src, name):
    assert engine.eval(f"(type {src})") == kw(name)


def test_type_of_a_variant_is_its_type_name(engine):
    eval_or_skip(engine, "(defdata Maybe (Nothing) (Just [x]))")
    assert engine.eval("[(type (Just 1)) (type (Nothing))]") == [kw("Maybe"), kw("Maybe")]


ERRORS = [
    ("(int?)", "Wrong number of arguments: expected 1, got 0"),
    ("(int? 1 2)", "Wrong number of arguments: expected 1, got 2"),
    ("(float?)", "Wrong number of arguments: expected 1, got 0"),
    ("(effect?)", "Wrong number of arguments: expected 1, got 0"),
    ("(type)", "Wrong number of arguments: expected 1, got 0"),
    ("(type 1 2)", "Wrong number of arguments: expected 1, got 2"),
    ("(__make_effect__)", "Wrong number of arguments: expected 1, got 0"),
    ("(__make_effect__ nil)", "Type error: expected ops vector"),
    ('(__make_effect__ "ask")', "Type error: expected ops vector"),
    ("(__make_effect__ '[1 0])", "Type error: operation name must be a symbol"),
    ("(__make_effect__ '[ask :zero])", "Type error: operation arity must be an integer"),
    ("(__make_effect__ '[ask 0 2 0])", "Type error: operation name must be a symbol"),
]


@pytest.mark.parametrize("src,message", ERRORS)
def test_error(engine, src, message):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(src)
    assert info.value.args == (message,)


def test_make_effect_ignores_a_trailing_name_and_extra_arguments(engine):
    assert engine.eval("(effect? (__make_effect__ '(ask 0 tell) :extra))") is True
