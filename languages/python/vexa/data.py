"""The active dataset as numpy arrays and pandas DataFrames, in bulk.

    import vexa.data
    columns = vexa.data.read(["sepal_length", "species"])   # {name: ndarray}
    frame = vexa.data.to_pandas(categorical=True)
    vexa.data.write({"ratio": columns["sepal_length"] / 2})  # new variables
    vexa.data.from_pandas(frame, dataset="copy")             # a new dataset

Numbers arrive as float64 with NaN for a missing value (or as masked arrays
with `missing="mask"`), texts as object arrays of str with None for a missing
value. The cases are walked by the package's compiled part. Each call runs in
the open procedure, or in one of its own when none is open.

Writing maps dtypes to variables: floats and integers to numeric variables
with an F format wide enough for every value, bools to 0/1, texts to string
variables as wide as the longest value (UTF-8 bytes), categories to numeric
codes with value labels; NaN, None and pandas' NA become missing values.

numpy and pandas come from Debian's python3-numpy and python3-pandas; the
rest of the package works without them.
"""
from __future__ import annotations

import math
from typing import Any, Callable, Dict, List, Mapping, Optional, Sequence, Tuple, Union

from . import _native
from .cursors import _layout, _select, system_missing_value
from .dictionary import case_count, variables as _variables
from .errors import check
from .procedures import Procedure

__all__ = ["read", "to_pandas", "write", "from_pandas", "Column"]

# Cases per CommitManyCases message when a dataset is filled: blocks of about
# 8 MiB keep the engine's and the library's copies of one message small.
_BLOCK_BYTES = 8 << 20
_MAX_STRING_WIDTH = 32767
_MAX_DECIMALS = 6
# The identifier the procedures of this module are filed under (one
# document, replaced by each call, rather than one per call).
_PROCEDURE_ID = "vexa.data"


def _numpy():
    try:
        import numpy
    except ImportError as error:
        raise ImportError("vexa.data needs numpy: install Debian's python3-numpy "
                          "(apt-get install python3-numpy) or 'pip install numpy'") from error
    return numpy


def _pandas():
    try:
        import pandas
    except ImportError as error:
        raise ImportError("vexa.data.to_pandas and from_pandas need pandas: install Debian's "
                          "python3-pandas (apt-get install python3-pandas) or 'pip install pandas'"
                          ) from error
    return pandas


def _in_procedure(name: str, work: Callable[[], Any]) -> Any:
    if _native.api().HasProcedure() == 1:
        return work()
    with Procedure(name, _PROCEDURE_ID):
        return work()


def read(variables: Optional[Sequence[Union[str, int]]] = None, *, missing: str = "nan",
         user_missing: bool = True) -> Dict[str, Any]:
    """The active dataset's cases, one array per variable, by name.

    `variables` selects names or positions (all by default). `missing`:
    "nan" gives NaN for a missing number; "mask" gives numpy masked arrays
    that keep the stored value under the mask. With `user_missing=False` a
    user-missing value is a value like any other.
    """
    numpy = _numpy()
    if missing not in ("nan", "mask"):
        raise ValueError(f"missing must be 'nan' or 'mask', not {missing!r}")
    blocks = _native.require_blocks()

    def walk() -> Tuple[List[str], List[int], tuple]:
        lib = _native.api()
        check(lib.MakeCaseCursor(b"r"), "MakeCaseCursor")
        try:
            names, types = _layout()
            chosen = _select(names, variables)
            widths = [types[i] for i in chosen]
            expected = max(case_count(), 0)
            result = blocks.read_columns(chosen, widths, bool(user_missing), missing == "mask", expected)
            check(result[0], "NextCase")
        finally:
            lib.RemoveCaseCursor()
        return [names[i] for i in chosen], widths, result

    names, widths, (_, _, columns, flags) = _in_procedure("Read data", walk)
    arrays: Dict[str, Any] = {}
    for name, width, column, flag in zip(names, widths, columns, flags):
        if width:
            arrays[name] = numpy.array(column, dtype=object)
            continue
        values = numpy.frombuffer(column, dtype=numpy.float64)
        if flag is None:
            arrays[name] = values
        else:
            codes = numpy.frombuffer(flag, dtype=numpy.uint8)
            hidden = (codes == 2) | ((codes == 1) if user_missing else False)
            arrays[name] = numpy.ma.masked_array(values, mask=hidden)
    return arrays


