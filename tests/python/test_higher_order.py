"""The natives that call functions back: map, filter, reduce, apply, sort,
sort-by and swap!, with the other atom natives. Shapes (list or vector) are
checked through pr-str."""

import pytest

import quorvel
from conftest import kw
from pending import eval_or_skip

# Source -> readable text of its value.
SHAPES = [
    # map and filter keep the input's list-or-vector flag; nil is a list
    ("(map inc [1 2])", "[2 3]"),
    ("(map inc '(1 2))", "(2 3)"),
    ("(map inc nil)", "()"),
    ("(map 5 [])", "[]"),
    ("(map :a [{:a 1} {:b 2}])", "[1 nil]"),
    ("(map #{1} [1 2])", "[1 nil]"),
    ("(filter odd? [1 2 3])", "[1 3]"),
    ("(filter odd? '(1 2 3))", "(1 3)"),
    ("(filter odd? nil)", "()"),
    ('(filter identity [0 false nil "" 1])', '[0 "" 1]'),
    ("(filter #{2 3} [1 2 3 4])", "[2 3]"),
    # apply spreads the last argument after the middle ones
    ("(apply vector 1 '(2 3))", "[1 2 3]"),
    ("(apply vector 1 2 nil)", "[1 2]"),
    ("(apply (fn [a & more] more) 1 [2 3])", "(2 3)"),
    # reduce gives a map's entries as [key value] vectors
    ("(reduce (fn [acc entry] entry) nil {:a 1})", "[:a 1]"),
    # sort and sort-by always give lists
    ("(sort [3 1 2])", "(1 2 3)"),
    ("(sort [2 1.5 1])", "(1 1.5 2)"),
    ("(sort #{3 1 2})", "(1 2 3)"),
    ("(sort nil)", "()"),
    ('(sort ["b" "a"])', '("b" "a")'),
    ("(sort [1/2 1/3])", "(1/2 1/3)"),
    ("(sort [:b :a])", "(:b :a)"),
    # comparators: a negative Int or true puts a first
    ("(sort (fn [a b] (< a b)) [3 1 2])", "(1 2 3)"),
    ("(sort > [1 3 2])", "(3 2 1)"),
    ("(sort - [3 1 2])", "(1 2 3)"),
    ("(sort (fn [a b] (- b a)) [1 3 2])", "(3 2 1)"),
    # false asks the reversed question, whose positive Int puts a first
    ("(sort (fn [a b] (if (< a b) false (- a b))) [3 1 2])", "(1 2 3)"),
    ("(sort (fn [a b] false) [3 1 2])", "(3 1 2)"),
    # any other answer (nil, a float, a keyword) keeps the order
    ("(sort (fn [a b] nil) [3 1 2])", "(3 1 2)"),
    ("(sort (fn [a b] (- a b 0.0)) [3 1 2])", "(3 1 2)"),
    ("(sort (fn [a b] :yes) [3 1 2])", "(3 1 2)"),
    ("(sort-by - [1 3 2])", "(3 2 1)"),
    ("(sort-by :n #{{:n 2} {:n 1}})", "({:n 1} {:n 2})"),
    ("(sort-by count nil)", "()"),
]


@pytest.mark.parametrize("src,text", SHAPES)
def test_shape(engine, src, text):
    assert engine.eval(f"(pr-str {src})") == text


VALUES = [
    ("(map inc [1 2 3])", [2, 3, 4]),
    ("(reduce + 5 [])", 5),
    ("(reduce + 5 nil)", 5),
    ("(reduce + [])", 0),
    ("(reduce * nil)", 1),
    # a single item is the result: f is not called
    ("(reduce (fn [a b] (nth a 0)) [7])", 7),
    ("(reduce - [10 1 2])", 7),
    ("(reduce - 10 [1 2])", 7),
    ("(reduce + #{1 2 3})", 6),
    ("(reduce (fn [acc entry] (+ acc (nth entry 1))) 0 {:a 1 :b 2})", 3),
    ("(reduce (fn [acc x] (if (> x 2) acc (+ acc x))) 0 [1 2 3 4])", 3),
    ("(apply + 1 2 [3 4])", 10),
    ("(apply + [])", 0),
    ("(apply + nil)", 0),
    ("(apply :a [{:a 1}])", 1),
    ("(apply #{1 2} [2])", 2),
    ("(apply apply [+ 1 [2 3]])", 6),
    # atoms
    ("(deref (atom))", None),
    ("(deref (atom 1 2))", 1),
    ("(let [a (atom 1)] [(swap! a + 10) @a])", [11, 11]),
    ("(let [a (atom 10)] (swap! a - 1 2))", 7),
    ("(let [a (atom 10)] (swap! a vector 1 2))", [10, 1, 2]),
    ("(let [a (atom 1)] [(reset! a 5) @a])", [5, 5]),
    ("(let [a (atom 1)] (reset! a 5 :ignored))", 5),
]


