"""Quorvel: an embeddable Lisp with persistent data, algebraic effects and optics."""

from .quorvel import *  # noqa: F401,F403
from .quorvel import __version__  # noqa: F401
