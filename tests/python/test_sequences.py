"""The sequence natives the forms rely on: nth, get, drop, concat and vec."""

import pytest

import quorvel
from conftest import kw

VALUES = [
    ("(nth [1 2 3] 1)", 2),
    ("(nth (concat [1] [2 3]) 2)", 3),
    ('(nth "héllo" 1)', "é"),
    ("(nth [1] 5)", None),
    ("(nth [1] 5 :d)", kw("d")),
    ("(nth [1 2] -1)", None),
    ("(nth nil 0)", None),
    ("(nth nil 0 :d)", kw("d")),
    ('(nth "ab" 2 :d)', kw("d")),
    ("(get {:a 1} :a)", 1),
    ("(get {:a 1} :b)", None),
    ("(get {:a 1} :b 9)", 9),
    ("(get #{1 2} 1)", 1),
    ("(get #{[1 2]} (vec (concat [1] [2])))", [1, 2]),
    ("(get [10 20] 1)", 20),
    ("(get [10 20] -1 :x)", kw("x")),
    ("(get [10 20] :a)", None),
    ('(get "abc" 0)', None),
    ("(get nil :a)", None),
    ("(get 5 :a :d)", kw("d")),
    ("(get {[1 2] :v} [1 2])", kw("v")),
    ("(get {[1 2] :v} (concat [1] [2]))", None),
    ("(drop 1 [1 2 3])", [2, 3]),
    ("(drop 1 (concat [1 2] [3]))", [2, 3]),
    ('(drop 1 "abc")', ["b", "c"]),
    ("(drop -1 [1 2])", [1, 2]),
    ("(drop 5 [1])", []),
    ("(drop 1 nil)", []),
    ("(concat [1 2] nil [3])", [1, 2, 3]),
    ("(concat)", []),
    ("(concat (concat [1]) [[2]])", [1, [2]]),
    ("(vec nil)", []),
    ("(vec [1 2])", [1, 2]),
    ("(vec (concat [1] [2]))", [1, 2]),
]


@pytest.mark.parametrize("src,expected", VALUES)
def test_value(engine, src, expected):
    assert engine.eval(src) == expected


ERRORS = [
    ("(nth [1] 0.5)", "Type error: index must be integer"),
    ("(nth {:a 1} :k)", "Type error: index must be integer"),
    ("(nth {:a 1} 0)", "Type error: nth requires a sequence"),
    ("(nth 5 0)", "Type error: nth requires a sequence"),
    ("(nth [1])", "Wrong number of arguments: expected 2, got 1"),
    ("(get {})", "Wrong number of arguments: expected 2, got 1"),
    ("(drop :a [1])", "Type error: drop requires integer count"),
    ("(drop 1 {:a 1})", "Type error: drop requires a sequence"),
    ("(drop 1)", "Wrong number of arguments: expected 2, got 1"),
    ("(drop 1 [2] 3)", "Wrong number of arguments: expected 2, got 3"),
    ("(concat [1] 2)", "Type error: concat requires sequences"),
    ('(concat "ab")', "Type error: concat requires sequences"),
    ('(vec "ab")', "Type error: vec requires a sequence"),
    ("(vec #{1})", "Type error: vec requires a sequence"),
    ("(vec)", "Wrong number of arguments: expected 1, got 0"),
]


@pytest.mark.parametrize("src,message", ERRORS)
def test_error(engine, src, message):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(src)
    assert info.value.args == (message,)
