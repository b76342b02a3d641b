"""The sum of the integers from 1 to the number given as the first argument."""

import sys


def total(n):
    i, acc = 1, 0
    while i <= n:
        acc += i
        i += 1
    return acc


print(total(int(sys.argv[1])))