@pytest.mark.parametrize("src,expected", VALUES)
def test_value(engine, src, expected):
    assert engine.eval(src) == expected


ERRORS = [
    ("(map inc [1] [2])", "Wrong number of arguments: expected 2, got 3"),
    ("(map inc)", "Wrong number of arguments: expected 2, got 1"),
    ('(map inc "ab")', "Type error: map requires a sequence"),
    ("(map inc #{1})", "Type error: map requires a sequence"),
    ("(map 5 [1])", "Value is not callable"),
    # apply accepts keywords and sets, but no map or vector, unlike a call
    ("(map {:a 1} [:a])", "Value is not callable"),
    ("(map [10 20] [0])", "Value is not callable"),
    ("(map (fn [x] (nth x 0)) [1])", "Type error: nth requires a sequence"),
    ("(filter odd? {:a 1})", "Type error: filter requires a sequence"),
    ("(filter odd?)", "Wrong number of arguments: expected 2, got 1"),
    ("(reduce +)", "Wrong number of arguments: expected 2, got 1"),
    ("(reduce + 1 [] 2)", "Wrong number of arguments: expected 2, got 4"),
    ('(reduce + "ab")', "Type error: reduce requires a sequence"),
    ("(reduce + 1 :a)", "Type error: reduce requires a sequence"),
    ("(reduce (fn [a] a) [])", "Value error: Wrong number of arguments (0), function expects [1]"),
    ("(reduce {} 0 [1])", "Value is not callable"),
    ("(apply +)", "Wrong number of arguments: expected 2, got 1"),
    ("(apply + 1 2)", "Type error: apply requires a sequence as last argument"),
    ('(apply + "ab")', "Type error: apply requires a sequence as last argument"),
    ("(apply {:a 1} [:a])", "Value is not callable"),
    ("(apply nth [[1]])", "Wrong number of arguments: expected 2, got 1"),
    ("(sort)", "Wrong number of arguments: expected 1, got 0"),
    ("(sort < [1] 2)", "Wrong number of arguments: expected 1, got 3"),
    ("(sort {:a 1})", "Type error: sort requires a collection"),
    ('(sort "ba")', "Type error: sort requires a collection"),
    ("(sort (fn [a b] (nth a 0)) [3 1 2])", "Type error: nth requires a sequence"),
    ("(sort {} [3 1 2])", "Value is not callable"),
    ("(sort-by -)", "Wrong number of arguments: expected 2, got 1"),
    ("(sort-by - {:a 1})", "Type error: sort-by requires a collection"),
    ("(sort-by (fn [x] (nth x 0)) [1])", "Type error: nth requires a sequence"),
    ("(deref)", "Wrong number of arguments: expected 1, got 0"),
    ("(deref [1])", "Type error: deref requires an atom"),
    ("(reset! (atom 1))", "Wrong number of arguments: expected 2, got 1"),
    ("(reset! nil 1)", "Type error: reset! requires an atom"),
    ("(swap! (atom 1))", "Wrong number of arguments: expected 2, got 1"),
    ("(swap! 1 inc)", "Type error: swap! expects an atom"),
    ("(swap! (atom 1) {})", "Value is not callable"),
]


@pytest.mark.parametrize("src,message", ERRORS)
def test_error(engine, src, message):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(src)
    assert info.value.args == (message,)


