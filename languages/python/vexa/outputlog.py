"""What a failed submission left in the engine's output log.

The engine appends each output entry to its log as one line ("command: ",
"output: ", ...) with line ends, tabs, zero bytes and backslashes escaped.
A language posts a failed block's report there: the traceback of a Python
block, the "Error..." lines of an R block. `block_report` finds, among the entries
written since a submission began, that
report, so the exception can carry the block's own words.
"""
from __future__ import annotations

import os
import re
from typing import List, Optional, Tuple

__all__ = ["LogMark", "read_entries", "block_language", "block_report"]

_UNESCAPE = {"n": "\n", "r": "\r", "t": "\t", "0": "\0", "\\": "\\"}
_BLOCK = re.compile(rb"^\s*BEGIN\s+PROGRAM(?:\s+([A-Za-z0-9_]+))?", re.IGNORECASE | re.MULTILINE)


def _unescape(text: str) -> str:
    return re.sub(r"\\(.)", lambda m: _UNESCAPE.get(m.group(1), m.group(0)), text)


class LogMark:
    """A position in the log file (its size when the mark was made)."""

    def __init__(self, path: Optional[str]) -> None:
        self.path = path
        try:
            self.offset = os.path.getsize(path) if path else 0
        except OSError:
            self.offset = 0

    def entries(self) -> List[Tuple[str, str]]:
        return read_entries(self.path, self.offset) if self.path else []


def read_entries(path: str, offset: int = 0) -> List[Tuple[str, str]]:
    """(kind, text) of every entry from `offset` on; [] when unreadable."""
    try:
        with open(path, "rb") as log:
            log.seek(offset)
            raw = log.read()
    except OSError:
        return []
    entries = []
    for line in raw.decode("utf-8", errors="replace").split("\n"):
        kind, separator, text = line.partition(": ")
        if separator:
            entries.append((kind, _unescape(text)))
    return entries


def block_language(commands: bytes) -> Optional[str]:
    """The language of the last program block in the text, or None."""
    found = _BLOCK.findall(commands)
    if not found:
        return None
    return (found[-1] or b"").decode("ascii", errors="replace").upper() or "PYTHON"


def _r_message(text: str) -> str:
    # "Error: message" or "Error in call : message", possibly over lines.
    body = text.split("\n", 1)
    first = re.sub(r"^Error(?: in .*?)?\s*:\s*", "", body[0])
    rest = body[1].strip() if len(body) > 1 else ""
    return (first + (" " + rest if rest else "")).strip() if first else rest


def block_report(language: str, entries: List[Tuple[str, str]]) -> Tuple[str, str]:
    """(message, whole report) of the block's failure among the entries;
    ("", "") when the language reported none."""
    outputs = [text for kind, text in entries if kind == "output"]
    if language == "PYTHON":
        for text in reversed(outputs):
            if text.startswith("Traceback (most recent call last):"):
                lines = [line for line in text.rstrip("\n").split("\n") if line.strip()]
                return lines[-1], text
    elif language == "R":
        lines = [line for text in outputs for line in text.split("\n")]
        for at in range(len(lines) - 1, -1, -1):
            if lines[at].startswith("Error"):
                report = "\n".join(lines[at:]).rstrip("\n")
                return _r_message(report), report
    return "", ""
