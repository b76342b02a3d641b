"""Increments the integers below n (the first argument), keeps the even ones
and sums them, through persistent vectors."""

import operator
import sys
from functools import reduce

from pyrsistent import pvector


def inc(x):
    return x + 1


def even(x):
    return x % 2 == 0


def run(n):
    return reduce(operator.add, pvector(filter(even, pvector(map(inc, pvector(range(n)))))), 0)


print(run(int(sys.argv[1])))
