"""Builds a dict of n integer keys (n the first argument), then looks every
key up."""

import sys


def run(n):
    m = {}
    i = 0
    while i < n:
        m[i] = i
        i += 1
    i, acc = 0, 0
    while i < n:
        acc += m[i]
        i += 1
    return acc


print(run(int(sys.argv[1])))
