"""The Engine class, the Keyword class, the exception classes and the module's
contents: construction, arguments, persistence, thread binding and borrowing."""

import threading
from fractions import Fraction

import pytest

import quorvel
from conftest import kw


def test_default_engine_has_the_prelude(engine):
    assert engine.eval("(+ 1 2)") == 3
    assert engine.eval("(inc 1)") == 2
    assert quorvel.Engine.with_defaults().eval("(dec 1)") == 0


def test_bare_engine_has_natives_but_no_prelude(bare):
    assert bare.eval("(+ 1 2)") == 3
    with pytest.raises(quorvel.EvalError, match="^Undefined variable: inc$"):
        bare.eval("(inc 1)")


@pytest.mark.parametrize(
    "src,expected",
    [
        ("(not 1)", False),
        ("(not= 1 2)", True),
        ("[(true? true) (true? 1) (false? false) (false? nil)]", [True, False, True, False]),
        ("[(pos? 1) (neg? 1) (zero? 0) (zero? 0.0)]", [True, False, True, True]),
        ("[(abs -3) (abs 3) (abs -1/2)]", [3, 3, Fraction(1, 2)]),
        ("[(identity :x) ((constantly 7) 1 2 3) ((constantly 7))]", [kw("x"), 7, 7]),
    ],
)
def test_prelude_functions(engine, src, expected):
    assert engine.eval(src) == expected


def test_empty_text_and_comments_give_none(engine):
    assert engine.eval("") is None
    assert engine.eval("  ;; only a comment\n") is None


def test_state_persists_between_calls(engine):
    engine.eval("(def counter 1)")
    engine.eval("(defn bump [n] (+ n counter))")
    assert engine.eval("(bump 41)") == 42
    engine.eval("(def counter 2)")
    assert engine.eval("(bump 40)") == 42


def test_read_error_runs_nothing(engine):
    with pytest.raises(quorvel.CompileError) as info:
        engine.eval("(def x 1) (")
    assert info.value.args == ("Reader error: Unclosed list",)
    with pytest.raises(quorvel.EvalError, match="^Undefined variable: x$"):
        engine.eval("x")
    with pytest.raises(quorvel.CompileError, match=r"^Reader error: Unclosed vector$"):
        engine.eval("[1 2")


def test_eval_with_source(engine):
    assert engine.eval_with_source("(+ 1 2)", "script.qv") == 3
    assert engine.eval_with_source(src="(* 2 3)", source_name="other.qv") == 6
    with pytest.raises(quorvel.EvalError, match="^Division by zero$"):
        engine.eval_with_source("(/ 1 0)", "failing.qv")


def test_define_replaces_globals(engine):
    engine.define("x", 1)
    engine.define(name="x", val=[1, 2])
    assert engine.eval("x") == [1, 2]
    engine.define("inc", 5)
    assert engine.eval("inc") == 5


@pytest.mark.parametrize(
    "call,parameter",
    [
        (lambda e: e.eval(1), "src"),
        (lambda e: e.eval(None), "src"),
        (lambda e: e.eval(), "src"),
        (lambda e: e.eval_with_source("1", 2), "source_name"),
        (lambda e: e.eval_with_source(b"1", "x"), "src"),
        (lambda e: e.eval_with_source("1"), "source_name"),
        (lambda e: e.define(1, 2), "name"),
        (lambda e: e.define("x"), "val"),
    ],
)
def test_argument_errors_name_the_parameter(bare, call, parameter):
    with pytest.raises(TypeError, match=parameter):
        call(bare)


def test_constructors_take_no_arguments():
    with pytest.raises(TypeError):
        quorvel.Engine(1)
    with pytest.raises(TypeError):
        quorvel.Engine.bare(1)


def test_signatures():
    assert quorvel.Engine.eval.__text_signature__ == "($self, src)"
    assert quorvel.Engine.eval_with_source.__text_signature__ == "($self, src, source_name)"
    assert quorvel.Engine.define.__text_signature__ == "($self, name, val)"
    assert quorvel.parse_edn.__text_signature__ == "(src)"


def test_engine_is_bound_to_its_thread():
    engine = quorvel.Engine.bare()
    errors = []

    def use():
        try:
            engine.eval("1")
        except RuntimeError as e:
            errors.append(e)

    thread = threading.Thread(target=use)
    thread.start()
    thread.join()
    assert len(errors) == 1
    assert engine.eval("1") == 1


def test_engine_released_on_another_thread_is_harmless():
    made = []
    thread = threading.Thread(target=lambda: made.append(quorvel.Engine.bare()))
    thread.start()
    thread.join()
    with pytest.raises(RuntimeError):
        made[0].eval("1")
    made.clear()