def calls_after(engine, src):
    """Runs src with an atom `calls` counting the calls it makes; the count."""
    engine.eval("(def calls (atom 0))")
    try:
        engine.eval(src)
    except quorvel.EvalError:
        pass
    return engine.eval("@calls")


def test_sort_is_stable(engine):
    pairs = "[[1 :a] [0 :b] [1 :c] [0 :d] [1 :e] [0 :f]]"
    expected = "([0 :b] [0 :d] [0 :f] [1 :a] [1 :c] [1 :e])"
    for sorter in [
        "(sort-by first {})",
        "(sort (fn [a b] (< (first a) (first b))) {})",
        "(sort (fn [a b] (- (first a) (first b))) {})",
    ]:
        assert engine.eval(f"(pr-str {sorter.format(pairs)})") == expected


def test_sort_survives_comparators_that_contradict_themselves(engine):
    items = list(range(40, 0, -1))
    src = "[" + " ".join(map(str, items)) + "]"
    for comparator in ["(fn [a b] true)", "(fn [a b] (odd? (+ a b)))", "(fn [a b] -1)"]:
        assert sorted(engine.eval(f"(vec (sort {comparator} {src}))")) == sorted(items)


def test_failing_comparator_is_asked_once_and_its_failure_reported(engine):
    engine.eval("(def calls (atom 0))")
    with pytest.raises(quorvel.EvalError, match="^Type error: nth requires a sequence$"):
        engine.eval("(sort (fn [a b] (swap! calls inc) (nth a 0)) [4 3 2 1])")
    assert engine.eval("@calls") == 1


def test_failure_of_the_reversed_question_counts_as_no(engine):
    # Two items: the first call answers false, the reversed one fails.
    src = "(sort (fn [a b] (if (= (swap! calls inc) 2) (nth a 0) false)) [:x :y])"
    assert calls_after(engine, src) == 2
    engine.eval("(reset! calls 0)")
    assert engine.eval(f"(pr-str {src})") == "(:x :y)"


def test_sort_by_computes_each_key_once(engine):
    src = "(sort-by (fn [x] (swap! calls inc) (- x)) [1 2 3 4 5 6 7])"
    assert calls_after(engine, src) == 7
    assert engine.eval(src) == [7, 6, 5, 4, 3, 2, 1]
    # The first failing key ends the native: later keys are not computed.
    assert calls_after(engine, "(sort-by (fn [x] (swap! calls inc) (nth x 0)) [1 2 3])") == 1


def test_callbacks_run_in_order_and_stop_at_the_first_failure(engine):
    engine.eval("(def seen (atom []))")
    with pytest.raises(quorvel.EvalError, match="^Type error: nth requires a sequence$"):
        engine.eval("(map (fn [x] (swap! seen conj x) (nth x 0)) [[1] 2 [3]])")
    assert engine.eval("@seen") == [[1], 2]


def test_failed_swap_leaves_the_atom_unchanged(engine):
    engine.eval("(def a (atom 1))")
    with pytest.raises(quorvel.EvalError, match="^Type error: nth requires a sequence$"):
        engine.eval("(swap! a (fn [v] (nth v 0)))")
    assert engine.eval("@a") == 1
    assert engine.eval("(swap! a inc)") == 2


def test_errors_inside_callbacks_reach_an_outer_exn_handler(engine):
    src = "(with-handler [exn] (map (fn [x] (nth x 0)) [1]) :handle (raise [e k] (:type e)))"
    assert eval_or_skip(engine, src) == kw("type-error")


@pytest.fixture
def reduced(engine):
    try:
        engine.eval("reduced")
    except quorvel.EvalError:
        pytest.skip("the prelude does not define reduced yet")
    return engine


@pytest.mark.parametrize(
    "src,expected",
    [
        ("(reduce (fn [acc x] (if (> x 2) (reduced acc) (+ acc x))) 0 [1 2 3 4])", 3),
        ("(reduce (fn [acc x] (reduced [acc x])) [1 2 3])", [1, 2]),
        ("(reduce (fn [acc x] (reduced x)) 0 #{7})", 7),
    ],
)
def test_reduced_stops_reduce(reduced, src, expected):
    assert reduced.eval(src) == expected
