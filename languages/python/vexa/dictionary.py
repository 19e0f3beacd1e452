"""The dictionary of the active dataset: variables, their properties, the
multiple response sets, weight and split variables and file attributes.

Every property is read once when a `Variable` is made; the object does not
follow later changes of the dataset.
"""
from __future__ import annotations

import ctypes
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple, Union

from . import _native
from .errors import check, check_err

__all__ = [
    "MEASUREMENT_LEVELS",
    "ROLES",
    "ALIGNMENTS",
    "MissingValues",
    "Variable",
    "MultiResponseSet",
    "variable_count",
    "case_count",
    "variable_names",
    "variable_index",
    "variable",
    "variables",
    "multi_response_sets",
    "multi_response_set",
    "weight_variable",
    "split_variables",
    "data_file_attributes",
    "level_code",
    "role_code",
]

MEASUREMENT_LEVELS: Dict[int, str] = {1: "nominal", 2: "ordinal", 3: "scale"}
ROLES: Dict[int, str] = {0: "input", 1: "target", 2: "both", 3: "none", 4: "partition", 5: "split"}
ALIGNMENTS: Dict[int, str] = {0: "left", 1: "right", 2: "center"}

#: A missing-values text takes at most this many bytes.
MISSING_TEXT_BYTES = 8


def _code_for(table: Dict[int, str], value: Union[int, str], what: str) -> int:
    if isinstance(value, bool):
        raise TypeError(f"{what} must be an int or a name, not bool")
    if isinstance(value, int):
        if value not in table:
            raise ValueError(f"{what} {value} is not one of {sorted(table)}")
        return value
    if isinstance(value, str):
        for code, name in table.items():
            if name == value.lower():
                return code
        raise ValueError(f"{what} {value!r} is not one of {list(table.values())}")
    raise TypeError(f"{what} must be an int or a name, not {type(value).__name__}")


def level_code(level: Union[int, str]) -> int:
    """The measurement level's code (1 nominal, 2 ordinal, 3 scale) for a code or name."""
    return _code_for(MEASUREMENT_LEVELS, level, "measurement level")


def role_code(role: Union[int, str]) -> int:
    """The role's code (0 input ... 5 split) for a code or name."""
    return _code_for(ROLES, role, "role")


