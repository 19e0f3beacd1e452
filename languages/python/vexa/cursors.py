"""Case cursors over the running procedure's dataset.

A cursor lives inside a procedure (see `vexa.procedures.Procedure`):

    with Procedure("Pass"):
        with ReadCursor(["sepal_length", "species"]) as cursor:
            for sepal_length, species in cursor:
                ...

Missing values (system- or, by default, user-missing) read as None. Both
cursors remove the library's cursor when their block ends; a write cursor
makes its changes part of the dataset (EndChanges) only when the block ends
without an exception, so a failed block leaves the dataset as it was.

Iterating a read cursor reads cases ahead in blocks through the package's
compiled part (next_case() steps one case).
Iterating a cursor whose cases are used up raises CasesUsedUp (reset() starts
over); a write cursor refuses to move on or end while values set for a case
wait for commit(), and a text wider than its string variable raises rather
than being cut.
"""
from __future__ import annotations

import ctypes
from types import TracebackType
from typing import (Any, Dict, Iterator, List, Mapping, Optional, Sequence, Tuple, Type,
                    Union)

from . import _native
from .dictionary import (ALIGNMENTS, MissingValues, _code_for, _int_query, _text_query,
                         as_missing_values, level_code, role_code)
from .errors import CasesUsedUp, check

__all__ = ["ReadCursor", "WriteCursor", "Value", "Case", "system_missing_value"]

Value = Union[float, str, None]
Case = Tuple[Value, ...]

# NextCase's codes once the cases are used up: the library's and the engine's.
_END_CODES = (1900, 23)

_FORMAT_CODES = {"A": 1, "F": 5}

# Cases a read cursor reads ahead: few at first, so that a loop that stops
# early has read little, then up to this many per call of the compiled part.
_FIRST_CHUNK = 16
_MAX_CHUNK = 4096


def system_missing_value() -> float:
    """The engine's system-missing value."""
    value = ctypes.c_double(0)
    check(_native.api().GetSystemMissingValue(ctypes.byref(value)), "GetSystemMissingValue")
    return value.value


def _layout() -> Tuple[List[str], List[int]]:
    count = _int_query("GetVariableCount")
    names = [_text_query("GetVariableName", i) for i in range(count)]
    types = [_int_query("GetVariableType", i) for i in range(count)]
    return names, types


def _select(names: List[str], wanted: Optional[Sequence[Union[str, int]]]) -> List[int]:
    if wanted is None:
        return list(range(len(names)))
    if isinstance(wanted, (str, bytes)):
        raise TypeError("variables must be a sequence of names or positions, not one text")
    chosen = []
    for item in wanted:
        if isinstance(item, str):
            if item not in names:
                raise KeyError(f"no variable named {item!r}")
            chosen.append(names.index(item))
        elif isinstance(item, int) and not isinstance(item, bool):
            if not 0 <= item < len(names):
                raise IndexError(f"variable index {item} outside 0..{len(names) - 1}")
            chosen.append(item)
        else:
            raise TypeError(f"a variable is a name or a position, not {type(item).__name__}")
    return chosen


