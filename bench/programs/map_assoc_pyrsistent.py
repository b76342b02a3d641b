"""Builds a persistent map of n integer keys (n the first argument) one set
at a time, then looks every key up."""

import sys

from pyrsistent import pmap


def run(n):
    m = pmap()
    i = 0
    while i < n:
        m = m.set(i, i)
        i += 1
    i, acc = 0, 0
    while i < n:
        acc += m[i]
        i += 1
    return acc


print(run(int(sys.argv[1])))
