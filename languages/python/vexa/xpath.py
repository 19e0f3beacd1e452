"""XPath over the output documents the engine keeps under handle names,
and the engine's settings.

A finished procedure's document is kept under its identifier; the active
dataset's dictionary can be kept under any handle:

    with dictionary_document("dict") as doc:
        names = doc.evaluate("//variable/@name")
"""
from __future__ import annotations

import ctypes
from types import TracebackType
from typing import List, Optional, Tuple, Type

from . import _native
from .errors import check, check_err

__all__ = [
    "create_dictionary",
    "evaluate",
    "remove",
    "handles",
    "tags",
    "xml",
    "image",
    "setting",
    "Document",
    "dictionary_document",
]


def _handle(handle: object) -> bytes:
    if not isinstance(handle, (str, bytes)):
        raise TypeError(f"a handle is a str, not {type(handle).__name__}")
    return _native.encode(handle)


def create_dictionary(handle: str) -> None:
    """Keeps the active dataset's dictionary as a document under `handle`."""
    check(_native.api().CreateXPathDictionary(_handle(handle)), "CreateXPathDictionary")


def remove(handle: str) -> None:
    """Discards the document under `handle` (9020 when there is none)."""
    check(_native.api().RemoveXPathHandle(_handle(handle)), "RemoveXPathHandle")


def evaluate(handle: str, expression: str, context: str = "") -> List[str]:
    """The strings of `expression`, run on the document node or, with a
    `context`, on each node the context gives."""
    raw_handle = _handle(handle)
    if not isinstance(expression, str) or not isinstance(context, str):
        raise TypeError("the expression and context are str")
    err = ctypes.c_int(0)
    result = _native.api().EvaluateXPath(raw_handle, _native.encode(context),
                                             _native.encode(expression), ctypes.byref(err))
    # Released whatever the outcome.
    strings = _native.take_string_list(result)
    check_err(err, "EvaluateXPath")
    return strings


def _list(call: str) -> List[str]:
    err = ctypes.c_int(0)
    strings = _native.take_string_list(getattr(_native.api(), call)(ctypes.byref(err)))
    check_err(err, call)
    return strings


def handles() -> List[str]:
    """The handles of the kept documents, in the order first kept."""
    return _list("GetHandleList")


def tags() -> List[str]:
    """The distinct pivot-table subtypes of the output so far."""
    return _list("GetOMSTagList")


def xml(handle: str) -> str:
    """The document under `handle` as XML text."""
    err = ctypes.c_int(0)
    units = _native.api().GetXmlUtf16(_handle(handle), ctypes.byref(err))
    check_err(err, "GetXmlUtf16")
    if not units:
        return ""
    length = 0
    while units[length] != 0:
        length += 1
    data = ctypes.string_at(ctypes.cast(units, ctypes.c_void_p), length * 2)
    return data.decode("utf-16-le", errors="replace")


def image(handle: str, name: str) -> Tuple[bytes, str]:
    """The bytes and type text ("PNG", ...; "" when unknown) of an image of
    the document under `handle`, found by name or path."""
    raw_handle = _handle(handle)
    raw_name = _handle(name)
    size = ctypes.c_int(0)
    kind = ctypes.c_void_p()
    err = ctypes.c_int(0)
    address = _native.api().GetImage(raw_handle, raw_name, ctypes.byref(size),
                                         ctypes.byref(kind), ctypes.byref(err))
    type_text = _native.take_string(kind) or ""
    data = b""
    if address:
        try:
            data = ctypes.string_at(address, max(size.value, 0))
        finally:
            _native.api().FreeString(ctypes.cast(address, ctypes.c_char_p))
    check_err(err, "GetImage")
    return data, type_text


def setting(name: str, default: str = "") -> str:
    """An engine setting (WIDTH, OLANG, UNICODE, LOCALE); `default` is the
    answer for a name the engine does not know (9027 without one)."""
    if not isinstance(name, str) or not isinstance(default, str):
        raise TypeError("a setting name and its default are str")
    err = ctypes.c_int(0)
    raw = _native.api().GetSetting(_native.encode(name), ctypes.byref(err),
                                       _native.encode(default))
    check_err(err, "GetSetting")
    return _native.decode(raw) or ""


class Document:
    """A document under a handle; a context manager that removes it on leaving
    when `owned`."""

    def __init__(self, handle: str, owned: bool = False) -> None:
        _handle(handle)
        self.handle = handle
        self.owned = owned

    def evaluate(self, expression: str, context: str = "") -> List[str]:
        return evaluate(self.handle, expression, context)

    def xml(self) -> str:
        return xml(self.handle)

    def image(self, name: str) -> Tuple[bytes, str]:
        return image(self.handle, name)

    def remove(self) -> None:
        self.owned = False
        remove(self.handle)

    def __enter__(self) -> "Document":
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        if self.owned:
            self.owned = False
            if kind is None:
                remove(self.handle)
            else:
                try:
                    remove(self.handle)
                except Exception:
                    pass


def dictionary_document(handle: str) -> Document:
    """Keeps the active dataset's dictionary under `handle`; the document is
    removed when the `with` block ends."""
    create_dictionary(handle)
    return Document(handle, owned=True)