class _Cursor:
    _access = b"r"

    def __init__(self, variables: Optional[Sequence[Union[str, int]]] = None,
                 user_missing_as_none: bool = True) -> None:
        self._wanted = variables
        self.user_missing_as_none = user_missing_as_none
        self._open = False
        self._used_up = False
        self.names: List[str] = []
        self.types: List[int] = []
        self.indexes: List[int] = []

    def open(self) -> None:
        """Makes the library's cursor (VexaError 9004 outside a procedure)."""
        if self._open:
            raise ValueError("the cursor is open already")
        lib = _native.api()
        # The cursor first: it is refused (17, 9004) without a running engine
        # or a procedure, where the dictionary calls would not be.
        check(lib.MakeCaseCursor(self._access), "MakeCaseCursor")
        try:
            all_names, all_types = _layout()
            self.indexes = _select(all_names, self._wanted)
        except BaseException:
            lib.RemoveCaseCursor()
            raise
        self._all_names, self._all_types = all_names, all_types
        self.names = [all_names[i] for i in self.indexes]
        self.types = [all_types[i] for i in self.indexes]
        self._open = True

    def close(self) -> None:
        """Removes the library's cursor; uncommitted changes are dropped."""
        if self._open:
            self._open = False
            check(_native.api().RemoveCaseCursor(), "RemoveCaseCursor")

    def __enter__(self) -> Any:
        self.open()
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        if kind is None:
            self.close()
            return
        try:
            self.close()
        except Exception:
            pass  # the block's own exception is the one to see

    def _require_open(self) -> None:
        if not self._open:
            raise ValueError("the cursor is not open")

    def next_case(self) -> bool:
        """Moves to the next case; False once the cases are used up."""
        self._require_open()
        status = _native.api().NextCase()
        if status in _END_CODES:
            self._used_up = True
            return False
        check(status, "NextCase")
        return True

    def _check_not_used_up(self) -> None:
        if self._used_up:
            raise CasesUsedUp(1900, "", "the cursor's cases are used up: call reset() to read "
                                        "them again, or open a new cursor")

    def _value(self, index: int, width: int) -> Value:
        lib = _native.api()
        missing = ctypes.c_int(0)
        if width == 0:
            number = ctypes.c_double(0)
            check(lib.GetNumericValue(index, ctypes.byref(number), ctypes.byref(missing)),
                  "GetNumericValue")
            if missing.value == 2 or (missing.value and self.user_missing_as_none):
                return None
            return number.value
        buffer = ctypes.create_string_buffer(width + 1)
        pointer = ctypes.c_void_p(ctypes.addressof(buffer))
        check(lib.GetStringValue(index, ctypes.byref(pointer), width, ctypes.byref(missing)),
              "GetStringValue")
        if missing.value == 2 or (missing.value and self.user_missing_as_none):
            return None
        return _native.decode(buffer.raw[:width].split(b"\0", 1)[0].rstrip(b" ")) or ""

    def _read_case(self) -> Case:
        blocks = _native.blocks()
        if blocks is None:
            return tuple(self._value(i, t) for i, t in zip(self.indexes, self.types))
        status, values = blocks.current_case(self.indexes, self.types, self.user_missing_as_none)
        check(status, "GetNumericValue/GetStringValue")
        return values

    def values(self) -> Case:
        """The current case's values of the selected variables."""
        self._require_open()
        return self._read_case()

    def value(self, variable: Union[str, int]) -> Value:
        """One value of the current case, by name or position."""
        self._require_open()
        index = _select(self._all_names, [variable])[0]
        return self._value(index, self._all_types[index])

    def __iter__(self) -> Iterator[Case]:
        self._require_open()
        self._check_not_used_up()
        return self._walk()

    def _walk(self) -> Iterator[Case]:
        while self.next_case():
            yield self.values()

    @property
    def position(self) -> int:
        """The engine's case position (-1 before the first case)."""
        self._require_open()
        position = ctypes.c_int(0)
        check(_native.api().GetCursorPosition(ctypes.byref(position)), "GetCursorPosition")
        return position.value

    def reset(self) -> None:
        """Starts the pass over (ResetDataPass also drops the library's cursor,
        which is made again)."""
        self._require_open()
        check(_native.api().ResetDataPass(), "ResetDataPass")
        check(_native.api().MakeCaseCursor(self._access), "MakeCaseCursor")
        self._used_up = False