@dataclass(frozen=True)
class MissingValues:
    """User-missing values: up to three discrete values (numbers or texts of
    at most 8 bytes), or for numbers a range `low`..`high` with an optional
    extra discrete value in `values`."""

    values: Tuple[Union[float, str], ...] = ()
    low: Optional[float] = None
    high: Optional[float] = None

    def __post_init__(self) -> None:
        object.__setattr__(self, "values", tuple(self.values))
        if (self.low is None) != (self.high is None):
            raise ValueError("a range needs both its low and its high end")
        if self.is_range:
            if self.low > self.high:  # type: ignore[operator]
                raise ValueError("the range's low end lies above its high end")
            if len(self.values) > 1:
                raise ValueError("a range takes at most one extra value")
            if any(isinstance(v, str) for v in self.values):
                raise ValueError("a range is for numeric variables only")
        elif len(self.values) > 3:
            raise ValueError("at most three discrete missing values")
        kinds = {isinstance(v, str) for v in self.values}
        if len(kinds) > 1:
            raise TypeError("missing values mix numbers and texts")
        for value in self.values:
            if isinstance(value, str):
                if len(_native.encode(value)) > MISSING_TEXT_BYTES:
                    raise ValueError(f"missing value {value!r} is longer than 8 bytes")
            elif isinstance(value, bool) or not isinstance(value, (int, float)):
                raise TypeError(f"missing value {value!r} is neither a number nor a text")

    @property
    def is_range(self) -> bool:
        return self.low is not None

    @property
    def is_empty(self) -> bool:
        return not self.values and not self.is_range

    @property
    def is_string(self) -> bool:
        return any(isinstance(v, str) for v in self.values)

    def __contains__(self, value: object) -> bool:
        """Whether `value` is user-missing by these missing values (texts by
        their first 8 bytes, the rest blank, as the engine judges them)."""
        if value is None:
            return False
        if isinstance(value, str):
            wanted = _native.encode(value)[:MISSING_TEXT_BYTES].rstrip(b" ")
            return any(isinstance(v, str) and _native.encode(v).rstrip(b" ") == wanted
                       for v in self.values)
        if not isinstance(value, (int, float)):
            return False
        if self.is_range and self.low <= value <= self.high:  # type: ignore[operator]
            return True
        return any(not isinstance(v, str) and v == value for v in self.values)

    def numeric_format(self) -> Tuple[int, float, float, float]:
        """The missing format and three doubles of the library's numeric calls
        (0..3 discrete values, -2 a range, -3 a range and one value)."""
        if self.is_string:
            raise TypeError("text missing values for a numeric variable")
        if self.is_range:
            extra = float(self.values[0]) if self.values else 0.0
            return (-3 if self.values else -2, float(self.low), float(self.high), extra)  # type: ignore[arg-type]
        numbers = [float(v) for v in self.values] + [0.0] * (3 - len(self.values))
        return (len(self.values), numbers[0], numbers[1], numbers[2])

    def string_format(self) -> Tuple[int, Optional[bytes], Optional[bytes], Optional[bytes]]:
        """The missing format and three texts of the library's string calls
        (None for an unused one: a null text is left out)."""
        if self.is_range or (self.values and not self.is_string):
            raise TypeError("numeric missing values for a string variable")
        texts: List[Optional[bytes]] = [_native.encode(v) for v in self.values]  # type: ignore[arg-type]
        texts += [None] * (3 - len(texts))
        return (len(self.values), texts[0], texts[1], texts[2])

    @classmethod
    def from_numeric(cls, missing_format: int, v1: float, v2: float, v3: float) -> "MissingValues":
        if missing_format == -2:
            return cls((), v1, v2)
        if missing_format == -3:
            return cls((v3,), v1, v2)
        if 0 <= missing_format <= 3:
            return cls(tuple((v1, v2, v3)[:missing_format]))
        raise ValueError(f"missing format {missing_format} is not one the library gives")

    @classmethod
    def from_strings(cls, missing_format: int, texts: Tuple[bytes, bytes, bytes]) -> "MissingValues":
        if not 0 <= missing_format <= 3:
            raise ValueError(f"missing format {missing_format} is not one the library gives")
        return cls(tuple(_text_from_buffer(t) for t in texts[:missing_format]))


def _text_from_buffer(raw: bytes) -> str:
    # Buffers come blank-padded to 8 bytes, or zero-terminated when shorter.
    return (_native.decode(raw.split(b"\0", 1)[0].rstrip(b" ")) or "")


def as_missing_values(value: object) -> MissingValues:
    """A MissingValues from a MissingValues, None, or a sequence of values."""
    if value is None:
        return MissingValues()
    if isinstance(value, MissingValues):
        return value
    if isinstance(value, (str, bytes)):
        raise TypeError("missing values must be a MissingValues or a sequence of values")
    try:
        return MissingValues(tuple(value))  # type: ignore[arg-type]
    except TypeError:
        raise TypeError("missing values must be a MissingValues or a sequence of values") from None


@dataclass(frozen=True)
class Variable:
    """One variable of the active dataset as it was when read."""

    index: int
    name: str
    label: str
    type: int
    format: str
    measurement_level: int
    role: int
    missing_values: MissingValues = field(default_factory=MissingValues)
    value_labels: Dict[Union[float, str], str] = field(default_factory=dict)
    attributes: Dict[str, List[str]] = field(default_factory=dict)

    @property
    def is_string(self) -> bool:
        return self.type != 0

    @property
    def width(self) -> int:
        """Bytes a value takes: the string width, 8 for a number."""
        return self.type if self.type else 8

    @property
    def level_name(self) -> str:
        return MEASUREMENT_LEVELS.get(self.measurement_level, str(self.measurement_level))

    @property
    def role_name(self) -> str:
        return ROLES.get(self.role, str(self.role))


