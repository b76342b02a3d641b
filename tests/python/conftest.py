"""Shared fixtures: a default engine (prelude loaded) and a bare one."""

import pytest

import quorvel


@pytest.fixture
def engine():
    return quorvel.Engine()


@pytest.fixture
def bare():
    return quorvel.Engine.bare()


def kw(name):
    return quorvel.Keyword(name)
