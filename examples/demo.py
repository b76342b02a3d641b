"""Evaluates examples/tour.qv form by form and prints each form's result."""

import pathlib

import quorvel

TOUR = pathlib.Path(__file__).resolve().parent / "tour.qv"
CLOSERS = {"(": ")", "[": "]", "{": "}"}


def top_level_forms(text: str):
    """Splits source text into its top-level forms (comments skipped)."""
    forms, depth, start, i = [], 0, None, 0
    while i < len(text):
        c = text[i]
        if c == ";":
            i = text.find("\n", i)
            if i < 0:
                break
        elif c == '"':
            if start is None:
                start = i
            i += 1
            while i < len(text) and text[i] != '"':
                i += 2 if text[i] == "\\" else 1
        elif c in CLOSERS or c in CLOSERS.values():
            if start is None:
                start = i
            depth += 1 if c in CLOSERS else -1
        elif not c.isspace() and start is None:
            start = i
        i += 1
        at_end = i >= len(text) or text[i].isspace() or text[i] in ";"
        if start is not None and depth == 0 and at_end:
            forms.append(text[start:i])
            start = None
    return forms


def show(value) -> str:
    if isinstance(value, quorvel.Keyword):
        return f":{value}"
    if isinstance(value, list):
        return "[" + " ".join(show(v) for v in value) + "]"
    if isinstance(value, frozenset):
        return "#{" + " ".join(show(v) for v in value) + "}"
    if isinstance(value, dict):
        return "{" + ", ".join(f"{show(k)} {show(v)}" for k, v in value.items()) + "}"
    if isinstance(value, str):
        return f'"{value}"'
    if value is None:
        return "nil"
    if isinstance(value, bool):
        return "true" if value else "false"
    return str(value)


def main() -> None:
    engine = quorvel.Engine()
    for form in top_level_forms(TOUR.read_text()):
        print(form)
        print("  =>", show(engine.eval(form)))


if __name__ == "__main__":
    main()