@dataclass(frozen=True)
class MultiResponseSet:
    """A multiple response set: kind 1 categories, 2 dichotomies."""

    name: str
    label: str
    kind: int
    counted_value: str
    second: int
    members: List[str]

    @property
    def is_dichotomy(self) -> bool:
        return self.kind == 2


def _check_index(index: object) -> int:
    if isinstance(index, bool) or not isinstance(index, int):
        raise TypeError(f"a variable index must be an int, not {type(index).__name__}")
    if index < 0:
        raise IndexError(f"variable index {index} is negative")
    return index


def _int_query(name: str, *arguments: object) -> int:
    err = ctypes.c_int(0)
    value = getattr(_native.api(), name)(*arguments, ctypes.byref(err))
    check_err(err, name)
    return int(value)


def _text_query(name: str, *arguments: object) -> str:
    err = ctypes.c_int(0)
    raw = getattr(_native.api(), name)(*arguments, ctypes.byref(err))
    check_err(err, name)
    return _native.decode(raw) or ""


def variable_count() -> int:
    """Variables of the active dataset."""
    return _int_query("GetVariableCount")


def case_count() -> int:
    """Cases of the active dataset."""
    return _int_query("GetRowCount")


def variable_names() -> List[str]:
    """The names of the active dataset's variables, in order."""
    return [_text_query("GetVariableName", i) for i in range(variable_count())]


def variable_index(name_or_index: Union[str, int]) -> int:
    """The position of a variable given by name or position."""
    if isinstance(name_or_index, str):
        names = variable_names()
        try:
            return names.index(name_or_index)
        except ValueError:
            raise KeyError(f"no variable named {name_or_index!r}") from None
    index = _check_index(name_or_index)
    count = variable_count()
    if index >= count:
        raise IndexError(f"variable index {index} outside 0..{count - 1}")
    return index


def _missing_values(index: int, is_string: bool) -> MissingValues:
    lib = _native.api()
    missing_format = ctypes.c_int(0)
    if is_string:
        # Nine bytes each: an 8-byte value comes without a terminator.
        buffers = [ctypes.create_string_buffer(MISSING_TEXT_BYTES + 1) for _ in range(3)]
        check(lib.GetVarCMissingValues(index, ctypes.byref(missing_format), *buffers),
              "GetVarCMissingValues")
        return MissingValues.from_strings(missing_format.value,
                                          tuple(b.raw for b in buffers))  # type: ignore[arg-type]
    values = [ctypes.c_double(0) for _ in range(3)]
    check(lib.GetVarNMissingValues(index, ctypes.byref(missing_format),
                                   *[ctypes.byref(v) for v in values]), "GetVarNMissingValues")
    return MissingValues.from_numeric(missing_format.value, *[v.value for v in values])


def read_value_labels(is_string: bool, string_call: str, numeric_call: str,
                      *leading: object) -> Dict[Union[float, str], str]:
    """Value labels through a getter pair that takes `leading` arguments, then
    the values, labels and count outputs; the arrays are released."""
    lib = _native.api()
    count = ctypes.c_int(0)
    labels = ctypes.POINTER(ctypes.c_char_p)()
    if is_string:
        values = ctypes.POINTER(ctypes.c_char_p)()
        check(getattr(lib, string_call)(*leading, ctypes.byref(values), ctypes.byref(labels),
                                        ctypes.byref(count)), string_call)
        if count.value <= 0 or not values:
            return {}
        try:
            return {(_native.decode(values[i]) or "").rstrip(" "): _native.decode(labels[i]) or ""
                    for i in range(count.value)}
        finally:
            lib.FreeCValueLabels(values, labels, count.value)
    numbers = ctypes.POINTER(ctypes.c_double)()
    check(getattr(lib, numeric_call)(*leading, ctypes.byref(numbers), ctypes.byref(labels),
                                     ctypes.byref(count)), numeric_call)
    if count.value <= 0 or not numbers:
        return {}
    try:
        return {numbers[i]: _native.decode(labels[i]) or "" for i in range(count.value)}
    finally:
        lib.FreeNValueLabels(numbers, labels, count.value)


def _value_labels(index: int, is_string: bool) -> Dict[Union[float, str], str]:
    return read_value_labels(is_string, "GetCValueLabels", "GetNValueLabels", index)


