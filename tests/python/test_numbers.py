"""The numeric tower: the inline instructions and the number natives (reached
with other operand counts or through a local holding the native)."""

import math
from fractions import Fraction

import pytest

import quorvel

MIN_INT = -(2**63)
MAX_INT = 2**63 - 1


def native(name, *args):
    """A call of the native through a local, so no inline instruction is used."""
    return f"(let [f {name}] (f {' '.join(args)}))"


VALUES = [
    # instructions
    ("(+ 1 2 3)", 6),
    ("(- 1 2 3)", -4),
    ("(- 5)", -5),
    ("(- 1/2)", Fraction(-1, 2)),
    ("(- 1.5)", -1.5),
    ("(/ 6 3)", 2),
    ("(/ 1 2)", Fraction(1, 2)),
    ("(/ 2 -4)", Fraction(-1, 2)),
    ("(/ 1.0 0)", math.inf),
    ("(/ 1 2 2)", Fraction(1, 4)),
    ("(+ 1/2 1/2)", 1),
    ("(+ 1/3 1/6)", Fraction(1, 2)),
    ("(* 1/2 2.0)", 1.0),
    ("(+ 1 2.5)", 3.5),
    ("(- 1/2 1)", Fraction(-1, 2)),
    ("(* 2/3 3)", 2),
    ("(/ 1/2 1/4)", 2),
    ("(mod 7.5 2)", 1.5),
    ("(mod -7.5 2)", -1.5),
    ("(< 1/3 0.5)", True),
    ("(< 1 (NaN))", False),
    ("(< 1.0 (NaN))", False),
    ("(<= 2 2)", True),
    ("(> 3 2.5)", True),
    ("(>= 1/2 1/3)", True),
    ("(= 1 1.0)", True),
    ("(= 1/2 0.5)", True),
    ("(not= 1 2)", True),
    ("(= [1 2] (concat [1] [2]))", True),
    ("2/4", Fraction(1, 2)),
    ("0x1F", 31),
    ("2r1010", 10),
    # natives: + - * /
    ("(+)", 0),
    ("(*)", 1),
    ("(-)", 0),
    ("(+ 5)", 5),
    ("(* 5)", 5),
    (native("+", "1", "2"), 3),
    (native("+", "1", "2.0"), 3.0),
    (native("+", "1/2", "1/2"), 1),
    (native("+", "1/3", "1/6"), Fraction(1, 2)),
    (native("*", "2/3", "3/2"), 1),
    (native("-", f"{MIN_INT}"), MIN_INT),
    (native("-", "1/2"), Fraction(-1, 2)),
    (native("-", "10", "1", "2"), 7),
    (native("/", "6", "3"), 2),
    (native("/", "1", "3"), Fraction(1, 3)),
    (native("/", "-1", "-3"), Fraction(1, 3)),
    (native("/", "1", "-3"), Fraction(-1, 3)),
    ("(/ 0.0)", math.inf),
    ("(/ 2)", Fraction(1, 2)),
    ("(/ 4)", Fraction(1, 4)),
    # natives: comparison chains
    ("(< 1 2 3)", True),
    ("(< 1 3 2)", False),
    ("(< 1)", True),
    ("(<)", True),
    ("(< 2 1 :a)", False),
    ("(>= 3 3 1)", True),
    (native("=", "1", "1.0"), True),
    ("(=)", True),
    ("(= :a :a :b)", False),
    ("(= 1 1 1)", True),
    # integer division
    ("(quot -7 2)", -3),
    (native("rem", "-7", "2"), -1),
    (native("mod", "-7", "2"), 1),
    (native("mod", "7", "-2"), -1),
    (native("mod", "-7", "3"), 2),
    (f"(quot {MIN_INT} -1)", MIN_INT),
    (native("mod", f"{MIN_INT}", "-1"), 0),
    ("(gcd -12 18)", 6),
    ("(gcd 0 0)", 0),
    ("(lcm 4 6)", 12),
    ("(lcm 0 5)", 0),
    # floating point
    ("(floor 2.7)", 2.0),
    ("(ceil 1/2)", 1.0),
    ("(round 2.5)", 3.0),
    ("(round -2.5)", -3.0),
    ("(round -0.5)", -1.0),
    ("(sqrt 4)", 2.0),
    ("(log 0)", -math.inf),
    ("(atan2 1 0)", math.pi / 2),
    ("(pow 2 10)", 1024.0),
    ("(hypot 3 4)", 5.0),
    ("(exp 0)", 1.0),
    ("(log10 100)", 2.0),
    ("(log2 8)", 3.0),
    ("(asinh 0)", 0.0),
    ("(atanh 0)", 0.0),
    ("(acosh 1)", 0.0),
    ("(signum 5)", 1),
    ("(signum -3)", -1),
    ("(signum 0.0)", 1.0),
    ("(signum -0.0)", -1.0),
    ("(numerator 3/4)", 3),
    ("(denominator 3/4)", 4),
    ("(numerator 5)", 5),
    ("(denominator 5)", 1),
    ("(even? -2)", True),
    ("(odd? 3)", True),
    ("(even? 3 :ignored)", False),
    # bits
    ("(bit-and 12 10)", 8),
    ("(bit-or 12 10)", 14),
    ("(bit-xor 12 10)", 6),
    ("(bit-not 0)", -1),
    ("(bit-shift-left 1 64)", 1),
    ("(bit-shift-left 1 -1)", MIN_INT),
    ("(bit-shift-right -8 1)", -4),
    # constants
    ("(pi)", math.pi),
    ("(e)", math.e),
    ("(Infinity 1 2)", math.inf),
    ("(-Infinity)", -math.inf),
]


