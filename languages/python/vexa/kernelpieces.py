"""The pieces of the engine's HTML output page, as the notebook kernel shows
them.

The engine renders its whole output, every time it saves, as one page in
which each piece (a procedure's heading, a table, a text block, printed
lines, a command, an error ...) follows a comment naming its kind:
`<!--piece table-->`. The page only grows by pieces, so the pieces a cell
added are those past the count seen before it. The kernel shows the engine's
own rendering; this module only cuts the page and derives a plain-text form.
"""
from __future__ import annotations

import re
from dataclasses import dataclass
from html.parser import HTMLParser
from typing import Dict, List, Optional, Tuple

__all__ = ["Piece", "read_pieces", "page_style", "plain_text"]

_MARK = re.compile(r"<!--piece (\w+)-->\n")
_END = "<!--end-->"
_SECTION = re.compile(r"</?section[^>]*>\n?")
_STYLE = re.compile(r"<style>(.*?)</style>", re.S)


@dataclass(frozen=True)
class Piece:
    kind: str
    html: str


def _pieces_of(page: str) -> List[Piece]:
    body = page.split(_END, 1)[0]
    parts = _MARK.split(body)
    # parts: text before the first mark, then kind, html, kind, html ...
    return [Piece(parts[i], _SECTION.sub("", parts[i + 1]))
            for i in range(1, len(parts) - 1, 2)]


def read_pieces(path: str) -> Tuple[List[Piece], str]:
    """The page's pieces and its style sheet; none when there is no page
    yet. The engine replaces the page whole, so a read never sees half."""
    try:
        with open(path, encoding="utf-8", errors="replace") as file:
            page = file.read()
    except FileNotFoundError:
        return [], ""
    return _pieces_of(page), page_style(page)


def page_style(page: str) -> str:
    found = _STYLE.search(page)
    return found.group(1) if found else ""


class _TextForm(HTMLParser):
    """Lines of a piece's text: paragraphs and headings as lines, tables as
    grids of padded columns (a cell spanning rows or columns fills them all
    with its text once, the rest blank), footnote letters as [a]."""

    _BLOCKS = {"p", "div", "h2", "h3", "pre", "figcaption"}

    def __init__(self) -> None:
        super().__init__(convert_charrefs=True)
        self.lines: List[str] = []
        self._text: Optional[List[str]] = None
        self._grid: Optional[Dict[Tuple[int, int], str]] = None
        self._row = -1
        self._spans: Tuple[int, int] = (1, 1)
        self._in_sup = False
        self._in_pre = False

    def handle_starttag(self, tag: str, attrs: List[Tuple[str, Optional[str]]]) -> None:
        values = dict(attrs)
        if tag == "table":
            self._flush()
            self._grid, self._row = {}, -1
        elif tag == "tr" and self._grid is not None:
            self._row += 1
        elif tag == "caption" and self._grid is not None:
            self._text = []
        elif tag in ("th", "td") and self._grid is not None:
            self._spans = (int(values.get("rowspan") or 1), int(values.get("colspan") or 1))
            self._text = []
        elif tag == "sup":
            self._in_sup = True
        elif tag in self._BLOCKS:
            self._flush()
            self._in_pre = tag == "pre"
            self._text = []

    def handle_endtag(self, tag: str) -> None:
        if tag == "sup":
            self._in_sup = False
        elif tag == "caption" and self._grid is not None and self._text is not None:
            self.lines.append("".join(self._text).strip())
            self._text = None
        elif tag in ("th", "td") and self._grid is not None and self._text is not None:
            self._place("".join(self._text).strip())
            self._text = None
        elif tag == "table" and self._grid is not None:
            self.lines.extend(_grid_lines(self._grid))
            self._grid = None
        elif tag in self._BLOCKS and self._grid is None:
            self._flush()

    def handle_data(self, data: str) -> None:
        if self._text is None:
            return
        if self._in_sup:
            data = f"[{data}]"
        elif not self._in_pre:
            data = " ".join(data.split())
        self._text.append(data)

    def _place(self, text: str) -> None:
        assert self._grid is not None
        column = 0
        while (self._row, column) in self._grid:
            column += 1
        rows, columns = self._spans
        for r in range(rows):
            for c in range(columns):
                self._grid[(self._row + r, column + c)] = text if r == 0 and c == 0 else ""

    def _flush(self) -> None:
        if self._text is not None and self._grid is None:
            text = "".join(self._text)
            if self._in_pre:
                self.lines.extend(text.split("\n"))
            elif text.strip():
                self.lines.append(text.strip())
        self._text = None
        self._in_pre = False


def _grid_lines(grid: Dict[Tuple[int, int], str]) -> List[str]:
    if not grid:
        return []
    rows = 1 + max(r for r, _ in grid)
    columns = 1 + max(c for _, c in grid)
    widths = [max(len(grid.get((r, c), "")) for r in range(rows)) for c in range(columns)]
    return ["  ".join(grid.get((r, c), "").ljust(widths[c]) for c in range(columns)).rstrip()
            for r in range(rows)]


def plain_text(fragment: str) -> str:
    """The plain-text form of a piece of the page."""
    form = _TextForm()
    form.feed(fragment)
    form.close()
    form._flush()
    lines = form.lines
    while lines and not lines[-1].strip():
        lines.pop()
    while lines and not lines[0].strip():
        lines.pop(0)
    return "\n".join(lines)
