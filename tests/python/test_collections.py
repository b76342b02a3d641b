"""The collection natives: access, counting, building, conj/into, maps,
slicing and generating. Results are compared in their readable printed form,
so a list and a vector with the same elements tell apart."""

import pytest

import quorvel
from pending import eval_or_skip

# source -> (pr-str source). Sets and maps printed here have at most one
# entry: their iteration order is unspecified.
PRINTED = {
    "first": [
        ("(first [1 2])", "1"),
        ("(first (list 3 4))", "3"),
        ("(first nil)", "nil"),
        ("(first [])", "nil"),
    ],
    "last": [
        ("(last [1 2 3])", "3"),
        ("(last (list 1 2))", "2"),
        ("(last (range 33))", "32"),
        ("(last nil)", "nil"),
        ("(last [])", "nil"),
    ],
    "rest": [
        ("(rest [1 2 3])", "[2 3]"),
        ("(rest (list 1 2))", "(2)"),
        ("(rest [1])", "[]"),
        ("(rest [])", "[]"),
        ("(rest (list))", "()"),
        ("(rest nil)", "()"),
        ("[(count (rest (range 40))) (first (rest (range 40)))]", "[39 1]"),
    ],
    "seq": [
        ("(seq [1 2])", "(1 2)"),
        ("(seq (list 1))", "(1)"),
        ("(seq [])", "nil"),
        ("(seq (list))", "nil"),
        ("(seq nil)", "nil"),
    ],
    "count": [
        ("(count nil)", "0"),
        ('(count "héllo")', "5"),
        ("(count [1 [2 3]])", "2"),
        ("(count (list 1 2 3))", "3"),
        ("(count #{1 2})", "2"),
        ("(count {:a 1 :b 2})", "2"),
    ],
    "empty?": [
        ("(empty? nil)", "true"),
        ('(empty? "")', "true"),
        ('(empty? "a")', "false"),
        ("(empty? [])", "true"),
        ("(empty? (list 1))", "false"),
        ("(empty? #{})", "true"),
        ("(empty? {:a 1})", "false"),
    ],
    "empty": [
        ("(empty nil)", "nil"),
        ('(empty "abc")', '""'),
        ("(empty [1 2])", "[]"),
        ("(empty (list 1))", "()"),
        ("(empty #{1})", "#{}"),
        ("(empty {:a 1})", "{}"),
    ],
    "list": [
        ("(list)", "()"),
        ("(list 1 [2] nil)", "(1 [2] nil)"),
    ],
    "vector": [
        ("(vector)", "[]"),
        ("(vector 1 (list 2))", "[1 (2)]"),
    ],
    "hash-map": [
        ("(hash-map)", "{}"),
        ("(hash-map :a 1 :a 2)", "{:a 2}"),
        ('(get (hash-map "a" 1) "a")', "1"),
        ('(count (hash-map "a" 1 (str "a") 2))', "1"),
        ("(get (hash-map (vec (list 1 2)) :v) [1 2])", ":v"),
        ("(count (hash-map 1 :int 1.0 :float))", "2"),
    ],
    "hash-set": [
        ("(hash-set)", "#{}"),
        ("(hash-set 1 1)", "#{1}"),
        ('(count (hash-set "a" (str "a")))', "1"),
        ("(count (hash-set [1 2] (vec (list 1 2))))", "1"),
    ],
    "set": [
        ("(set nil)", "#{}"),
        ("(set [1 1])", "#{1}"),
        ('(set "aa")', '#{"a"}'),
        ('(count (set "héh"))', "2"),
        ("(set #{1})", "#{1}"),
        ("(set {:a 1})", "#{[:a 1]}"),
        ('(count (set ["a" (str "a")]))', "1"),
    ],
    "cons": [
        ("(cons 1 [2 3])", "(1 2 3)"),
        ("(cons 1 (list 2))", "(1 2)"),
        ("(cons 1 nil)", "(1)"),
        ('(cons 1 "ab")', '(1 "a" "b")'),
        ("(cons [0] [])", "([0])"),
    ],
    "conj": [
        ("(conj (list 3) 1 2)", "(1 2 3)"),
        ("(conj [3] 1 2)", "[3 1 2]"),
        ("(conj nil 1 2)", "(1 2)"),
        ("(conj #{} 1 1)", "#{1}"),
        ("(conj {} [:a 1])", "{:a 1}"),
        ("(conj {} (list :a 1 :extra))", "{:a 1}"),
        ("(conj {:a 1} [:a 2])", "{:a 2}"),
        ("(conj {} :x [:a] 5)", "{}"),
        ('(count (conj #{"a"} (str "a")))', "1"),
        ('(get (conj {} [(str "k") 1]) "k")', "1"),
        ("(count (conj (vec (range 32)) 32))", "33"),
    ],
    "into": [
        ("(into (list 3) [1 2])", "(2 1 3)"),
        ("(into nil [1 2 3])", "(3 2 1)"),
        ("(into [] {:a 1})", "[[:a 1]]"),
        ("(into [1] (list 2 3))", "[1 2 3]"),
        ("(into [] #{1})", "[1]"),
        ("(into [1] nil)", "[1]"),
        ("(into #{} [1 1])", "#{1}"),
        ("(into {} [[:a 1] :junk [:b]])", "{:a 1}"),
        ("(into {} {:a 1})", "{:a 1}"),
        ('(count (into #{"a"} [(str "a")]))', "1"),
        ('(get (into {} [[(str "k") 1]]) "k")', "1"),
        ('(get (into {} (hash-map (str "k") 1)) "k")', "1"),
    ],
    "assoc": [
        ("(assoc {} :a 1)", "{:a 1}"),
        ("(assoc nil :a 1)", "{:a 1}"),
        ("(assoc {} :a 1 :b)", "{:a 1}"),
        ("(assoc {:a 1} :a 2)", "{:a 2}"),
        ('(get (assoc {} (str "k") 1) "k")', "1"),
        ('(count (assoc {"k" 1} (str "k") 2))', "1"),
        ("(assoc [1 2] 0 9)", "[9 2]"),
        ("(assoc [1 2 3] 0 :a 2 :c)", "[:a 2 :c]"),
        ("(assoc [1 2] 1 3 :dangling)", "[1 3]"),
    ],
    "dissoc": [
        ("(dissoc {:a 1} :a)", "{}"),
        ("(dissoc {:a 1} :z)", "{:a 1}"),
        ("(dissoc {:a 1 :b 2} :a :b)", "{}"),
        ('(dissoc {"k" 1} (str "k"))', "{}"),
        ("(dissoc {[1 2] 1} (vec (list 1 2)))", "{}"),
    ],
    "keys and vals": [
        ("(keys {:a 1})", "(:a)"),
        ("(vals {:a 1})", "(1)"),
        ("(keys {})", "()"),
        ("(keys nil)", "nil"),
        ("(vals nil)", "nil"),
        (
            "(let [m (into {} (map (fn [i] [i (* i i)]) (range 40)))]"
            " (= (vec (map (fn [k] (* k k)) (keys m))) (vec (vals m))))",
            "true",
        ),
    ],
    "contains?": [
        ("(contains? nil 1)", "false"),
        ("(contains? [5 6] 1)", "true"),
        ("(contains? [5 6] 2)", "false"),
        ("(contains? [5 6] -1)", "false"),
        ("(contains? [5 6] :a)", "false"),
        ("(contains? (list 5) 0)", "true"),
        ("(contains? #{1 2} 1)", "true"),
        ("(contains? #{1} 1.0)", "true"),
        ("(contains? #{1} 2)", "false"),
        ('(contains? #{"a"} (str "a"))', "true"),
        ("(contains? {:a nil} :a)", "true"),
        ("(contains? {:a 1} :b)", "false"),
        ('(contains? {"k" 1} (str "k"))', "true"),
    ],
    "take": [
        ("(take 2 [1 2 3])", "[1 2]"),
        ("(take 5 (list 1))", "(1)"),
        ("(take -1 [1 2])", "[]"),
        ("(take 0 (list 1))", "()"),
        ("(take 1 nil)", "()"),
    ],
    "drop-last": [
        ("(drop-last [1 2 3])", "[1 2]"),
        ("(drop-last (list 1 2 3))", "[1 2]"),
        ("(drop-last 2 [1 2 3])", "[1]"),
        ("(drop-last 0 (list 1 2))", "[1 2]"),
        ("(drop-last 5 [1 2])", "[]"),
        ("(drop-last -1 [1 2])", "[]"),
        ("(drop-last nil)", "[]"),
        ("(drop-last [])", "[]"),
        ("[(count (drop-last (range 33))) (last (drop-last 3 (range 70)))]", "[32 66]"),
    ],
    "reverse": [
        ("(reverse [1 2 3])", "(3 2 1)"),
        ("(reverse (list 1))", "(1)"),
        ("(reverse nil)", "()"),
        ("(first (reverse (range 100)))", "99"),
    ],
    "repeat": [
        ("(repeat 3 :x)", "(:x :x :x)"),
        ("(repeat 0 1)", "()"),
        ("(repeat -2 1)", "()"),
    ],
    "range": [
        ("(range 5)", "(0 1 2 3 4)"),
        ("(range 0)", "()"),
        ("(range -3)", "()"),
        ("(range 2 5)", "(2 3 4)"),
        ("(range 5 2)", "()"),
        ("(range 0 10 3)", "(0 3 6 9)"),
        ("(range 5 0 -2)", "(5 3 1)"),
        ("(range 0 5 -1)", "()"),
        ("(range 0 5 0)", "()"),
        ("(range 0 3 1 99)", "(0 1 2)"),
        ("(range 9223372036854775806 9223372036854775807 5)", "(9223372036854775806)"),
        ("(range -9223372036854775807 -9223372036854775808 -9)", "(-9223372036854775807)"),
    ],
    "__subvec": [
        ("(__subvec [1 2 3 4] 1 3)", "[2 3]"),
        ("(__subvec [1 2 3] 1)", "[2 3]"),
        ("(__subvec (list 1 2 3) 0)", "[1 2 3]"),
        ("(__subvec [1 2 3] -1)", "[]"),
        ("(__subvec [1 2 3] 1 -1)", "[2 3]"),
        ("(__subvec [1 2] 0 10)", "[1 2]"),
        ("(__subvec [1 2] 2 1)", "[]"),
        ("(__subvec nil 0)", "[]"),
    ],
}

