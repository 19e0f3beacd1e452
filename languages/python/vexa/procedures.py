"""Procedures and the output they make: pivot tables and text blocks.

    with Procedure("Flower summary", "flowers") as procedure:
        table = procedure.pivot_table("Summary", "Means", "Means Table")
        rows = table.dimension("Species", "row")
        columns = table.dimension("Statistics", "column")
        table.set_cell({rows: "setosa", columns: "Mean"}, 5.006, format="general")

Each library call of a table repeats the table's key (outline, title,
subtype, flag) and, for dimension, category and cell calls, a dimension's key
(name, place, position, hide flags); the objects here keep the keys so the
caller does not.
"""
from __future__ import annotations

from dataclasses import dataclass
from types import TracebackType
from typing import Dict, List, Mapping, Optional, Tuple, Type, Union

from . import _native
from .errors import check

__all__ = [
    "Procedure",
    "PivotTable",
    "Dimension",
    "VariableName",
    "VariableValue",
    "Date",
    "FORMATS",
    "VARIABLE_FORMATS",
    "has_procedure",
    "text_block",
    "procedure_footnote",
    "split_change",
]

#: Number formats of the cells that follow, by name.
FORMATS: Dict[str, str] = {
    "coefficient": "SetFormatSpecCoefficient",
    "coefficient_se": "SetFormatSpecCoefficientSE",
    "coefficient_var": "SetFormatSpecCoefficientVar",
    "correlation": "SetFormatSpecCorrelation",
    "general": "SetFormatSpecGeneralStat",
    "count": "SetFormatSpecCount",
    "percent": "SetFormatSpecPercent",
    "percent_no_sign": "SetFormatSpecPercentNoSign",
    "proportion": "SetFormatSpecProportion",
    "significance": "SetFormatSpecSignificance",
    "residual": "SetFormatSpecResidual",
}
#: Formats that take their decimals from a variable's position.
VARIABLE_FORMATS: Dict[str, str] = {
    "mean": "SetFormatSpecMean",
    "variable": "SetFormatSpecVariable",
    "stddev": "SetFormatSpecStdDev",
    "difference": "SetFormatSpecDifference",
    "sum": "SetFormatSpecSum",
}

_PLACES = {"row": 0, "column": 1, "layer": 2}


@dataclass(frozen=True)
class VariableName:
    """A category or cell showing the variable at `position` (its label, else its name)."""

    position: int


@dataclass(frozen=True)
class VariableValue:
    """A category or cell showing `value` of the variable at `position`
    (the value's label, else the value in the variable's format)."""

    position: int
    value: Union[float, str]


@dataclass(frozen=True)
class Date:
    """A cell showing a date text."""

    text: str


Category = Union[str, float, int, VariableName, VariableValue]
CellValue = Union[str, float, int, VariableName, VariableValue, Date]


def _check_position(position: object) -> int:
    if isinstance(position, bool) or not isinstance(position, int):
        raise TypeError(f"a variable position must be an int, not {type(position).__name__}")
    if position < 0:
        raise IndexError(f"variable position {position} is negative")
    return position


def _text(value: object, what: str) -> bytes:
    if not isinstance(value, (str, bytes)):
        raise TypeError(f"{what} must be a str, not {type(value).__name__}")
    return _native.encode(value)


def has_procedure() -> bool:
    """True while a procedure is open."""
    return _native.api().HasProcedure() == 1


def text_block(outline: str, title: str, text: str, lines_before: int = 0) -> None:
    """Adds a text block to the open procedure's output."""
    if isinstance(lines_before, bool) or not isinstance(lines_before, int) or lines_before < 0:
        raise ValueError("lines_before must be a non-negative int")
    check(_native.api().AddTextBlock(_text(outline, "outline"), _text(title, "title"),
                                         _text(text, "text"), lines_before), "AddTextBlock")


def procedure_footnote(text: str) -> None:
    """Adds a footnote to the open procedure."""
    check(_native.api().AddProcFootnotes(_text(text, "footnote")), "AddProcFootnotes")


def split_change(name: str) -> None:
    """Marks a split-group change in the open procedure's output."""
    check(_native.api().SplitChange(_text(name, "split name")), "SplitChange")


