"""Appends n integers (n the first argument) to a persistent vector."""

import sys

from pyrsistent import pvector


def run(n):
    v = pvector()
    i = 0
    while i < n:
        v = v.append(i)
        i += 1
    return len(v) + v[n // 2]


print(run(int(sys.argv[1])))