def test_reentering_a_busy_engine_is_refused(bare):
    class Reentrant:
        def __str__(self):
            return str(bare.eval("1"))

    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        bare.define("x", Reentrant())
    assert bare.eval("(+ 1 1)") == 2


def test_engines_are_independent():
    a, b = quorvel.Engine.bare(), quorvel.Engine.bare()
    a.eval("(def only-a 1)")
    with pytest.raises(quorvel.EvalError):
        b.eval("only-a")


# --- Exceptions ------------------------------------------------------------

EXCEPTIONS = [
    ("QuorvelError", Exception, "Base exception for all Quorvel errors."),
    ("EvalError", quorvel.QuorvelError, "Raised when Quorvel code fails to evaluate."),
    ("CompileError", quorvel.QuorvelError, "Raised when Quorvel code fails to compile."),
    ("HandlerError", quorvel.QuorvelError, "Raised when an effect handler callback fails."),
    ("EffectNotFoundError", quorvel.QuorvelError, "Raised when a named effect does not exist."),
]


@pytest.mark.parametrize("name,base,doc", EXCEPTIONS)
def test_exception_classes(name, base, doc):
    cls = getattr(quorvel, name)
    assert cls.__bases__ == (base,)
    assert f"{cls.__module__}.{cls.__qualname__}" == f"quorvel.{name}"
    assert cls.__doc__ == doc


def test_module_contents():
    for name in ["Engine", "Keyword", "parse_edn"] + [e[0] for e in EXCEPTIONS]:
        assert hasattr(quorvel, name), name
    assert quorvel.Engine.__module__ == "quorvel"
    assert quorvel.Keyword.__module__ == "quorvel"


# --- Keyword ---------------------------------------------------------------


def siphash13(data: bytes) -> int:
    """Reference SipHash-1-3 with both keys zero."""
    mask = (1 << 64) - 1

    def rotl(x, b):
        return ((x << b) | (x >> (64 - b))) & mask

    v = [0x736F6D6570736575, 0x646F72616E646F6D, 0x6C7967656E657261, 0x7465646279746573]

    def sipround():
        v[0] = (v[0] + v[1]) & mask
        v[1] = rotl(v[1], 13) ^ v[0]
        v[0] = rotl(v[0], 32)
        v[2] = (v[2] + v[3]) & mask
        v[3] = rotl(v[3], 16) ^ v[2]
        v[0] = (v[0] + v[3]) & mask
        v[3] = rotl(v[3], 21) ^ v[0]
        v[2] = (v[2] + v[1]) & mask
        v[1] = rotl(v[1], 17) ^ v[2]
        v[2] = rotl(v[2], 32)

    tail = len(data) % 8
    blocks = [int.from_bytes(data[i : i + 8], "little") for i in range(0, len(data) - tail, 8)]
    blocks.append(int.from_bytes(data[len(data) - tail :], "little") | (len(data) & 0xFF) << 56)
    for m in blocks:
        v[3] ^= m
        sipround()
        v[0] ^= m
    v[2] ^= 0xFF
    for _ in range(3):
        sipround()
    h = v[0] ^ v[1] ^ v[2] ^ v[3]
    return h - (1 << 64) if h >= 1 << 63 else h


@pytest.mark.parametrize("name", ["a", "", "name-with-eight+", "ns/name", "é✓"])
def test_keyword_hash_is_siphash_of_name_and_ff(name):
    expected = siphash13(name.encode() + b"\xff")
    assert hash(kw(name)) == (-2 if expected == -1 else expected)


def test_keyword_value_semantics(engine):
    a = engine.eval(":a")
    assert str(a) == "a"
    assert repr(a) == 'Keyword("a")'
    assert repr(kw('q"x')) == 'Keyword("q"x")'
    assert a == kw("a") and not (a != kw("a"))
    assert a != kw("b")
    assert hash(a) == hash(kw("a"))
    assert {a: 1}[kw("a")] == 1
    assert len({kw("a"), kw("a"), kw("b")}) == 2
    assert a != "a"
    with pytest.raises(TypeError):
        a < kw("b")


def test_keyword_subclass_and_constructor():
    class Sub(quorvel.Keyword):
        pass

    assert Sub("a") == kw("a") and kw("a") == Sub("a")
    assert quorvel.Keyword(name="n") == kw("n")
    with pytest.raises(TypeError, match="name"):
        quorvel.Keyword(1)
    with pytest.raises(TypeError):
        quorvel.Keyword()