def _categorical(pandas, numpy, values, labels: Mapping[Any, str]):
    """Values as a Categorical: a labelled value shows its label, any other
    value its own text; missing values stay missing."""
    if values.dtype == object:
        present = sorted({v for v in values if v is not None})
        text_of = {v: labels.get(v, v) for v in present}
    else:
        present = sorted(set(numpy.unique(values[~numpy.isnan(values)]).tolist()))
        text_of = {v: labels.get(v, f"{v:g}") for v in present}
    categories: List[str] = []
    for value in present:
        if text_of[value] not in categories:
            categories.append(text_of[value])
    position = {text: i for i, text in enumerate(categories)}
    code_of = {value: position[text_of[value]] for value in present}
    codes = numpy.fromiter((code_of.get(v, -1) if v == v else -1 for v in values.tolist()),
                           dtype=numpy.int64, count=len(values))
    return pandas.Categorical.from_codes(codes, categories)


def to_pandas(variables: Optional[Sequence[Union[str, int]]] = None, *, missing: str = "nan",
              user_missing: bool = True, categorical: bool = False):
    """The active dataset as a pandas DataFrame, one column per variable.

    With `categorical=True` a variable with value labels becomes a
    Categorical of its labels. `DataFrame.attrs` carries the dictionary:
    "variable_labels", "value_labels", "formats", "measurement_levels" and
    "missing_values" (each {name: ...}).
    """
    pandas = _pandas()
    numpy = _numpy()
    if missing == "mask":
        raise ValueError("to_pandas gives NaN for missing values; use read(missing='mask') for masks")
    arrays = read(variables, missing=missing, user_missing=user_missing)
    dictionary = {variable.name: variable for variable in _variables() if variable.name in arrays}
    if categorical:
        for name, variable in dictionary.items():
            if variable.value_labels:
                arrays[name] = _categorical(pandas, numpy, arrays[name], variable.value_labels)
    frame = pandas.DataFrame(arrays, copy=False)
    frame.attrs["variable_labels"] = {n: v.label for n, v in dictionary.items()}
    frame.attrs["value_labels"] = {n: dict(v.value_labels) for n, v in dictionary.items() if v.value_labels}
    frame.attrs["formats"] = {n: v.format for n, v in dictionary.items()}
    frame.attrs["measurement_levels"] = {n: v.level_name for n, v in dictionary.items()}
    frame.attrs["missing_values"] = {
        n: list(v.missing_values.values) for n, v in dictionary.items() if not v.missing_values.is_empty}
    return frame