PRINTED_CASES = [(src, out) for cases in PRINTED.values() for src, out in cases]


@pytest.mark.parametrize("src,printed", PRINTED_CASES)
def test_printed(engine, src, printed):
    assert engine.eval(f"(pr-str {src})") == printed


# Updates make new collections and leave the old versions as they were,
# also when two versions grow from one shared tail or trie path.
VERSIONS = [
    ("(let [v [1 2] a (conj v 3) b (conj v 4)] [v a b])", "[[1 2] [1 2 3] [1 2 4]]"),
    (
        "(let [v (vec (range 32)) a (conj v :a) b (conj v :b)] [(count v) (last a) (last b)])",
        "[32 :a :b]",
    ),
    ("(let [l (list 1) a (conj l 0) b (into l [7 8])] [l a b])", "[(1) (0 1) (8 7 1)]"),
    ("(let [v [1 2] a (assoc v 0 :x)] [v a])", "[[1 2] [:x 2]]"),
    ("(let [m {:a 1} a (assoc m :a 2) d (dissoc m :a)] [m a d])", "[{:a 1} {:a 2} {}]"),
    ("(let [s #{1} a (conj s 2)] [s (count a)])", "[#{1} 2]"),
    ("(let [v [1 2 3] d (drop-last v) t (take 1 v)] [v d t])", "[[1 2 3] [1 2] [1]]"),
]