@pytest.mark.parametrize("src,expected", VALUES)
def test_value(engine, src, expected):
    result = engine.eval(src)
    assert result == expected
    assert type(result) is type(expected)


@pytest.mark.parametrize("src", ["(NaN)", "(sqrt -1)", "(acosh 0.5)", "(signum (NaN))"])
def test_nan(engine, src):
    assert math.isnan(engine.eval(src))


def test_float_sign_is_kept(engine):
    assert math.copysign(1.0, engine.eval("(- 0.0)")) == -1.0
    assert math.copysign(1.0, engine.eval(native("-", "0.0"))) == -1.0
    assert engine.eval("[0.0 -0.0]") == [0.0, -0.0]
    assert [math.copysign(1.0, x) for x in engine.eval("[0.0 -0.0]")] == [1.0, -1.0]


ERRORS = [
    ("(/)", "Wrong number of arguments: expected 1, got 0"),
    (native("/", "1", "0"), "Division by zero"),
    (native("/", "1.0", "0"), "Division by zero"),
    (native("/", "1", "0.0"), "Division by zero"),
    ("(/ 0)", "Division by zero"),
    (native("+", f"{MAX_INT}", "1"), "Type error: ratio overflow"),
    (native("*", "4294967296", "4294967296"), "Type error: ratio overflow"),
    (native("+", "1", '"s"'), "Type error: + requires numbers"),
    (native("+", "1.0", '"s"'), "Type error: + requires numbers"),
    (native("-", ":a"), "Type error: - requires numbers"),
    (native("*", "nil", "2"), "Type error: * requires numbers"),
    (native("/", "1", ":a"), "Type error: / requires numbers"),
    (native("<", "1", "(NaN)"), "Type error: invalid float"),
    (native("<", "1", ":a"), "Type error: comparison requires numbers"),
    ("(< 1 2 :a)", "Type error: comparison requires numbers"),
    (native("mod", "1", "0"), "Value error: division by zero"),
    ("(quot 1 0)", "Value error: division by zero"),
    ("(quot 1.0 2)", "Type error: quot requires integers"),
    (native("rem", "1", "2.0"), "Type error: rem requires integers"),
    (native("mod", "1/2", "2"), "Type error: mod requires integers"),
    ("(gcd 1 :a)", "Type error: gcd requires integers"),
    ("(lcm 1.0 2)", "Type error: lcm requires integers"),
    ("(quot 1 2 3)", "Wrong number of arguments: expected 2, got 3"),
    ("(sqrt)", "Wrong number of arguments: expected 1, got 0"),
    ("(pow 2)", "Wrong number of arguments: expected 2, got 1"),
    ('(floor "s")', "Type error: floor requires a number"),
    ("(log10 :a)", "Type error: log10 requires a number"),
    ("(acosh nil)", "Type error: acosh requires a number"),
    ('(pow 2 "x")', "Type error: pow requires numbers"),
    ("(atan2 :a 1)", "Type error: atan2 requires numbers"),
    ("(hypot 1 nil)", "Type error: hypot requires numbers"),
    ("(signum 1/2)", "Type error: signum requires a number"),
    ("(numerator 1.5)", "Type error: numerator requires a ratio or integer"),
    ("(denominator :a)", "Type error: denominator requires a ratio or integer"),
    ("(even?)", "Type error: even? requires an integer"),
    ("(odd? 1.0)", "Type error: odd? requires an integer"),
    ("(bit-and 1 1.0)", "Type error: bit-and requires integers"),
    ("(bit-not :a)", "Type error: bit-not requires an integer"),
    ("(bit-shift-right 1 nil)", "Type error: bit-shift-right requires integers"),
]


@pytest.mark.parametrize("src,message", ERRORS)
def test_error(engine, src, message):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(src)
    assert info.value.args == (message,)
