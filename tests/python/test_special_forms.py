"""Special forms, calls and closures: source text to Python value, and the
compile errors of malformed forms."""

import pytest

import quorvel
from conftest import kw

VALUES = [
    # do, if, and, or
    ("(do)", None),
    ("(do 1 2 3)", 3),
    ("(if false 1)", None),
    ("(if nil 1 2)", 2),
    ("(if 0 :yes :no)", kw("yes")),
    ('(if "" 1 2)', 1),
    ("(if true 1 2 3)", 1),
    ("(and)", True),
    ("(or)", None),
    ("(and 1 nil 2)", None),
    ("(and 1 2)", 2),
    ("(or nil false)", False),
    ("(or nil 3 4)", 3),
    ("(not 0)", False),
    ("(not nil)", True),
    ("()", []),
    # let
    ("(let [])", None),
    ("(let [x 1 x (+ x 1)] x)", 2),
    ("(let [a 1 b (+ a 1)] [a b])", [1, 2]),
    ("(let [x 1] (let [y 2] (let [z 3] [x y z])))", [1, 2, 3]),
    # def and defn
    ("(def x 1 2) x", 1),
    ('(def x "doc" 1) x', 1),
    ("(def x 5)", 5),
    ("(defn sq [x] (* x x)) (sq 7)", 49),
    ('(defn f "doc" [x] x) (f 3)', 3),
    ("(defn fact [n] (if (< n 2) 1 (* n (fact (- n 1))))) (fact 20)", 2432902008176640000),
    # loop and recur
    ("(loop [i 0] (if (< i 3) (recur (+ i 1)) i))", 3),
    ("(loop [i 0] (let [j (+ i 1)] (if (< j 5) (recur j) j)))", 5),
    ("(loop [x (let [y 1] y) n 0] (if (< n 3) (recur (+ x 1) (+ n 1)) x))", 4),
    ("(loop [i 0 acc []] (if (< i 3) (recur (+ i 1) (concat acc [i])) acc))", [0, 1, 2]),
    ("(loop [i 0] (if (< i 1000000) (recur (+ i 1)) i))", 1000000),
    ("((fn [a & r] (if (= a 0) r (recur (- a 1) [a]))) 2)", [1]),
    ("(defn down [n] (if (= n 0) :done (recur (- n 1)))) (down 100000)", kw("done")),
    # assert
    ("(assert true)", None),
    ('(assert (= 1 1) "msg")', None),
    # inline operators go by name, direct native calls stop at a visible local
    ("(let [+ -] (+ 1 2))", 3),
    ("(let [count (fn [x] 0)] (count [1 2]))", 0),
    ("(mod -7 2)", -1),
    ("(rem -7 2)", -1),
    # fn, closures, captures through several levels
    ("((fn [x] (+ x 1)) 1)", 2),
    ("((fn [_ b] b) 1 2)", 2),
    ("((fn [& r] r) 1 2 3)", [1, 2, 3]),
    ("((fn [& r] r))", []),
    ("((fn [a & r] [a r]) 1)", [1, []]),
    ("(let [x 5] ((fn [] x)))", 5),
    ("((((fn [x] (fn [] (fn [] x))) 7)))", 7),
    ("(((((fn [x] (fn [] (fn [] (fn [] x)))) 9))))", 9),
    ("(let [x 1] (let [f (fn [] x) x 2] [(f) x]))", [1, 2]),
    ("(defn adder [n] (fn [x] (+ x n))) (let [a (adder 5) b (adder 10)] [(a 1) (b 1)])", [6, 11]),
    # multi-clause functions, guards, captures unified across clauses
    ("(defn f ([x] 1) ([x y] 2) ([x y & z] z)) [(f 0) (f 0 0) (f 0 0 7 8)]", [1, 2, [7, 8]]),
    (
        "(defn sign ([n :when (< n 0)] :neg) ([n :when (= n 0)] :zero) ([n] :pos))"
        " [(sign -5) (sign 0) (sign 5)]",
        [kw("neg"), kw("zero"), kw("pos")],
    ),
    ("(let [a 1 b 2] (let [f (fn ([x] (+ x a)) ([x y] (+ x y b)))] [(f 10) (f 10 20)]))", [11, 32]),
    ("(let [lim 3] ((fn ([x :when (> x lim)] :big) ([x] :small)) 5))", kw("big")),
    # calling keywords, maps, sets and vectors
    ("(:a {:a 1})", 1),
    ("(:b {:a 1} 2)", 2),
    ("(:a 5)", None),
    ("({:a 1} :a)", 1),
    ("({:a 1} :b 3)", 3),
    ("(#{1 2} 2)", 2),
    ("(#{1 2} 3)", None),
    ("([10 20] 1)", 20),
    # literals: equal map keys and set members collide after canonicalisation
    ("{:a 1 :a 2}", {kw("a"): 2}),
    ("(= {(vec [1 2]) 1 [1 2] 1} {[1 2] 1})", True),
    ("(= #{[1 2] (vec [1 2])} #{[1 2]})", True),
    ("(def m {\"k\" 1}) (get m \"k\")", 1),
]


