"""print, println and prn write straight to standard output; nano-time reads
the wall clock."""

import os
import subprocess
import sys
import time

import pytest

from pending import eval_or_skip

OUTPUT = [
    ('(print "a" 1 :k)', "a 1 :k"),
    ('(println "a" 1 :k)', "a 1 :k\n"),
    ('(prn "a" 1 :k)', '"a" 1 :k\n'),
    ('(print "x") (print "y")', "xy"),
    ('(println "a\\nb")', "a\nb\n"),
    ('(prn "q\\"")', '"q\\""\n'),
    ("(prn [1 \"a\"] nil)", '[1 "a"] nil\n'),
    ("(print 1/2 1.5)", "1/2 1.5"),
    ("(print)", ""),
    ("(println)", "\n"),
    ("(prn)", "\n"),
]


@pytest.mark.parametrize("src,text", OUTPUT)
def test_output(bare, capfd, src, text):
    assert bare.eval(src) is None
    assert capfd.readouterr().out == text


def test_output_keeps_its_place_among_the_hosts(engine, capfd):
    print("before", flush=True)
    engine.eval('(println "inside")')
    print("after", flush=True)
    assert capfd.readouterr().out == "before\ninside\nafter\n"


def test_output_follows_what_the_host_printed_without_flushing():
    # A pipe makes sys.stdout block-buffered: the host's text is still in
    # Python's buffer when the language writes.
    script = (
        "import quorvel\n"
        "e = quorvel.Engine()\n"
        "print('before')\n"
        "e.eval('(println \"inside\")')\n"
        "print('after')\n"
    )
    env = {k: v for k, v in os.environ.items() if k != "PYTHONUNBUFFERED"}
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=env)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "before\ninside\nafter\n"


def test_console_natives_do_not_perform_the_console_effect(engine, capfd):
    src = '(with-handler [console] (println "direct") :handle (println [x k] (k :handled)))'
    assert eval_or_skip(engine, src) is None
    assert capfd.readouterr().out == "direct\n"


def test_nano_time_is_nanoseconds_since_the_epoch(bare):
    before = time.time_ns()
    first, second = bare.eval("[(nano-time) (nano-time :ignored)]")
    after = time.time_ns()
    assert isinstance(first, int)
    assert before <= first <= second <= after