class Procedure:
    """An open procedure for the length of a `with` block.

    Its `name` heads its output; its `identifier` (the name when empty) is
    the XPath handle its document is kept under once it ends.
    """

    def __init__(self, name: str, identifier: str = "") -> None:
        self.name = name
        # An empty identifier would reach the engine as one, and the document
        # would be kept under no usable handle.
        self.identifier = identifier or name
        self._raw = (_text(name, "procedure name"), _text(self.identifier, "identifier"))
        self._open = False

    def start(self) -> None:
        if self._open:
            raise ValueError("the procedure is open already")
        check(_native.api().StartProcedure(*self._raw), "StartProcedure")
        self._open = True

    def end(self) -> None:
        if self._open:
            self._open = False
            check(_native.api().EndProcedure(), "EndProcedure")

    def __enter__(self) -> "Procedure":
        self.start()
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        if kind is None:
            self.end()
            return
        try:
            self.end()
        except Exception:
            pass  # the block's own exception is the one to see

    def pivot_table(self, outline: str, title: str, subtype: str = "",
                    flag: bool = False) -> "PivotTable":
        """Starts a pivot table in this procedure."""
        if not self._open:
            raise ValueError("the procedure is not open")
        return PivotTable(outline, title, subtype, flag)

    @staticmethod
    def text_block(outline: str, title: str, text: str, lines_before: int = 0) -> None:
        text_block(outline, title, text, lines_before)

    @staticmethod
    def footnote(text: str) -> None:
        procedure_footnote(text)


class Dimension:
    """A dimension of a pivot table; made by `PivotTable.dimension`."""

    def __init__(self, table: "PivotTable", name: str, place: int, position: int,
                 hide_name: bool, hide_labels: bool) -> None:
        self.table = table
        self.name = name
        self.place = place
        self.position = position
        self.hide_name = hide_name
        self.hide_labels = hide_labels
        self.key = (_native.encode(name), place, position, bool(hide_name), bool(hide_labels))

    def _call(self, function: str, *values: object) -> None:
        lib = _native.api()
        check(getattr(lib, function)(*self.table.key, *self.key, *values), function)

    def add_category(self, category: Category) -> None:
        """Adds a category and makes it the current one (one the dimension has
        already is selected again)."""
        if isinstance(category, bool):
            raise TypeError("a category is a str, a number, VariableName or VariableValue")
        if isinstance(category, str):
            self._call("AddStringCategory", _native.encode(category))
        elif isinstance(category, (int, float)):
            self._call("AddNumberCategory", float(category))
        elif isinstance(category, VariableName):
            self._call("AddVarNameCategory", _check_position(category.position))
        elif isinstance(category, VariableValue):
            position = _check_position(category.position)
            if isinstance(category.value, str):
                self._call("AddVarValueStringCategory", position, _native.encode(category.value))
            elif isinstance(category.value, (int, float)) and not isinstance(category.value, bool):
                self._call("AddVarValueDoubleCategory", position, float(category.value))
            else:
                raise TypeError("a variable value is a number or a str")
        else:
            raise TypeError(f"a category is a str, a number, VariableName or VariableValue, "
                            f"not {type(category).__name__}")

    def footnote(self, text: str) -> None:
        """A footnote on the dimension."""
        self._call("AddDimFootnotes", _text(text, "footnote"))

    def category_footnote(self, text: str) -> None:
        """A footnote on the dimension's current category."""
        self._call("AddCategoryFootnotes", _text(text, "footnote"))


def _format_call(format: Optional[str], format_variable: Optional[int]) -> Optional[Tuple[str, Tuple[int, ...]]]:
    if format is None:
        if format_variable is not None:
            raise ValueError("format_variable goes with a variable format")
        return None
    if not isinstance(format, str):
        raise TypeError(f"a format is a name, not {type(format).__name__}")
    key = format.lower()
    if key in FORMATS:
        if format_variable is not None:
            raise ValueError(f"format {format!r} takes no variable")
        return FORMATS[key], ()
    if key in VARIABLE_FORMATS:
        if format_variable is None:
            raise ValueError(f"format {format!r} needs format_variable")
        return VARIABLE_FORMATS[key], (_check_position(format_variable),)
    raise ValueError(f"unknown format {format!r}; one of {sorted(FORMATS) + sorted(VARIABLE_FORMATS)}")