@pytest.mark.parametrize("src,expected", VALUES)
def test_value(engine, src, expected):
    assert engine.eval(src) == expected


def test_each_form_sees_definitions_of_earlier_forms(engine):
    assert engine.eval("(def a 2) (defn twice [x] (* a x)) (twice 21)") == 42
    assert engine.eval("(twice 5)") == 10


def args(n):
    return " ".join(["1"] * n)


SYNTAX_ERRORS = [
    ("(if)", "if requires a test expression"),
    ("(let)", "let requires bindings vector"),
    ("(let x 1)", "let bindings must be a vector"),
    ("(let [x] x)", "let bindings must have even count"),
    ("(def x)", "def requires a name and value"),
    ('(def "x" 1)', "def name must be a symbol"),
    ("(defn f)", "defn requires a name and parameter vector"),
    ('(defn "f" [] 1)', "defn name must be a symbol"),
    ("(loop)", "loop requires bindings vector"),
    ("(loop x)", "loop bindings must be a vector"),
    ("(loop [i] i)", "loop bindings must have even count"),
    ("(loop [[a] 1] a)", "only simple symbol patterns supported in loop bindings"),
    ("(loop [a/b 1] 1)", "only simple symbol patterns supported in loop bindings"),
    ("(loop [i 0] (+ 1 (recur i)))", "recur must be in tail position"),
    ("(loop [i 0] (do (recur 1) 2))", "recur must be in tail position"),
    ("(loop [i 0] (if (recur 1) 1 2))", "recur must be in tail position"),
    ("(fn [x] [(recur 1)])", "recur must be in tail position"),
    ("(recur 1)", "recur outside of loop"),
    ("(loop [a 1 b 2] (recur 1))", "recur arity mismatch: expected 2, got 1"),
    ("(fn [a & r] (recur 1))", "recur arity mismatch: expected 2, got 1"),
    ("(assert)", "assert requires an expression"),
    ("(fn)", "fn requires parameters"),
    ("(fn f)", "fn requires parameters"),
    ("(fn ([x] x) [y])", "fn clause must be a list"),
    ("(fn ([x] x) ())", "fn clause is empty"),
    ("(fn ([x] x) (y))", "fn clause requires a parameter vector"),
    ("(fn 1)", "fn clause requires a parameter vector"),
    ("(fn [x :when] x)", ":when requires an expression"),
    ("(fn [x &] x)", "missing rest parameter after &"),
    ("(fn [x & y z] x)", "multiple rest parameters"),
    (f"(+ {args(256)})", "too many arguments (max 255)"),
    (f"(vector {args(256)})", "too many arguments (max 255)"),
    (f"((fn [& r] r) {args(256)})", "too many arguments (max 255)"),
    (f"(console/print {args(256)})", "too many arguments (max 255)"),
]


@pytest.mark.parametrize("src,message", SYNTAX_ERRORS, ids=[src[:40] for src, _ in SYNTAX_ERRORS])
def test_invalid_syntax(engine, src, message):
    with pytest.raises(quorvel.CompileError) as info:
        engine.eval(src)
    assert info.value.args == ("compile error: invalid syntax: " + message,)


def test_duplicate_parameter(engine):
    with pytest.raises(quorvel.CompileError, match=r"^compile error: duplicate parameter: x$"):
        engine.eval("(fn [x x] x)")


def test_call_with_255_arguments_is_accepted(engine):
    assert engine.eval(f"((fn [& r] (nth r 254)) {args(255)})") == 1


def test_failed_compile_leaves_no_definition(engine):
    with pytest.raises(quorvel.CompileError):
        engine.eval("(def kept 1) (def lost (fn [x x] x))")
    assert engine.eval("kept") == 1
    with pytest.raises(quorvel.EvalError, match="^Undefined variable: lost$"):
        engine.eval("lost")
