"""Completion and inspection for the notebook kernel: command names where a
command starts, variable names and keywords elsewhere, and a variable's
dictionary entry for `?NAME`."""
from __future__ import annotations

import re
from typing import List, Optional, Tuple

from . import dictionary

__all__ = ["COMMANDS", "KEYWORDS", "word_at", "complete", "describe_variable", "inspected_name",
           "syntax_status"]

# The commands the reference engine understands, as a user types them.
COMMANDS = (
    "BEGIN PROGRAM PYTHON.", "BEGIN PROGRAM R.", "CACHE.", "CROSSCOUNT", "DERIVE", "DESCRIBE",
    "END PROGRAM.", "EXECUTE.", "FILE HANDLE", "GET DATA", "KEEP CASES IF", "SAVE", "SET",
    "SHOW CASES", "TALLY",
)
KEYWORDS = ("VARIABLES=", "BY", "ALL", "/TYPE=CSV", "/FILE=", "WIDTH=", "OLANG=", "LOCALE=",
            "UNICODE=")

_WORD = re.compile(r"[A-Za-z_$#@][\w.$#@]*$|$")
_INSPECT = re.compile(r"^\s*\?\s*(\S+)\s*$|^\s*(\S+)\s*\?\s*$")


def word_at(code: str, cursor: int) -> Tuple[int, str]:
    """Where the word that ends at `cursor` starts, and the word."""
    before = code[:cursor]
    match = _WORD.search(before)
    word = match.group(0) if match else ""
    # A full stop ends a command: it is no part of the word before it.
    if word.endswith("."):
        return cursor, ""
    return cursor - len(word), word


def _starts_command(text_before: str) -> bool:
    """Whether a command begins where `text_before` ends: at the start of
    the cell, after a full stop at the end of a line or after a blank line."""
    stripped = text_before.rstrip(" \t")
    if not stripped.strip():
        return True
    if not stripped.endswith("\n"):
        return False
    previous = stripped.rstrip("\n").rstrip()
    return not previous or previous.endswith(".") or stripped.endswith("\n\n")


def complete(code: str, cursor: int, names: List[str]) -> Tuple[int, int, List[str]]:
    """(start, end, matches) for the word at `cursor`; commands where a
    command starts, otherwise variable names, then keywords."""
    start, word = word_at(code, cursor)
    lowered = word.lower()
    if _starts_command(code[:start]):
        candidates = list(COMMANDS)
    else:
        candidates = list(names) + list(KEYWORDS)
    matches = [c for c in candidates if c.lower().startswith(lowered)]
    return start, cursor, matches


_BEGIN = re.compile(r"^\s*BEGIN\s+PROGRAM\b", re.I | re.M)
_END = re.compile(r"^\s*END\s+PROGRAM\s*\.\s*$", re.I | re.M)


def syntax_status(code: str) -> str:
    """"complete" when the engine would run all of `code` now: no program
    block is left open and the last command ends (a full stop closing its
    line, or a blank line); else "incomplete", so a console asks for more."""
    if len(_BEGIN.findall(code)) > len(_END.findall(code)):
        return "incomplete"
    if not code.strip() or code.endswith("\n\n") or code.rstrip().endswith("."):
        return "complete"
    return "incomplete"


def inspected_name(code: str) -> Optional[str]:
    """The NAME of a cell that is `?NAME` or `NAME?`, else None."""
    match = _INSPECT.match(code)
    if not match:
        return None
    return match.group(1) or match.group(2)


def describe_variable(name: str) -> Optional[str]:
    """The dictionary entry of the variable `name` (any case) as text, or
    None when the active dataset has no such variable."""
    lowered = name.lower()
    for known in dictionary.variable_names():
        if known.lower() == lowered:
            return _entry_text(dictionary.variable(known))
    return None


def _value_text(value: object) -> str:
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value)


def _entry_text(variable: dictionary.Variable) -> str:
    lines = [
        f"{variable.name}  (position {variable.index})",
        f"  label:   {variable.label or '(none)'}",
        f"  type:    {'string, width ' + str(variable.width) if variable.is_string else 'numeric'}",
        f"  format:  {variable.format}",
        f"  level:   {variable.level_name}",
        f"  role:    {variable.role_name}",
    ]
    missing = variable.missing_values
    if not missing.is_empty:
        parts = [_value_text(v) for v in missing.values]
        if missing.is_range:
            parts.insert(0, f"{_value_text(missing.low)} thru {_value_text(missing.high)}")
        lines.append(f"  missing: {', '.join(parts)}")
    if variable.value_labels:
        lines.append("  values:")
        lines.extend(f"    {_value_text(value)} = {label}" for value, label in variable.value_labels.items())
    for attribute, values in variable.attributes.items():
        lines.append(f"  attribute {attribute}: {'; '.join(values)}")
    return "\n".join(lines)
