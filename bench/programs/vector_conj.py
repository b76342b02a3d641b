"""Appends n integers (n the first argument) to a list."""

import sys


def run(n):
    v = []
    i = 0
    while i < n:
        v.append(i)
        i += 1
    return len(v) + v[n // 2]


print(run(int(sys.argv[1])))
