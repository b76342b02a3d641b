"""Increments the integers below n (the first argument), keeps the even ones
and sums them, through lists."""

import operator
import sys
from functools import reduce


def inc(x):
    return x + 1


def even(x):
    return x % 2 == 0


def run(n):
    return reduce(operator.add, list(filter(even, list(map(inc, list(range(n)))))), 0)


print(run(int(sys.argv[1])))