class Column:
    """One column ready to write: the variable's type (0 numeric, else the
    string width), its values (float64 array, or bytes and None), its format
    and its value labels."""

    def __init__(self, name: str, width: int, values: Any, format_: Tuple[int, int, int],
                 value_labels: Optional[Dict[Union[float, str], str]] = None) -> None:
        self.name = name
        self.width = width
        self.values = values
        self.format = format_
        self.value_labels = value_labels or {}

    @classmethod
    def from_values(cls, name: str, values: Any, value_labels: Optional[Mapping] = None) -> "Column":
        """Maps a numpy array, pandas Series or sequence by its dtype."""
        numpy = _numpy()
        labels = dict(value_labels or {})
        if _is_categorical(values):
            return cls._from_categories(name, values, labels)
        if hasattr(values, "to_numpy") and getattr(values.dtype, "kind", "O") in "iufb" \
                and _has_na(values):
            values = values.to_numpy(dtype="float64", na_value=numpy.nan)
        array = numpy.asarray(values)
        if array.ndim != 1:
            raise ValueError(f"column {name!r}: one dimension expected, not {array.ndim}")
        kind = array.dtype.kind
        if kind == "b":
            return cls(name, 0, array.astype(numpy.float64), (5, 1, 0), labels)
        if kind in "iuf":
            numbers = numpy.ascontiguousarray(array, dtype=numpy.float64)
            if numpy.isinf(numbers).any():
                raise ValueError(f"column {name!r} holds an infinite value")
            return cls(name, 0, numbers, _numeric_format(numpy, numbers), labels)
        if kind in "OSU":
            return cls._from_texts(name, array, labels)
        raise TypeError(f"column {name!r}: dtype {array.dtype} has no variable type "
                        "(numbers, bools, texts and categories do)")

    @classmethod
    def _from_texts(cls, name: str, array: Any, labels: Dict) -> "Column":
        texts: List[Optional[bytes]] = []
        for value in array.tolist():
            if value is None or (isinstance(value, float) and math.isnan(value)) or _is_na(value):
                texts.append(None)
            elif isinstance(value, str):
                texts.append(value.encode("utf-8"))
            elif isinstance(value, bytes):
                texts.append(value)
            else:
                raise TypeError(f"column {name!r} mixes texts with {type(value).__name__} values")
        width = max([len(t) for t in texts if t is not None] + [1])
        if width > _MAX_STRING_WIDTH:
            raise ValueError(f"column {name!r}: a text of {width} bytes is wider than "
                             f"{_MAX_STRING_WIDTH}")
        return cls(name, width, texts, (1, min(width, 255), 0), labels)

    @classmethod
    def _from_categories(cls, name: str, values: Any, labels: Dict) -> "Column":
        numpy = _numpy()
        categorical = values.array if hasattr(values, "array") else values
        categories = list(categorical.categories)
        # Categories that are the labels given for this column keep those
        # labels' values, so a frame read with categorical=True writes back
        # the codes it came from.
        by_label = {text: value for value, text in labels.items() if isinstance(value, (int, float))}
        if categories and all(c in by_label for c in categories):
            code_values = [float(by_label[c]) for c in categories]
        else:
            code_values = [float(i + 1) for i in range(len(categories))]
        lookup = numpy.array(code_values + [numpy.nan], dtype=numpy.float64)
        codes = numpy.asarray(categorical.codes)
        numbers = lookup[numpy.where(codes < 0, len(categories), codes)]
        value_labels = {value: str(text) for value, text in zip(code_values, categories)}
        return cls(name, 0, numpy.ascontiguousarray(numbers), _numeric_format(numpy, numbers),
                   value_labels)


def _is_categorical(values: Any) -> bool:
    dtype = getattr(values, "dtype", None)
    return dtype is not None and getattr(dtype, "name", "") == "category"


def _is_na(value: Any) -> bool:
    return type(value).__name__ in ("NAType", "NaTType")


def _has_na(values: Any) -> bool:
    try:
        return bool(values.isna().any())
    except AttributeError:
        return False


def _numeric_format(numpy, numbers) -> Tuple[int, int, int]:
    """An F format that shows every value: the fewest decimals (up to six)
    that keep them, and the width of the widest."""
    present = numbers[~numpy.isnan(numbers)]
    if present.size == 0:
        return (5, 8, 2)
    decimals = _MAX_DECIMALS
    for places in range(_MAX_DECIMALS + 1):
        if numpy.array_equal(numpy.round(present, places), present):
            decimals = places
            break
    largest = float(numpy.abs(present).max())
    digits = len(str(int(largest))) if largest < 1e15 else 16
    width = digits + (1 if (present < 0).any() else 0) + (decimals + 1 if decimals else 0)
    return (5, max(width, decimals + 2, 1), decimals)


def _columns(data: Mapping[str, Any], value_labels: Optional[Mapping[str, Mapping]]) -> List[Column]:
    if not isinstance(data, Mapping) or not data:
        raise TypeError("data must be a non-empty mapping of column name to values")
    labels = value_labels or {}
    columns = []
    for name, values in data.items():
        if not isinstance(name, str) or not name:
            raise TypeError(f"a column name must be a non-empty str, not {name!r}")
        columns.append(values if isinstance(values, Column)
                       else Column.from_values(name, values, labels.get(name)))
    lengths = {len(c.values) for c in columns}
    if len(lengths) != 1:
        raise ValueError(f"columns of different lengths: {sorted(lengths)}")
    return columns


def _declare(columns: Sequence[Column], variable_labels: Mapping[str, str]) -> None:
    lib = _native.api()
    for column in columns:
        raw = _native.encode(column.name)
        check(lib.SetOneVarNameAndType(raw, column.width), "SetOneVarNameAndType")
        check(lib.SetVarFormat(raw, *column.format), "SetVarFormat")
        label = variable_labels.get(column.name)
        if label:
            check(lib.SetVarLabel(raw, _native.encode(label)), "SetVarLabel")
        for value, text in column.value_labels.items():
            if column.width:
                check(lib.SetVarCValueLabel(raw, _native.encode(str(value)), _native.encode(text)),
                      "SetVarCValueLabel")
            else:
                check(lib.SetVarNValueLabel(raw, float(value), _native.encode(text)),
                      "SetVarNValueLabel")
    check(lib.CommitHeader(), "CommitHeader")