@pytest.mark.parametrize("src,printed", VERSIONS)
def test_old_versions_unchanged(engine, src, printed):
    assert engine.eval(f"(pr-str {src})") == printed


def test_large_map_built_with_assoc_finds_every_key(engine):
    src = """
    (let [n 3000
          m (loop [i 0 m {}] (if (< i n) (recur (+ i 1) (assoc m (str "k" i) i)) m))]
      [(count m)
       (loop [i 0 ok true] (if (< i n) (recur (+ i 1) (and ok (= i (get m (str "k" i))))) ok))
       (count (reduce (fn [m i] (dissoc m (str "k" i))) m (range 0 n 2)))])
    """
    assert engine.eval(src) == [3000, True, 1500]


VARIANTS = "(defdata Shape (Circle [r]) (Rect [w h]))"


@pytest.mark.parametrize(
    "src,printed",
    [
        ("(assoc (Rect 1 2) :w 9)", "#Shape/Rect{w: 9, h: 2}"),
        ("(assoc (Rect 1 2) :h 3 :w 4 :depth 5)", "#Shape/Rect{w: 4, h: 3}"),
        ('(assoc (Circle 1) :w 9 "r" 2)', "#Shape/Circle{r: 1}"),
        ("(= (assoc (Rect 1 2) :w 9) (Rect 9 2))", "true"),
    ],
)
def test_assoc_on_variants(engine, src, printed):
    eval_or_skip(engine, VARIANTS)
    assert engine.eval(f"(pr-str {src})") == printed


