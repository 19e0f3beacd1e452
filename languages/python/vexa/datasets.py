"""Named datasets and the data step.

    with DataStep() as step:
        squares = step.create_dataset("squares")
        squares.insert_variable("n")
        squares.insert_variable("word", 8)
        squares.insert_case()
        squares.set_cell(0, 0, 3.0)
        squares.set_cell(0, 1, "three")
        squares.commit()
        print(squares.cell(0, 1))

Cell writes are queued by the library and go with the next commit (reading
a cell, closing the dataset and the end of the step commit first). The
active dataset is named "*" as well as by its own name.
"""
from __future__ import annotations

import ctypes
from types import TracebackType
from typing import Dict, Iterator, List, Optional, Sequence, Tuple, Type, Union

from . import _native
from .dictionary import (ALIGNMENTS, read_value_labels, MissingValues, MISSING_TEXT_BYTES, _code_for,
                         as_missing_values, role_code, string_array_result, MEASUREMENT_LEVELS)
from .errors import check, check_err

__all__ = [
    "Dataset",
    "DataStep",
    "dataset_names",
    "opened_dataset_names",
    "active_dataset_name",
    "new_dataset_name",
    "ACTIVE",
]

Value = Union[float, str, None]

#: The name that stands for the active dataset.
ACTIVE = "*"

# GetActive answers 93 together with the name when the engine names one.
_ACTIVE_ANSWERED = 93
# GetNewDatasetName writes into the caller's buffer without a bound; the
# engine's names ("DataSet<n>") are far shorter than this.
_NEW_NAME_BUFFER = 4096
# Rows read per call of the compiled part by Dataset.rows().
_ROWS_PER_CALL = 4096


