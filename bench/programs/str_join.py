"""Concatenates the integers below n (the first argument), and joins them
with commas."""

import sys


def run(n):
    return len("".join(map(str, range(n)))) + len(",".join(map(str, range(n))))


print(run(int(sys.argv[1])))