class PivotTable:
    """A pivot table of the open procedure, started when made.

    The table key is the outline (the heading it is filed under), the title,
    the subtype (its tag) and a flag.
    """

    def __init__(self, outline: str, title: str, subtype: str = "", flag: bool = False) -> None:
        self.outline = outline
        self.title = title
        self.subtype = subtype
        self.flag = bool(flag)
        self.key = (_text(outline, "outline"), _text(title, "title"), _text(subtype, "subtype"),
                    self.flag)
        self.dimensions: List[Dimension] = []
        check(_native.api().StartPivotTable(*self.key), "StartPivotTable")

    def _call(self, function: str, *values: object) -> None:
        check(getattr(_native.api(), function)(*self.key, *values), function)

    def dimension(self, name: str, place: Union[str, int] = "row", position: Optional[int] = None,
                  hide_name: bool = False, hide_labels: bool = False) -> Dimension:
        """Adds a dimension: `place` row, column or layer; `position` its
        order within the place (the next free one by default)."""
        if isinstance(place, str):
            if place.lower() not in _PLACES:
                raise ValueError(f"place {place!r} is not row, column or layer")
            place_code = _PLACES[place.lower()]
        elif isinstance(place, int) and not isinstance(place, bool) and place in _PLACES.values():
            place_code = place
        else:
            raise ValueError(f"place {place!r} is not row, column or layer")
        if position is None:
            position = sum(1 for d in self.dimensions if d.place == place_code)
        elif isinstance(position, bool) or not isinstance(position, int) or position < 0:
            raise ValueError("a dimension position is a non-negative int")
        _text(name, "dimension name")
        dimension = Dimension(self, name, place_code, position, hide_name, hide_labels)
        self._call("AddDimension", *dimension.key)
        self.dimensions.append(dimension)
        return dimension

    def _dimension(self, which: Union[Dimension, str]) -> Dimension:
        if isinstance(which, Dimension):
            if which.table is not self:
                raise ValueError(f"dimension {which.name!r} belongs to another table")
            return which
        for dimension in self.dimensions:
            if dimension.name == which:
                return dimension
        raise KeyError(f"the table has no dimension {which!r}")

    def set_cell(self, coordinates: Mapping[Union[Dimension, str], Category], value: CellValue,
                 format: Optional[str] = None, format_variable: Optional[int] = None,
                 footnote: Optional[str] = None) -> None:
        """Sets the cell at these categories (one per dimension, by dimension
        object or name). `format` chooses the number format of a number cell
        (a name of FORMATS, or of VARIABLE_FORMATS with `format_variable`)."""
        if not coordinates:
            raise ValueError("a cell needs a category of each dimension")
        chosen = [(self._dimension(d), c) for d, c in coordinates.items()]
        format_call = _format_call(format, format_variable)
        if isinstance(value, bool):
            raise TypeError("a cell value is a number, a str, VariableName, VariableValue or Date")
        for dimension, category in chosen:
            dimension.add_category(category)
        last = chosen[-1][0]
        if format_call is not None:
            check(getattr(_native.api(), format_call[0])(*format_call[1]), format_call[0])
        if isinstance(value, str):
            last._call("SetStringCell", _native.encode(value))
        elif isinstance(value, (int, float)):
            last._call("SetNumberCell", float(value))
        elif isinstance(value, VariableName):
            last._call("SetVarNameCell", _check_position(value.position))
        elif isinstance(value, VariableValue):
            position = _check_position(value.position)
            if isinstance(value.value, str):
                last._call("SetVarValueStringCell", position, _native.encode(value.value))
            else:
                last._call("SetVarValueDoubleCell", position, float(value.value))
        elif isinstance(value, Date):
            last._call("SetDateCell", _text(value.text, "date"))
        else:
            raise TypeError(f"a cell value is a number, a str, VariableName, VariableValue or Date, "
                            f"not {type(value).__name__}")
        if footnote is not None:
            last._call("AddCellFootnotes", _text(footnote, "footnote"))

    def hide_title(self) -> None:
        self._call("HidePivotTableTitle")

    def caption(self, text: str, footnote: Optional[str] = None) -> None:
        """Sets the caption; with `footnote`, one on the caption."""
        if footnote is None:
            self._call("PivotTableCaption", _text(text, "caption"))
        else:
            self._call("AddCaptionFootnotes", _text(text, "caption"), _text(footnote, "footnote"))

    def title_footnote(self, text: str) -> None:
        lib = _native.api()
        check(lib.AddTitleFootnotes(*self.key[:3], _text(text, "footnote"), self.flag),
              "AddTitleFootnotes")

    def outline_footnote(self, text: str) -> None:
        lib = _native.api()
        check(lib.AddOutlineFootnotes(*self.key[:3], _text(text, "footnote"), self.flag),
              "AddOutlineFootnotes")

    def column_widths(self, minimum: Optional[int] = None, maximum: Optional[int] = None) -> None:
        """The minimum and maximum data column widths."""
        for value in (minimum, maximum):
            if value is not None and (isinstance(value, bool) or not isinstance(value, int)):
                raise TypeError("a column width is an int")
        if minimum is not None and maximum is not None and minimum > maximum:
            raise ValueError("the minimum column width lies above the maximum")
        if minimum is not None:
            self._call("MinDataColumnWidth", minimum)
        if maximum is not None:
            self._call("MaxDataColumnWidth", maximum)
