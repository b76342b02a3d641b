"""Concatenates the integers below n (the first argument), and joins them
with commas, from a persistent vector."""

import sys

from pyrsistent import pvector


def run(n):
    v = pvector(range(n))
    return len("".join(map(str, v))) + len(",".join(map(str, v)))


print(run(int(sys.argv[1])))
