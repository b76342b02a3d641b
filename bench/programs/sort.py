"""Sorts n (the first argument) pseudo-random integers from a linear
congruential generator, in a list."""

import sys


def run(n):
    v = []
    i, x = 0, 1
    while i < n:
        v.append(x)
        x = (x * 1103515245 + 12345) % 2147483648
        i += 1
    s = sorted(v)
    return s[0] + s[n // 2] + s[-1]


print(run(int(sys.argv[1])))
