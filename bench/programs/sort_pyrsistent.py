"""Sorts n (the first argument) pseudo-random integers from a linear
congruential generator, in persistent vectors."""

import sys

from pyrsistent import pvector


def run(n):
    v = pvector()
    i, x = 0, 1
    while i < n:
        v = v.append(x)
        x = (x * 1103515245 + 12345) % 2147483648
        i += 1
    s = pvector(sorted(v))
    return s[0] + s[n // 2] + s[-1]


print(run(int(sys.argv[1])))
