"""Runs the benchmark programs in Quorvel, CPython, CPython with pyrsistent
and Lua side by side.

Each program runs once per language in a fresh process; the wall time of the
process is measured, the printed results are checked to agree, and the times
are shown with the ratios quorvel/cpython, quorvel/pyrsistent and quorvel/lua.
A program <name>_pyrsistent.py, where there is one, is the CPython program
with pyrsistent's persistent collections in place of dict and list.

    python bench/run.py           # full sizes: every run takes well over 0.2 s
    python bench/run.py --quick   # small sizes, for a quick check
"""

import argparse
import pathlib
import shutil
import subprocess
import sys
import time

PROGRAMS = pathlib.Path(__file__).resolve().parent / "programs"
LUA = "lua5.4"

# name, full size, quick size
BENCHMARKS = [
    ("fib", 32, 20),
    ("sum", 100_000_000, 100_000),
    ("map_assoc", 1_000_000, 10_000),
    ("vector_conj", 5_000_000, 50_000),
    ("map_filter_reduce", 5_000_000, 50_000),
    ("sort", 2_000_000, 20_000),
    ("str_join", 1_000_000, 10_000),
]


def run_quorvel(program: str, n: int) -> None:
    """Evaluates a Quorvel program with the prelude loaded and the global n
    bound; prints its value."""
    import quorvel

    engine = quorvel.Engine()
    engine.define("n", n)
    print(engine.eval((PROGRAMS / program).read_text()))


def timed(command: list) -> tuple:
    start = time.perf_counter()
    done = subprocess.run(command, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{done.stderr}")
    return elapsed, done.stdout.strip()


def commands(name: str, n: int) -> dict:
    found = {
        "quorvel": [sys.executable, __file__, "--run-quorvel", f"{name}.qv", str(n)],
        "cpython": [sys.executable, str(PROGRAMS / f"{name}.py"), str(n)],
        "pyrsistent": [sys.executable, str(PROGRAMS / f"{name}_pyrsistent.py"), str(n)],
        "lua": [LUA, str(PROGRAMS / f"{name}.lua"), str(n)],
    }
    if not (PROGRAMS / f"{name}_pyrsistent.py").exists():
        del found["pyrsistent"]
    return found


def seconds(t) -> str:
    return "-".rjust(10) if t is None else f"{t:>9.3f}s"


def ratio(q: float, t, width: int) -> str:
    return ("-" if t is None else f"{q / t:.2f}").rjust(width)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="small sizes")
    parser.add_argument("--run-quorvel", nargs=2, metavar=("PROGRAM", "N"), help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.run_quorvel:
        run_quorvel(args.run_quorvel[0], int(args.run_quorvel[1]))
        return
    if shutil.which(LUA) is None:
        sys.exit(f"{LUA} not found (make deps installs it)")

    header = f"{'benchmark':<18}{'size':>12}{'quorvel':>10}{'cpython':>10}{'pyrsist':>10}"
    print(header + f"{'lua':>10}{'q/cpython':>11}{'q/pyrsist':>11}{'q/lua':>8}", flush=True)
    for name, full, quick in BENCHMARKS:
        n = quick if args.quick else full
        times, outputs = {}, {}
        for language, command in commands(name, n).items():
            times[language], outputs[language] = timed(command)
        if len(set(outputs.values())) != 1:
            sys.exit(f"{name}: results differ: {outputs}")
        q, c, p, lua = (times.get(k) for k in ("quorvel", "cpython", "pyrsistent", "lua"))
        print(
            f"{name:<18}{n:>12,}{seconds(q)}{seconds(c)}{seconds(p)}{seconds(lua)}"
            f"{ratio(q, c, 11)}{ratio(q, p, 11)}{ratio(q, lua, 8)}",
            flush=True,
        )


if __name__ == "__main__":
    main()