class ReadCursor(_Cursor):
    """Reads the cases of the running procedure's dataset as tuples.

    `variables` selects names or positions (all by default); a missing value
    is None (user-missing ones stay values with `user_missing_as_none=False`).
    Strings lose their trailing blanks.
    """

    _access = b"r"

    def __init__(self, variables: Optional[Sequence[Union[str, int]]] = None,
                 user_missing_as_none: bool = True) -> None:
        super().__init__(variables, user_missing_as_none)
        self._forget_ahead()

    def _forget_ahead(self) -> None:
        self._ahead: List[Case] = []
        self._at = 0
        self._ended = False
        self._current: Optional[Case] = None
        self._position = -1

    def __enter__(self) -> "ReadCursor":
        self.open()
        return self

    def open(self) -> None:
        super().open()
        self._forget_ahead()

    def _fill(self, limit: int) -> None:
        blocks = _native.blocks()
        if blocks is None:
            self._ended = not super().next_case()
            self._ahead, self._at = ([] if self._ended else [super()._read_case()]), 0
            return
        status, cases = blocks.next_cases(self.indexes, self.types, self.user_missing_as_none, limit)
        if status in _END_CODES:
            self._ended = True
        else:
            check(status, "NextCase")
        self._ahead, self._at = cases, 0

    def _step(self, limit: int) -> bool:
        if self._at == len(self._ahead) and not self._ended:
            self._fill(limit)
        if self._at < len(self._ahead):
            self._current = self._ahead[self._at]
            self._at += 1
            self._position += 1
            return True
        self._current = None
        self._used_up = True
        return False

    def next_case(self) -> bool:
        """Moves to the next case; False once the cases are used up."""
        self._require_open()
        return self._step(1)

    def _walk(self) -> Iterator[Case]:
        # Iteration reads ahead, a few cases at first and more as it goes.
        chunk = _FIRST_CHUNK
        while self._step(chunk):
            chunk = min(chunk * 2, _MAX_CHUNK)
            yield self._current  # type: ignore[misc]

    def values(self) -> Case:
        """The current case's values of the selected variables."""
        self._require_open()
        if self._current is None:
            raise ValueError("the cursor is on no case: call next_case() first")
        return self._current

    def value(self, variable: Union[str, int]) -> Value:
        """One value of the current case, by name or position."""
        self._require_open()
        index = _select(self._all_names, [variable])[0]
        if index in self.indexes and self._current is not None:
            return self._current[self.indexes.index(index)]
        if self._at < len(self._ahead):
            raise ValueError(f"variable {variable!r} is not among the cursor's variables, and "
                             "the cursor has read ahead of the current case: select it")
        return self._value(index, self._all_types[index])

    @property
    def position(self) -> int:
        """The current case's position (-1 before the first case), counted
        here: the engine's own answer is the last case of the block the
        library fetched, which is ahead of the walk."""
        self._require_open()
        return self._position

    def reset(self) -> None:
        super().reset()
        self._forget_ahead()


def _format_code(format_: Union[str, Tuple[int, int, int]], is_string: bool) -> Tuple[int, int, int]:
    if isinstance(format_, tuple):
        if len(format_) != 3 or not all(isinstance(v, int) for v in format_):
            raise TypeError("a format is a text like 'F8.2' or a tuple (code, width, decimals)")
        return format_
    if not isinstance(format_, str) or not format_:
        raise TypeError("a format is a text like 'F8.2' or a tuple (code, width, decimals)")
    letter, rest = format_[0].upper(), format_[1:]
    if letter not in _FORMAT_CODES:
        raise ValueError(f"format {format_!r}: only F and A formats")
    width_text, _, decimals_text = rest.partition(".")
    if not width_text.isdigit() or (decimals_text and not decimals_text.isdigit()):
        raise ValueError(f"format {format_!r} is not like F8.2 or A10")
    if (letter == "A") != is_string:
        raise ValueError(f"format {format_!r} does not fit a {'string' if is_string else 'numeric'} variable")
    return _FORMAT_CODES[letter], int(width_text), int(decimals_text or 0)


