"""Whole programs with the heap's stress mode on: a collection at every
allocation where one is allowed, so a value the collector cannot see as
reachable is freed at once and the result goes wrong."""

from fractions import Fraction

import pytest

import quorvel
from quorvel import quorvel as extension
from conftest import kw

PROGRAMS = [
    (
        "closures",
        """
        (defn make-adder [n] (fn [x] (+ x n)))
        (defn compose [f g] (fn [x] (f (g x))))
        (def add5 (make-adder 5))
        (def add15 (compose add5 (make-adder 10)))
        (let [fs [(make-adder 1) (make-adder 2) add15]
              nest (((fn [a] (fn [b] (fn [c] [a b c]))) "x") "y")]
          [((nth fs 0) 10) ((nth fs 1) 10) ((nth fs 2) 10) (nest "z")])
        """,
        [11, 12, 25, ["x", "y", "z"]],
    ),
    (
        "multi-clause functions with guards",
        """
        (defn classify
          ([n :when (< n 0)] :negative)
          ([n :when (= n 0)] :zero)
          ([n :when (< n 10)] [:small n])
          ([n] {:big n :label "large"}))
        (defn arity ([] :none) ([a] [:one a]) ([a b & more] [:many a b more]))
        [(classify -3) (classify 0) (classify 7) (classify 12)
         (arity) (arity "s") (arity 1 2 3 4)]
        """,
        [
            kw("negative"),
            kw("zero"),
            [kw("small"), 7],
            {kw("big"): 12, kw("label"): "large"},
            kw("none"),
            [kw("one"), "s"],
            [kw("many"), 1, 2, [3, 4]],
        ],
    ),
    (
        "loops building collections",
        """
        (defn build [n]
          (loop [i 0 acc [] m {}]
            (if (< i n)
              (recur (+ i 1) (vec (concat acc [[i "item"]])) {:last i :prev m})
              [acc (get m :last) (get (get m :prev) :last)])))
        (let [r (build 60)]
          [(nth (nth r 0) 59) (nth r 1) (nth r 2) (nth (drop 58 (nth r 0)) 0)])
        """,
        [[59, "item"], 59, 58, [58, "item"]],
    ),
    (
        "numeric tower",
        """
        (defn harmonic [n]
          (loop [i 1 acc 0] (if (> i n) acc (recur (+ i 1) (+ acc (/ 1 i))))))
        (defn collatz [n]
          (loop [n n steps 0]
            (if (= n 1) steps (recur (if (= 0 (rem n 2)) (/ n 2) (+ (* 3 n) 1)) (+ steps 1)))))
        (defn fib [n] (if (< n 2) n (+ (fib (- n 1)) (fib (- n 2)))))
        [(harmonic 10) (collatz 27) (fib 15) (* 1.5 (harmonic 2)) (- (/ 7 2) 1/2)
         (let [f *] (f 2/3 3/4 4)) (quot 17 5) (pow 2 8)]
        """,
        [Fraction(7381, 2520), 111, 610, 2.25, 3, 2, 3, 256.0],
    ),
]


@pytest.mark.parametrize("name,src,expected", PROGRAMS, ids=[p[0] for p in PROGRAMS])
def test_program_under_gc_stress(name, src, expected):
    engine = quorvel.Engine()
    extension._set_gc_stress(engine, True)
    assert engine.eval(src) == expected
    # Definitions survive later collections too.
    assert engine.eval("[(nth [1 2 3] 1) (get {:k \"v\"} :k)]") == [2, "v"]
    extension._set_gc_stress(engine, False)


def test_defined_values_survive_collections():
    engine = quorvel.Engine.bare()
    extension._set_gc_stress(engine, True)
    engine.define("data", {"k": [1, "two", (3.0, Fraction(1, 3))]})
    assert engine.eval("(get data \"k\")") == [1, "two", [3.0, Fraction(1, 3)]]
    assert engine.eval("(loop [i 0] (if (< i 50) (recur (+ i 1)) (get data \"k\")))") == [
        1,
        "two",
        [3.0, Fraction(1, 3)],
    ]