def arity(expected, got):
    return f"Wrong number of arguments: expected {expected}, got {got}"


ERRORS = [
    # first, last, rest, seq: nil, lists and vectors only
    ('(first "ab")', "Type error: first requires a sequence"),
    ("(first #{1})", "Type error: first requires a sequence"),
    ("(last {:a 1})", "Type error: last requires a sequence"),
    ('(rest "ab")', "Type error: rest requires a sequence"),
    ('(seq "ab")', "Type error: seq requires a seqable"),
    ("(seq #{1})", "Type error: seq requires a seqable"),
    ("(first)", arity(1, 0)),
    ("(rest)", arity(1, 0)),
    ("(seq)", arity(1, 0)),
    ("(last)", arity(1, 0)),
    # counting
    ("(count 5)", "Type error: count requires a collection"),
    ("(count :a)", "Type error: count requires a collection"),
    ("(empty? 0)", "Type error: empty? requires a collection"),
    ("(empty :a)", "Type error: empty requires a collection"),
    ("(count)", arity(1, 0)),
    ("(empty?)", arity(1, 0)),
    # building
    ("(hash-map 1)", "Type error: hash-map requires even number of arguments"),
    ("(hash-map :a 1 :b)", "Type error: hash-map requires even number of arguments"),
    ("(set 5)", "Type error: seqable required"),
    ("(set)", arity(1, 0)),
    ("(set [1] [2])", arity(1, 2)),
    ("(cons 1 #{2})", "Type error: cons requires a sequence"),
    ("(cons 1 {:a 1})", "Type error: cons requires a sequence"),
    ("(cons 1)", arity(2, 1)),
    ('(conj "ab" 1)', "Type error: conj requires a collection"),
    ("(conj 5 1)", "Type error: conj requires a collection"),
    ("(conj [1])", arity(2, 1)),
    # into checks the source first
    ('(into [] "ab")', "Type error: into requires a seqable source"),
    ('(into 5 "ab")', "Type error: into requires a seqable source"),
    ("(into 5 [1])", "Type error: into requires a collection"),
    ('(into "ab" [1])', "Type error: into requires a collection"),
    ("(into [])", arity(2, 1)),
    # maps
    ("(assoc [1 2] 2 3)", "Value error: vector index out of bounds"),
    ("(assoc [1 2] -1 3)", "Value error: vector index out of bounds"),
    ("(assoc [] 0 1)", "Value error: vector index out of bounds"),
    ("(assoc [1 2] :a 3)", "Type error: vector index must be integer"),
    ("(assoc [1 2] 1.0 3)", "Type error: vector index must be integer"),
    ("(assoc [1 2] 0 :ok 5 :bad)", "Value error: vector index out of bounds"),
    ("(assoc (list 1) 0 2)", "Type error: assoc requires a map, vector, or variant"),
    ("(assoc #{} 1 2)", "Type error: assoc requires a map, vector, or variant"),
    ('(assoc "s" 0 1)', "Type error: assoc requires a map, vector, or variant"),
    ("(assoc {} :a)", arity(3, 2)),
    ("(dissoc nil :a)", "Type error: dissoc requires a map"),
    ("(dissoc [1] 0)", "Type error: dissoc requires a map"),
    ("(dissoc {})", arity(2, 1)),
    ("(keys [1])", "Type error: keys requires a map"),
    ("(vals #{1})", "Type error: vals requires a map"),
    ("(keys)", arity(1, 0)),
    ('(contains? "ab" 0)', "Type error: contains? requires a map, set, or vector"),
    ("(contains? 5 1)", "Type error: contains? requires a map, set, or vector"),
    ("(contains? {})", arity(2, 1)),
    # slicing and generating
    ("(take :a [1])", "Type error: take requires integer count"),
    ('(take :a "ab")', "Type error: take requires integer count"),
    ('(take 1 "ab")', "Type error: take requires a sequence"),
    ("(take 1 #{1})", "Type error: take requires a sequence"),
    ("(take 1)", arity(2, 1)),
    ("(take 1 [1] 2)", arity(2, 3)),
    ("(drop-last 1.5 [1])", "Type error: drop-last n must be integer"),
    ('(drop-last "ab")', "Type error: drop-last requires a sequence"),
    ("(drop-last 1 {:a 1})", "Type error: drop-last requires a sequence"),
    ("(drop-last)", arity(1, 0)),
    ('(reverse "ab")', "Type error: reverse requires a sequence"),
    ("(reverse #{1})", "Type error: reverse requires a sequence"),
    ("(repeat 1.0 :x)", "Type error: repeat n must be integer"),
    ("(repeat 3)", arity(2, 1)),
    ("(range 1.0)", "Type error: range requires integer arguments"),
    ("(range 0 :a)", "Type error: range requires integer arguments"),
    ("(range 0 5 1/2)", "Type error: range requires integer arguments"),
    ("(range)", arity(1, 0)),
    ("(__subvec [1] :a)", "Type error: start must be integer"),
    ('(__subvec "ab" :a)', "Type error: start must be integer"),
    ("(__subvec [1] 0 :b)", "Type error: end must be integer"),
    ('(__subvec "ab" 0)', "Type error: subvec requires a sequence"),
    ("(__subvec [1])", arity(2, 1)),
]


@pytest.mark.parametrize("src,message", ERRORS)
def test_error(engine, src, message):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(src)
    assert info.value.args == (message,)


def test_results_survive_collections_at_every_allocation():
    from quorvel import quorvel as extension

    engine = quorvel.Engine()
    extension._set_gc_stress(engine, True)
    src = """
    (let [s (set "abca")
          m (into {} [[(str "k") (vector (str "v") (list 1 2))]])
          v (reduce conj [] (range 40))
          l (into nil (set {:a [1] :b [2]}))]
      [(count s) (contains? s "b") (get m "k") (last v) (count l)
       (vals (assoc (hash-map (str "x") (str "y")) "x" (cons 0 "xy")))])
    """
    assert engine.eval(src) == [3, True, ["v", [1, 2]], 39, 2, [[0, "x", "y"]]]
    extension._set_gc_stress(engine, False)
