"""Quorvel: an embeddable Lisp with persistent data, algebraic effects and optics."""

from .quorvel import (
    CompileError,
    EffectNotFoundError,
    Engine,
    EvalError,
    HandlerError,
    Keyword,
    QuorvelError,
    __version__,
    parse_edn,
)

__all__ = [
    "Engine",
    "Keyword",
    "parse_edn",
    "QuorvelError",
    "EvalError",
    "CompileError",
    "HandlerError",
    "EffectNotFoundError",
]