class WriteCursor(_Cursor):
    """Adds variables to the running procedure's dataset and values for them
    case by case, and appends new cases.

        with WriteCursor() as cursor:
            cursor.add_variable("ratio", label="Petal ratio")
            for length, width in cursor:          # the existing variables
                cursor.set_value("ratio", length / width)
                cursor.commit()
            cursor.append_case({"sepal_length": 7.5, "ratio": 1.0})

    New variables are declared before the first value; the header is
    committed with the first value. The changes become part of the dataset
    when the block ends without an exception.
    """

    _access = b"w"

    def __init__(self, variables: Optional[Sequence[Union[str, int]]] = None,
                 user_missing_as_none: bool = True) -> None:
        super().__init__(variables, user_missing_as_none)
        self.new_variables: Dict[str, int] = {}
        self._header_pending = False
        self._header_done = False
        self._values_pending = False

    def __enter__(self) -> "WriteCursor":
        self.open()
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        if kind is None:
            try:
                self.end_changes()
            except BaseException:
                try:
                    self.close()
                except Exception:
                    pass
                raise
        super().__exit__(kind, error, trace)

    def add_variable(self, name: str, type: int = 0, *, label: Optional[str] = None,
                     format: Union[str, Tuple[int, int, int], None] = None,
                     measurement_level: Union[int, str, None] = None,
                     role: Union[int, str, None] = None,
                     alignment: Union[int, str, None] = None,
                     value_labels: Optional[Mapping[Union[float, str], str]] = None,
                     missing_values: Union[MissingValues, Sequence[Value], None] = None,
                     attributes: Optional[Mapping[str, Sequence[str]]] = None) -> None:
        """Declares a new variable: `type` 0 numeric, else the string width."""
        self._require_open()
        if not isinstance(name, str) or not name:
            raise TypeError("a variable name must be a non-empty str")
        if isinstance(type, bool) or not isinstance(type, int):
            raise TypeError("a variable type is an int: 0 numeric, else the string width")
        if not 0 <= type <= 32767:
            raise ValueError(f"variable type {type} outside 0..32767")
        if self._header_done:
            raise ValueError("new variables must come before the first value")
        if name in self.new_variables or name in self._all_names:
            raise ValueError(f"variable name {name!r} is taken")
        is_string = type != 0
        # Everything the caller gave is checked before anything is sent.
        level = level_code(measurement_level) if measurement_level is not None else None
        role_value = role_code(role) if role is not None else None
        align = _code_for(ALIGNMENTS, alignment, "alignment") if alignment is not None else None
        format_values = _format_code(format, is_string) if format is not None else None
        missing = as_missing_values(missing_values) if missing_values is not None else None
        if missing is not None and not missing.is_empty and missing.is_string != is_string:
            raise TypeError(f"missing values of the other type for {name!r}")
        labels = dict(value_labels or {})
        for value in labels:
            if isinstance(value, str) != is_string or isinstance(value, bool):
                raise TypeError(f"value label key {value!r} is not of {name!r}'s type")

        lib = _native.api()
        raw = _native.encode(name)
        check(lib.SetOneVarNameAndType(raw, type), "SetOneVarNameAndType")
        self.new_variables[name] = type
        self._header_pending = True
        if label is not None:
            check(lib.SetVarLabel(raw, _native.encode(label)), "SetVarLabel")
        if format_values is not None:
            check(lib.SetVarFormat(raw, *format_values), "SetVarFormat")
        if level is not None:
            check(lib.SetVarMeasureLevel(raw, level), "SetVarMeasureLevel")
        if role_value is not None:
            check(lib.SetVarRole(raw, role_value), "SetVarRole")
        if align is not None:
            check(lib.SetVarAlignment(raw, align), "SetVarAlignment")
        for value, text in labels.items():
            if is_string:
                check(lib.SetVarCValueLabel(raw, _native.encode(value), _native.encode(text)),
                      "SetVarCValueLabel")
            else:
                check(lib.SetVarNValueLabel(raw, float(value), _native.encode(text)),
                      "SetVarNValueLabel")
        if missing is not None and not missing.is_empty:
            if is_string:
                check(lib.SetVarCMissingValues(raw, *missing.string_format()), "SetVarCMissingValues")
            else:
                check(lib.SetVarNMissingValues(raw, *missing.numeric_format()), "SetVarNMissingValues")
        for attribute, texts in (attributes or {}).items():
            if isinstance(texts, (str, bytes)):
                texts = [texts]  # type: ignore[list-item]
            for position, text in enumerate(texts):
                check(lib.SetVarAttributes(raw, _native.encode(attribute), _native.encode(text),
                                           position), "SetVarAttributes")

    def commit_header(self) -> None:
        """Fixes the new variables (done by the first value otherwise)."""
        self._require_open()
        if self._header_pending:
            check(_native.api().CommitHeader(), "CommitHeader")
            self._header_pending = False
        self._header_done = True

    def _type_of(self, name: str) -> int:
        if name in self.new_variables:
            return self.new_variables[name]
        if name in self._all_names:
            return self._all_types[self._all_names.index(name)]
        raise KeyError(f"no variable named {name!r}")

    def _prepare(self, name: str, value: Value) -> Tuple[bytes, Union[float, bytes]]:
        if not isinstance(name, str):
            raise TypeError(f"a variable name must be a str, not {type(name).__name__}")
        width = self._type_of(name)
        if width == 0:
            if value is None:
                return _native.encode(name), system_missing_value()
            if isinstance(value, bool) or not isinstance(value, (int, float)):
                raise TypeError(f"{name!r} is numeric, not {type(value).__name__}")
            return _native.encode(name), float(value)
        if value is None:
            value = ""
        if not isinstance(value, (str, bytes)):
            raise TypeError(f"{name!r} is a string variable, not {type(value).__name__}")
        raw = _native.encode(value)
        if len(raw) > width:
            raise ValueError(f"{len(raw)} bytes for {name!r}, a string variable of width {width}: "
                             f"{value!r} would be cut")
        return _native.encode(name), raw

    def _send(self, prepared: Sequence[Tuple[bytes, Union[float, bytes]]]) -> None:
        self.commit_header()
        lib = _native.api()
        for raw, value in prepared:
            if isinstance(value, bytes):
                check(lib.SetValueChar(raw, value, len(value)), "SetValueChar")
            else:
                check(lib.SetValueNumeric(raw, value), "SetValueNumeric")

    def set_value(self, name: str, value: Value) -> None:
        """Sets a value of the case to commit; None is system-missing (numbers)
        or blank (texts)."""
        self._require_open()
        self._send([self._prepare(name, value)])
        self._values_pending = True

    def _check_nothing_pending(self, action: str) -> None:
        if self._values_pending:
            raise ValueError(f"values set for a case wait for commit(): call commit() (or "
                             f"append_case()) before {action}")

    def next_case(self) -> bool:
        """Moves to the next case; refused while set values wait for commit()."""
        self._check_nothing_pending("moving to the next case")
        return super().next_case()

    def __setitem__(self, name: str, value: Value) -> None:
        self.set_value(name, value)

    def commit(self, values: Optional[Mapping[str, Value]] = None) -> None:
        """Sends the values set for the current case (new variables only)."""
        self._require_open()
        items = dict(values or {})
        for name in items:
            if name not in self.new_variables:
                raise KeyError(f"{name!r} is not a new variable of this cursor")
        self._send([self._prepare(n, v) for n, v in items.items()])
        self._values_pending = False
        check(_native.api().CommitCaseRecord(), "CommitCaseRecord")

    def append_case(self, values: Mapping[str, Value]) -> None:
        """Adds a new case with these values; other variables are missing."""
        self._require_open()
        self._send([self._prepare(n, v) for n, v in values.items()])
        self._values_pending = False
        check(_native.api().CommitNewCase(), "CommitNewCase")

    def end_changes(self) -> None:
        """Makes the new variables and cases part of the dataset."""
        self._require_open()
        self._check_nothing_pending("ending the changes")
        self.commit_header()
        check(_native.api().EndChanges(), "EndChanges")