def _with_write_cursor(work: Callable[[], None]) -> None:
    lib = _native.api()
    check(lib.MakeCaseCursor(b"w"), "MakeCaseCursor")
    try:
        work()
        check(lib.EndChanges(), "EndChanges")
    finally:
        lib.RemoveCaseCursor()


def _add_to_active(columns: List[Column], variable_labels: Mapping[str, str]) -> None:
    blocks = _native.require_blocks()
    rows = len(columns[0].values)

    def work() -> None:
        cases = case_count()
        if cases != rows:
            raise ValueError(f"{rows} values per column for {cases} cases of the active dataset")
        _declare(columns, variable_labels)
        status, written = blocks.write_current_cases(
            [_native.encode(c.name) for c in columns], [c.width for c in columns],
            [c.values for c in columns], rows, system_missing_value())
        if status == 99108:
            raise ValueError(f"the active dataset's cases changed while writing ({written} written)")
        check(status, "CommitCaseRecord")

    _in_procedure("Write data", lambda: _with_write_cursor(work))


def _create_dataset(name: str, columns: List[Column], variable_labels: Mapping[str, str],
                    activate: bool) -> None:
    from .datasets import DataStep, active_dataset_name

    blocks = _native.require_blocks()
    lib = _native.api()
    rows = len(columns[0].values)
    case_bytes = sum(8 if c.width == 0 else (c.width + 7) // 8 * 8 for c in columns)
    with DataStep() as step:
        step.create_dataset(name)
    previous = active_dataset_name()
    restore = previous and previous != "*"

    def work() -> None:
        _declare(columns, variable_labels)
        status, _ = blocks.append_cases(
            [_native.encode(c.name) for c in columns], [c.width for c in columns],
            [c.values for c in columns], rows, system_missing_value(),
            max(1, _BLOCK_BYTES // case_bytes))
        check(status, "CommitManyCases")

    try:
        check(lib.SetActive(_native.encode(name)), "SetActive")
        with Procedure("Create dataset", _PROCEDURE_ID):
            _with_write_cursor(work)
    except BaseException:
        # A dataset that did not get its cases is not left behind.
        if restore:
            lib.SetActive(_native.encode(previous))
            lib.CloseDataset(_native.encode(name))
        raise
    if restore and not activate:
        check(lib.SetActive(_native.encode(previous)), "SetActive")


def write(data: Mapping[str, Any], *, dataset: Optional[str] = None,
          variable_labels: Optional[Mapping[str, str]] = None,
          value_labels: Optional[Mapping[str, Mapping]] = None, activate: bool = False) -> None:
    """Writes columns ({name: array}) in bulk.

    Without `dataset` they become new variables of the active dataset, one
    value per case. With `dataset` a new dataset of that name is made with
    them as its variables and their rows as its cases (it becomes active with
    `activate=True`). `variable_labels` and `value_labels` go by column name.
    """
    columns = _columns(data, value_labels)
    labels = dict(variable_labels or {})
    if dataset is None:
        _add_to_active(columns, labels)
    else:
        if not isinstance(dataset, str) or not dataset or dataset == "*":
            raise ValueError("a new dataset needs a name other than '*'")
        _create_dataset(dataset, columns, labels, activate)


def from_pandas(frame, dataset: Optional[str] = None, *, activate: bool = False) -> None:
    """Writes a DataFrame like `write`: its columns as new variables of the
    active dataset, or as a new dataset named `dataset`. Labels in
    `frame.attrs` (as `to_pandas` leaves them) go with it."""
    pandas = _pandas()
    if not isinstance(frame, pandas.DataFrame):
        raise TypeError(f"from_pandas takes a DataFrame, not {type(frame).__name__}")
    if frame.columns.duplicated().any():
        raise ValueError("the frame's column names must be distinct")
    data = {str(name): frame[name] for name in frame.columns}
    write(data, dataset=dataset, variable_labels=frame.attrs.get("variable_labels"),
          value_labels=frame.attrs.get("value_labels"), activate=activate)

