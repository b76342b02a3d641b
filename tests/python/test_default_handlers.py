"""The console and random handlers a default engine installs."""

import subprocess
import sys

import pytest

import quorvel

PRINTED = [
    ('(console/print "a")', "a"),
    ("(console/print :k)", ":k"),
    ('(console/print ["a" "b"])', '["a" "b"]'),
    ('(console/print "say \\"hi\\"")', 'say \\"hi\\"'),
    ('(console/print "back\\\\slash")', "back\\\\slash"),
    ('(console/print "line\\nbreak")', "line\nbreak"),
    ('(console/print "")', ""),
    ('(console/print "\\"")', '\\"'),
    ("(console/print nil)", "nil"),
    ('(console/println "a")', "a\n"),
    ("(console/println)", "\n"),
    ("(console/print)", ""),
    ("(console/unknown 1)", ""),
]


@pytest.mark.parametrize("src,output", PRINTED)
def test_console_writes_to_stdout(engine, capfd, src, output):
    assert engine.eval(src) is None
    assert capfd.readouterr().out == output


def test_console_read_line():
    program = (
        "import quorvel; e = quorvel.Engine();"
        "print([e.eval('(console/read-line)') for _ in range(3)])"
    )
    done = subprocess.run(
        [sys.executable, "-c", program], input="first\r\nsecond\n", capture_output=True, text=True
    )
    assert done.stdout.strip() == "['first', 'second', '']"


def test_random_draws_in_range(engine):
    ints = engine.eval(
        "(loop [i 0 acc []]"
        "  (if (< i 300) (recur (+ i 1) (concat acc [(random/rand-int 10)])) acc))"
    )
    assert set(ints) == set(range(10))
    floats = engine.eval("[(random/rand) (random/rand) (random/rand)]")
    assert all(0.0 <= x < 1.0 for x in floats)
    assert engine.eval("(random/other)") is None


@pytest.mark.parametrize(
    "src,message",
    [
        ("(random/rand-int 1.5)", "Type error: rand-int expects an integer argument"),
        ("(random/rand-int)", "Type error: rand-int expects an integer argument"),
        ("(random/rand-int 0)", "Value error: rand-int expects a positive integer"),
        ("(random/rand-int -3)", "Value error: rand-int expects a positive integer"),
    ],
)
def test_random_errors(engine, src, message):
    with pytest.raises(quorvel.EvalError) as info:
        engine.eval(src)
    assert info.value.args == (message,)


def test_bare_engine_has_no_handlers(bare):
    with pytest.raises(quorvel.EvalError, match="^Unhandled effect: console$"):
        bare.eval('(console/println "x")')
    with pytest.raises(quorvel.EvalError, match="^Unhandled effect: random$"):
        bare.eval("(random/rand)")