def string_array_result(call: str, free_name: str, *arguments: object) -> List[str]:
    """Calls a function whose last two parameters are a "char***" and its
    count, and gives the strings, released through `free_name`."""
    array = ctypes.POINTER(ctypes.c_char_p)()
    count = ctypes.c_int(0)
    status = getattr(_native.api(), call)(*arguments, ctypes.byref(array), ctypes.byref(count))
    if status != 0:
        # A failed call may still have handed over an array.
        _native.take_strings(array, count.value, free_name)
        check(status, call)
    return _native.take_strings(array, count.value, free_name)


def _attributes(index: int) -> Dict[str, List[str]]:
    names = string_array_result("GetVarAttributeNames", "FreeAttributeNames", index)
    return {name: string_array_result("GetVarAttributes", "FreeAttributes", index,
                                      _native.encode(name))
            for name in names}


def variable(name_or_index: Union[str, int]) -> Variable:
    """Every property of one variable of the active dataset."""
    index = variable_index(name_or_index)
    return _read_variable(index)


def _read_variable(index: int) -> Variable:
    name = _text_query("GetVariableName", index)
    label = _text_query("GetVariableLabel", index)
    type_ = _int_query("GetVariableType", index)
    format_ = _text_query("GetVariableFormat", index)
    level = _int_query("GetVariableMeasurementLevel", index)
    role = _int_query("GetVariableRole", index)
    is_string = type_ != 0
    return Variable(index=index, name=name, label=label, type=type_, format=format_,
                    measurement_level=level, role=role,
                    missing_values=_missing_values(index, is_string),
                    value_labels=_value_labels(index, is_string),
                    attributes=_attributes(index))


def variables() -> List[Variable]:
    """All variables of the active dataset, in order."""
    return [_read_variable(i) for i in range(variable_count())]


def multi_response_set(name: str) -> MultiResponseSet:
    """One multiple response set by name (VexaError 9003 for an unknown one)."""
    if not isinstance(name, str):
        raise TypeError(f"a set name must be a str, not {type(name).__name__}")
    lib = _native.api()
    label = ctypes.c_void_p()
    counted = ctypes.c_void_p()
    kind = ctypes.c_int(0)
    second = ctypes.c_int(0)
    members = ctypes.c_void_p()
    err = ctypes.c_int(0)
    lib.GetMultiResponseSet(_native.encode(name), ctypes.byref(label), ctypes.byref(kind),
                            ctypes.byref(counted), ctypes.byref(second), ctypes.byref(members),
                            ctypes.byref(err))
    # Released whatever the outcome: a failed call may have filled some.
    label_text = _native.take_string(label)
    counted_text = _native.take_string(counted)
    member_names = _native.take_string_list(members.value)
    check_err(err, "GetMultiResponseSet")
    return MultiResponseSet(name=name, label=label_text or "", kind=kind.value,
                            counted_value=counted_text or "", second=second.value,
                            members=member_names)


def multi_response_sets() -> List[MultiResponseSet]:
    """Every multiple response set of the active dataset."""
    err = ctypes.c_int(0)
    names = _native.take_string_list(_native.api().GetMultiResponseSetNames(ctypes.byref(err)))
    check_err(err, "GetMultiResponseSetNames")
    return [multi_response_set(name) for name in names]


def weight_variable() -> Optional[str]:
    """The weight variable's name, None when the dataset is not weighted."""
    return _text_query("GetWeightVar") or None


def split_variables() -> List[str]:
    """The names of the split variables (empty without splits)."""
    err = ctypes.c_int(0)
    names = _native.take_string_list(_native.api().GetSplitVariableNames(ctypes.byref(err)))
    check_err(err, "GetSplitVariableNames")
    return names


def data_file_attributes() -> Dict[str, List[str]]:
    """The data file's attributes: name -> values."""
    names = string_array_result("GetDataFileAttributeNames", "FreeAttributeNames")
    return {name: string_array_result("GetDataFileAttributes", "FreeAttributes",
                                      _native.encode(name))
            for name in names}
