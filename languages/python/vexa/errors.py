"""Exceptions that carry the library's status codes.

Every call that fails raises `VexaError` (or one of its subclasses) with the
status the library returned, the name of the call and a message. The
messages cover every code the library produces, the codes of the reference
engine, and the platform's errno values, which pass through unchanged.
"""
from __future__ import annotations

import ctypes
import errno
import os
from typing import Dict, Type, Union

from ._statuscodes import ENGINE_MESSAGES, LIBRARY_MESSAGES

__all__ = [
    "VexaError",
    "EngineNotRunning",
    "CasesUsedUp",
    "TransportError",
    "LanguageError",
    "ProgramBlockError",
    "LIBRARY_MESSAGES",
    "ENGINE_MESSAGES",
    "message_for",
    "error_for",
    "check",
    "check_err",
]


def message_for(code: int) -> str:
    """A message for any status: the library's, the engine's, or errno's."""
    if code == 0:
        return "success"
    if code in LIBRARY_MESSAGES:
        return LIBRARY_MESSAGES[code]
    if code in ENGINE_MESSAGES:
        return ENGINE_MESSAGES[code]
    if code in errno.errorcode:
        return os.strerror(code)
    return f"status {code}"


class VexaError(Exception):
    """A call of the library failed with `code`."""

    def __init__(self, code: int, call: str = "", message: str = "") -> None:
        self.code = int(code)
        self.call = call
        self.message = message or message_for(self.code)
        where = f"{call}: " if call else ""
        super().__init__(f"{where}{self.message} ({self.code})")


class EngineNotRunning(VexaError):
    """The engine is not running (17)."""


class ProgramBlockError(VexaError):
    """A program block failed: the message is the block's own error (the
    last line of a Python traceback, an R condition's message), `traceback`
    the whole text the language reported (empty when it reported none), and
    `code` the block's status, which is the language's and no library code."""

    def __init__(self, code: int, language: str, message: str, traceback: str = "") -> None:
        Exception.__init__(self, message)
        self.code = int(code)
        self.call = "Submit"
        self.language = language
        self.message = message
        self.traceback = traceback


class CasesUsedUp(VexaError):
    """A cursor has no further case (1900)."""


class TransportError(VexaError):
    """The pipes or sockets to the engine failed (99103, 99104, 99105, 99106)."""


class LanguageError(VexaError):
    """A language host failed (99114 to 99123, 999988)."""


_SUBCLASSES: Dict[int, Type[VexaError]] = {17: EngineNotRunning, 1900: CasesUsedUp}
_SUBCLASSES.update({code: TransportError for code in (99103, 99104, 99105, 99106)})
_SUBCLASSES.update({code: LanguageError for code in LIBRARY_MESSAGES if 99114 <= code <= 99123})
_SUBCLASSES[999988] = LanguageError


def error_for(code: int, call: str = "", message: str = "") -> VexaError:
    """The exception that stands for `code`, with `message` when given."""
    return _SUBCLASSES.get(int(code), VexaError)(code, call, message)


# Codes after which the engine may be gone: the package then asks whether
# one still runs, so the caller hears that rather than a pipe's code.
_ENGINE_LOST = (17, 32, 99103, 99104)


def not_running(call: str = "", ended: bool = False) -> EngineNotRunning:
    """The one exception for a call made while no engine runs."""
    text = ("the engine is not running (it has ended): start it again with vexa.start() or "
            "vexa.session()" if ended else
            "the engine is not running: start one with vexa.start() or vexa.session()")
    return EngineNotRunning(17, call, text)


def _engine_gone(status: int) -> bool:
    if status not in _ENGINE_LOST:
        return False
    from . import _native
    return not _native.engine_still_running()


def check(status: int, call: str) -> None:
    """Raises the error for a non-zero status a call returned."""
    if status != 0:
        if _engine_gone(status):
            raise not_running(call, ended=status != 17)
        raise error_for(status, call)


def check_err(err: Union[ctypes.c_int, int], call: str) -> None:
    """Raises the error for a non-zero err out-parameter."""
    value = err.value if isinstance(err, ctypes.c_int) else int(err)
    check(value, call)
