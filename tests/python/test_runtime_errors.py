"""Runtime errors of instructions, calls and the error natives: source text to
the exact message of the EvalError."""

import pytest

import quorvel

MIN_INT = -(2**63)

ERRORS = [
    # arithmetic and comparison instructions
    ("(/ 1 0)", "Division by zero"),
    ("(/ 1/2 0.0)", "Division by zero"),
    ("(rem 1 0)", "Division by zero"),
    ("(+ 1 :a)", "Type error: expected numbers"),
    ('(* "a" 2)', "Type error: expected numbers"),
    ('(< 1 "a")', "Type error: expected numbers"),
    ("(>= nil 1)", "Type error: expected numbers"),
    ("(mod 1/2 1)", "Type error: expected numbers"),
    ('(- "a")', "Type error: expected number"),
    ("(< 1/2 (NaN))", "Type error: invalid float"),
    ("(+ 1/2 9223372036854775807)", "Type error: ratio overflow"),
    # globals
    ("(undefined-fn)", "Undefined variable: undefined-fn"),
    ("nowhere", "Undefined variable: nowhere"),
    ("(if false (def later 1) nil) later", "Undefined variable: later"),
    ("(do (if false (def inner 1) nil) inner)", "Undefined variable: inner"),
    # callees
    ("(1 2)", "Value is not callable"),
    ('("s" 0)', "Value is not callable"),
    ("(nil)", "Value is not callable"),
    ("((concat [1 2]) 0)", "Value is not callable"),
    ("(:a)", "Wrong number of arguments: expected 1, got 0"),
    ("(:a {} 1 2)", "Wrong number of arguments: expected 1, got 3"),
    ("({:a 1})", "Wrong number of arguments: expected 1, got 0"),
    ("(#{1} 1 2)", "Wrong number of arguments: expected 1, got 2"),
    ("([10 20] 2)", "Index 2 out of bounds for length 2"),
    ("([10 20] -1)", "Index -1 out of bounds for length 2"),
    ("([10 20] :x)", "Type error: vector index must be integer"),
    ("((fn [x] x))", "Value error: Wrong number of arguments (0), function expects [1]"),
    ("((fn [x] x) 1 2)", "Value error: Wrong number of arguments (2), function expects [1]"),
    (
        "((fn ([x] 1) ([x y & z] 2)))",
        "Value error: Wrong number of arguments (0), function expects [1, 2+]",
    ),
    ("((fn ([x :when (< x 0)] 1) ([x :when (> x 10)] 2)) 5)", "No matching clause"),
    ("(defn pos-only [x :when (> x 0)] x) (pos-only -1)", "No matching clause"),
    # assert and the error natives
    ("(assert false)", "Assertion failed: assertion failed"),
    ("(assert nil)", "Assertion failed: assertion failed"),
    ('(assert (= 1 2) "boom")', "Assertion failed: boom"),
    ("(assert false 42)", "Assertion failed: 42"),
    ("(assert-failed)", "Assertion failed: assertion failed"),
    ("(__throw-arity 2 3)", "Wrong number of arguments: expected 2, got 3"),
    ("(__throw-arity :a)", "Wrong number of arguments: expected 0, got 0"),
    ("(__throw-arity 258 1)", "Wrong number of arguments: expected 2, got 1"),
]


@pytest.mark.parametrize("src,message", ERRORS)
def test_runtime_error(engine, src, message):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(src)
    assert info.value.args == (message,)


def test_error_inside_nested_calls_leaves_the_machine_clean(engine):
    engine.eval("(defn inner [x] (/ x 0)) (defn outer [x] (+ 1 (inner x)))")
    with pytest.raises(quorvel.EvalError, match="^Division by zero$"):
        engine.eval("(outer 1)")
    assert engine.eval("(+ 1 2)") == 3
    assert engine.eval("(outer 2.0)") == float("inf")


def test_forms_before_the_failing_one_stay_done(engine):
    with pytest.raises(quorvel.EvalError, match="^Undefined variable: undefined-fn$"):
        engine.eval("(def x 1) (undefined-fn) (def y 2)")
    assert engine.eval("x") == 1
    with pytest.raises(quorvel.EvalError, match="^Undefined variable: y$"):
        engine.eval("y")


def test_unbounded_recursion_is_a_value_error(engine):
    with pytest.raises(quorvel.EvalError, match="^Value error: stack overflow"):
        engine.eval("(defn deep [n] (+ 1 (deep n))) (deep 1)")
    assert engine.eval("(+ 2 2)") == 4


def test_most_negative_integer_by_minus_one_wraps(engine):
    assert engine.eval(f"(/ {MIN_INT} -1)") == MIN_INT
    assert engine.eval(f"(rem {MIN_INT} -1)") == 0
    assert engine.eval(f"(- {MIN_INT})") == MIN_INT
    assert engine.eval("(+ 9223372036854775807 1)") == MIN_INT