def _check_int(value: object, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    if value < 0:
        raise IndexError(f"{what} {value} is negative")
    return value


def _name(value: object, what: str = "dataset name") -> bytes:
    if not isinstance(value, (str, bytes)):
        raise TypeError(f"a {what} must be a str, not {type(value).__name__}")
    return _native.encode(value)


def dataset_names() -> List[str]:
    """Every dataset of the engine: the active one first."""
    return string_array_result("GetVexaDatasets", "FreeStringArray")


def opened_dataset_names() -> List[str]:
    """The datasets created or copied through this library and not closed."""
    return string_array_result("GetOpenedVexaDatasets", "FreeStringArray")


def active_dataset_name() -> str:
    """The active dataset's name ("*" when the engine names none)."""
    err = ctypes.c_int(0)
    raw = _native.api().GetActive(ctypes.byref(err))
    if err.value != _ACTIVE_ANSWERED:
        check_err(err, "GetActive")
    return _native.decode(raw) or ACTIVE


def new_dataset_name() -> str:
    """A dataset name no dataset has yet."""
    buffer = ctypes.create_string_buffer(_NEW_NAME_BUFFER)
    check(_native.api().GetNewDatasetName(buffer), "GetNewDatasetName")
    return _native.decode(buffer.value) or ""


class Dataset:
    """A named dataset of the engine, by name; the object holds no state of
    its own beyond the name."""

    def __init__(self, name: str = ACTIVE) -> None:
        self._raw = _name(name)
        self.name = name

    def __repr__(self) -> str:
        return f"Dataset({self.name!r})"

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Dataset) and other._raw == self._raw

    def __hash__(self) -> int:
        return hash(self._raw)

    # The datasets themselves.

    @classmethod
    def create(cls, name: str) -> "Dataset":
        """A new empty dataset (VexaError 9061 when the name is taken)."""
        raw = _name(name)
        check(_native.api().CreateDataset(raw, False, False), "CreateDataset")
        return cls(name)

    def copy(self, new_name: str) -> "Dataset":
        """A new dataset with this one's dictionary and cases."""
        check(_native.api().CopyDataset(self._raw, _name(new_name)), "CopyDataset")
        return Dataset(new_name)

    def close(self) -> None:
        """Removes the dataset (9064 for the active one)."""
        check(_native.api().CloseDataset(self._raw), "CloseDataset")

    def rename(self, new_name: str) -> None:
        raw = _name(new_name)
        check(_native.api().SetDatasetName(self._raw, raw), "SetDatasetName")
        self._raw, self.name = raw, new_name

    def activate(self) -> None:
        """Makes this the active dataset."""
        check(_native.api().SetActive(self._raw), "SetActive")

    # Shape.

    def _int(self, call: str, *arguments: object) -> int:
        err = ctypes.c_int(0)
        value = getattr(_native.api(), call)(self._raw, *arguments, ctypes.byref(err))
        check_err(err, call)
        return int(value)

    def _text(self, call: str, *arguments: object) -> Optional[str]:
        err = ctypes.c_int(0)
        raw = getattr(_native.api(), call)(self._raw, *arguments, ctypes.byref(err))
        check_err(err, call)
        return _native.decode(raw)

    @property
    def variable_count(self) -> int:
        return self._int("GetVarCountInDS")

    @property
    def case_count(self) -> int:
        return self._int("GetCaseCountInDS")

    def __len__(self) -> int:
        return self.case_count

    def insert_variable(self, name: str, type: int = 0, position: Optional[int] = None) -> int:
        """Adds a variable (0 numeric, else string width) before `position`,
        at the end by default; gives its position."""
        raw = _name(name, "variable name")
        if isinstance(type, bool) or not isinstance(type, int) or not 0 <= type <= 32767:
            raise ValueError("a variable type is an int in 0..32767")
        if position is None:
            position = self.variable_count
        _check_int(position, "variable position")
        check(_native.api().InsertVariable(self._raw, position, raw, type), "InsertVariable")
        return position

    def delete_variable(self, position: int) -> None:
        check(_native.api().DeleteVariable(self._raw, _check_int(position, "variable position")),
              "DeleteVariable")

    def insert_case(self, row: Optional[int] = None) -> int:
        """Adds a case (missing values) before `row`, at the end by default;
        gives its row."""
        if row is None:
            row = self.case_count
        check(_native.api().InsertCase(self._raw, _check_int(row, "row")), "InsertCase")
        return row

    def delete_case(self, row: int) -> None:
        check(_native.api().DeleteCase(self._raw, _check_int(row, "row")), "DeleteCase")

    # Cells.

    def set_cell(self, row: int, variable: int, value: Value) -> None:
        """Queues a cell write: a number or None (system-missing) for a
        numeric variable, a text for a string variable."""
        _check_int(row, "row")
        _check_int(variable, "variable position")
        lib = _native.api()
        if value is None:
            if self.variable_type(variable) != 0:
                value = ""
            else:
                missing = ctypes.c_double(0)
                check(lib.GetSystemMissingValue(ctypes.byref(missing)), "GetSystemMissingValue")
                value = missing.value
        if isinstance(value, (str, bytes)):
            raw = _native.encode(value)
            width = self.variable_type(variable) if raw else 0
            if len(raw) > width > 0:
                raise ValueError(f"{len(raw)} bytes for variable {variable} of {self.name!r}, a "
                                 f"string variable of width {width}: {value!r} would be cut")
            check(lib.SetCCellValue(self._raw, row, variable, raw), "SetCCellValue")
        elif isinstance(value, (int, float)) and not isinstance(value, bool):
            check(lib.SetNCellValue(self._raw, row, variable, float(value)), "SetNCellValue")
        else:
            raise TypeError(f"a cell value is a number, a str or None, not {type(value).__name__}")

    @staticmethod
    def commit() -> None:
        """Sends every queued cell write (of every dataset)."""
        check(_native.api().CommitDataSet(), "CommitDataSet")

    def cell(self, row: int, variable: int, user_missing_as_none: bool = True) -> Value:
        """One cell (after committing queued writes); a missing value is None."""
        _check_int(row, "row")
        _check_int(variable, "variable position")
        string = self.variable_type(variable) != 0
        lib = _native.api()
        missing = ctypes.c_int(0)
        err = ctypes.c_int(0)
        if string:
            raw = lib.GetCCellValue(self._raw, row, variable, ctypes.byref(missing), ctypes.byref(err))
            check_err(err, "GetCCellValue")
            value: Value = (_native.decode(raw) or "").rstrip(" ")
        else:
            value = lib.GetNCellValue(self._raw, row, variable, ctypes.byref(missing), ctypes.byref(err))
            check_err(err, "GetNCellValue")
        if missing.value == 2 or (missing.value and user_missing_as_none):
            return None
        return value

    def rows(self, variables: Optional[Sequence[int]] = None,
             user_missing_as_none: bool = True) -> Iterator[Tuple[Value, ...]]:
        """The cases as tuples, read through the data step's batches."""
        count = self.variable_count
        chosen = list(range(count)) if variables is None else [
            _check_int(v, "variable position") for v in variables]
        for v in chosen:
            if v >= count:
                raise IndexError(f"variable position {v} outside 0..{count - 1}")
        types = [self.variable_type(v) for v in chosen]
        blocks = _native.blocks()
        if blocks is None:
            yield from self._rows_one_by_one(chosen, types, user_missing_as_none)
            return
        cases = self.case_count
        for first in range(0, cases, _ROWS_PER_CALL):
            status, rows = blocks.dataset_rows(self._raw, first, min(first + _ROWS_PER_CALL, cases),
                                               chosen, types, user_missing_as_none)
            yield from rows
            check(status, "GetNCellValueOptimize/GetCCellValueOptimize")

    def _rows_one_by_one(self, chosen: List[int], types: List[int],
                         user_missing_as_none: bool) -> Iterator[Tuple[Value, ...]]:
        lib = _native.api()
        for row in range(self.case_count):
            values: List[Value] = []
            for v, type_ in zip(chosen, types):
                missing = ctypes.c_int(0)
                err = ctypes.c_int(0)
                if type_:
                    text = _native.take_string(lib.GetCCellValueOptimize(
                        self._raw, row, v, ctypes.byref(missing), ctypes.byref(err)))
                    check_err(err, "GetCCellValueOptimize")
                    value: Value = (text or "").rstrip(" ")
                else:
                    value = lib.GetNCellValueOptimize(self._raw, row, v, ctypes.byref(missing),
                                                      ctypes.byref(err))
                    check_err(err, "GetNCellValueOptimize")
                values.append(None if missing.value == 2 or (missing.value and user_missing_as_none)
                              else value)
            yield tuple(values)

    # Dictionary.

    def variable_name(self, variable: int) -> str:
        return self._text("GetVarNameInDS", _check_int(variable, "variable position")) or ""

    def variable_names(self) -> List[str]:
        return [self.variable_name(i) for i in range(self.variable_count)]

    def variable_index(self, name: str) -> int:
        names = self.variable_names()
        if name not in names:
            raise KeyError(f"{self.name} has no variable {name!r}")
        return names.index(name)

    def variable_type(self, variable: int) -> int:
        return self._int("GetVarTypeInDS", _check_int(variable, "variable position"))

    def variable_label(self, variable: int) -> str:
        return self._text("GetVarLabelInDS", _check_int(variable, "variable position")) or ""

    def variable_format(self, variable: int) -> str:
        return self._text("GetVarFormatInDS", _check_int(variable, "variable position")) or ""

    def variable_measurement_level(self, variable: int) -> str:
        """nominal, ordinal or scale."""
        return self._text("GetVarMeasurementLevelInDS",
                          _check_int(variable, "variable position")) or ""

    def variable_role(self, variable: int) -> int:
        return self._int("GetVarRoleInDS", _check_int(variable, "variable position"))

    def set_variable_name(self, variable: int, name: str) -> None:
        check(_native.api().SetVarNameInDS(self._raw, _check_int(variable, "variable position"),
                                               _name(name, "variable name")), "SetVarNameInDS")

    def set_variable_label(self, variable: int, label: str) -> None:
        check(_native.api().SetVarLabelInDS(self._raw, _check_int(variable, "variable position"),
                                                _name(label, "label")), "SetVarLabelInDS")

    def set_variable_format(self, variable: int, format_type: int, width: int, decimals: int = 0) -> None:
        """`format_type` 5 (F) for numbers, 1 (A) for texts."""
        for value in (format_type, width, decimals):
            if isinstance(value, bool) or not isinstance(value, int):
                raise TypeError("format type, width and decimals are ints")
        check(_native.api().SetVarFormatInDS(self._raw, _check_int(variable, "variable position"),
                                                 format_type, width, decimals), "SetVarFormatInDS")

    def set_variable_measurement_level(self, variable: int, level: Union[int, str]) -> None:
        text = MEASUREMENT_LEVELS[_code_for(MEASUREMENT_LEVELS, level, "measurement level")]
        check(_native.api().SetVarMeasurementLevelInDS(
            self._raw, _check_int(variable, "variable position"), _native.encode(text)),
            "SetVarMeasurementLevelInDS")

    def set_variable_role(self, variable: int, role: Union[int, str]) -> None:
        check(_native.api().SetVarRoleInDS(self._raw, _check_int(variable, "variable position"),
                                               role_code(role)), "SetVarRoleInDS")

    def set_variable_alignment(self, variable: int, alignment: Union[int, str]) -> None:
        check(_native.api().SetVarAlignmentInDS(
            self._raw, _check_int(variable, "variable position"),
            _code_for(ALIGNMENTS, alignment, "alignment")), "SetVarAlignmentInDS")

    def missing_values(self, variable: int) -> MissingValues:
        _check_int(variable, "variable position")
        lib = _native.api()
        missing_format = ctypes.c_int(0)
        if self.variable_type(variable) != 0:
            buffers = [ctypes.create_string_buffer(MISSING_TEXT_BYTES + 1) for _ in range(3)]
            check(lib.GetVarCMissingValuesInDS(self._raw, variable, ctypes.byref(missing_format),
                                               *buffers), "GetVarCMissingValuesInDS")
            return MissingValues.from_strings(missing_format.value,
                                              tuple(b.raw for b in buffers))  # type: ignore[arg-type]
        values = [ctypes.c_double(0) for _ in range(3)]
        check(lib.GetVarNMissingValuesInDS(self._raw, variable, ctypes.byref(missing_format),
                                           *[ctypes.byref(v) for v in values]),
              "GetVarNMissingValuesInDS")
        return MissingValues.from_numeric(missing_format.value, *[v.value for v in values])

    def set_missing_values(self, variable: int,
                           missing: Union[MissingValues, Sequence[Value], None]) -> None:
        """Sets (None or () clears) the variable's user-missing values."""
        _check_int(variable, "variable position")
        values = as_missing_values(missing)
        lib = _native.api()
        if self.variable_type(variable) != 0:
            check(lib.SetVarCMissingValuesInDS(self._raw, variable, *values.string_format()),
                  "SetVarCMissingValuesInDS")
        else:
            check(lib.SetVarNMissingValuesInDS(self._raw, variable, *values.numeric_format()),
                  "SetVarNMissingValuesInDS")

    def value_labels(self, variable: int) -> Dict[Union[float, str], str]:
        _check_int(variable, "variable position")
        return read_value_labels(self.variable_type(variable) != 0, "GetVarCValueLabelInDS",
                                 "GetVarNValueLabelInDS", self._raw, variable)

    def set_value_label(self, variable: int, value: Union[float, str], label: str) -> None:
        _check_int(variable, "variable position")
        lib = _native.api()
        if isinstance(value, (str, bytes)):
            check(lib.SetVarCValueLabelInDS(self._raw, variable, _native.encode(value),
                                            _name(label, "label")), "SetVarCValueLabelInDS")
        elif isinstance(value, (int, float)) and not isinstance(value, bool):
            check(lib.SetVarNValueLabelInDS(self._raw, variable, float(value), _name(label, "label")),
                  "SetVarNValueLabelInDS")
        else:
            raise TypeError(f"a labelled value is a number or a str, not {type(value).__name__}")

    def attributes(self, variable: int) -> Dict[str, List[str]]:
        _check_int(variable, "variable position")
        names = string_array_result("GetVarAttributesNameInDS", "FreeAttributeNames",
                                    self._raw, variable)
        return {name: string_array_result("GetVarAttributesInDS", "FreeAttributes", self._raw,
                                          variable, _native.encode(name))
                for name in names}

    def set_attribute(self, variable: int, name: str, values: Sequence[str]) -> None:
        _check_int(variable, "variable position")
        if isinstance(values, (str, bytes)):
            values = [values]  # type: ignore[list-item]
        array = _native.string_array(list(values))
        check(_native.api().SetVarAttributesInDS(self._raw, variable, _name(name, "attribute name"),
                                                     array, len(values)), "SetVarAttributesInDS")

    def file_attributes(self) -> Dict[str, List[str]]:
        names = string_array_result("GetDataFileAttributeNamesInDS", "FreeAttributeNames", self._raw)
        return {name: string_array_result("GetDataFileAttributesInDS", "FreeAttributes", self._raw,
                                          _native.encode(name))
                for name in names}


class DataStep:
    """An open data step for the length of a `with` block; it ends (and
    commits queued cell writes) when the block ends."""

    def __init__(self) -> None:
        self._open = False

    def start(self) -> None:
        if self._open:
            raise ValueError("the data step is open already")
        check(_native.api().StartDataStep(), "StartDataStep")
        self._open = True

    def end(self) -> None:
        if self._open:
            status = _native.api().EndDataStep()
            # Only an accepted end ends the step; a refused one stays open.
            if status == 0:
                self._open = False
            check(status, "EndDataStep")

    def __enter__(self) -> "DataStep":
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

    @staticmethod
    def create_dataset(name: str) -> Dataset:
        return Dataset.create(name)

    @staticmethod
    def dataset(name: str = ACTIVE) -> Dataset:
        return Dataset(name)

    @staticmethod
    def datasets() -> List[str]:
        """The datasets created or copied since the step began."""
        return string_array_result("GetDatastepDatasets", "FreeStringArray")
