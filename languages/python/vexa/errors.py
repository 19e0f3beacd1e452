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

#: The codes the library itself produces.
LIBRARY_MESSAGES: Dict[int, str] = {
    1: "the library's process-wide state is not initialised",
    10: "variable index outside the case's variables",
    17: "the engine is not running; nothing was sent",
    24: "a cursor read of a variable of the other type",
    56: "the data-step cell is not numeric",
    57: "the data-step cell is not a string",
    87: "cell write to a dataset not created here",
    89: "cell write outside a data step or procedure",
    93: "the engine still names an active dataset",
    97: "cell write past the dataset's cases",
    1900: "the cursor's cases are used up",
    99103: "a read returned no bytes",
    99104: "a pipe operation failed",
    99105: "a received message is malformed or lacks a value the call reads",
    99106: "a pipe without a name, or a name too long for a socket path",
    99107: "a process could not be started",
    99108: "an argument the call cannot use",
    99114: "a language library or one of its required entry points is missing",
    99115: "the language was not initialised",
    99116: "a driver thread could not start",
    99118: "the language's section has no LIB_NAME",
    99119: "an unknown command key on the command channel",
    99120: "a language the configuration does not name",
    99121: "the Java extension socket could not accept",
    99122: "a Java extension socket failure",
    99123: "the Java process ended right after it connected",
    99124: "a fault inside the library itself (an unexpected exception); please report it",
    999988: "the Python host's pre action skipped the block",
}

#: The codes of the reference engine, carried in its replies.
ENGINE_MESSAGES: Dict[int, str] = {
    23: "no further case",
    9001: "a command the engine does not answer",
    9002: "the engine's data file or dictionary could not be read",
    9003: "no variable at that position, or no set of that name",
    9004: "no procedure is open",
    9005: "a procedure is already open",
    9006: "a SET command with a value it does not take",
    9007: "the output log cannot be opened",
    9008: "a pivot table with this key already exists",
    9009: "no pivot table with this key",
    9010: "the table already has this dimension",
    9011: "no dimension with this key",
    9012: "a dimension place other than row, column or layer",
    9013: "some dimension has no current category",
    9014: "no cell has been set",
    9015: "a negative column width, or a minimum above the maximum",
    9016: "the table already has cells",
    9017: "the output document cannot be written",
    9090: "SAVE could not write the data file or its dictionary",
    9091: "GET DATA or SAVE /TYPE=CSV needs /FILE='<path>' and no other subcommand",
    9020: "no XPath document under this handle",
    9021: "an empty handle name",
    9022: "the text is not well-formed XML",
    9023: "the XPath expression does not compile or fails",
    9024: "the context expression gives no node-set",
    9025: "no image of this name",
    9026: "the image's file cannot be read",
    9027: "a setting the engine does not know",
    9028: "a server mode other than 0 or 1",
    9029: "a FILE HANDLE command without a name or path",
    9040: "no case cursor is open",
    9041: "a write on a read cursor",
    9042: "the case size is not that of the cursor's layout",
    9043: "the cursor is on no case",
    9044: "a value of the other type than the variable's",
    9045: "a count or length the request cannot use",
    9046: "not a valid variable name",
    9047: "the variable name is taken",
    9048: "a variable type outside 0..32767",
    9049: "new variables wait for CommitHeader",
    9050: "new variables after CommitHeader",
    9051: "a variable the command may not touch",
    9052: "missing values the engine does not take",
    9053: "a level, role, alignment, format or position the engine does not take",
    9054: "a variable named twice",
    9060: "no dataset of this name",
    9061: "the dataset name is taken",
    9062: "an empty dataset name, or \"*\", where a new name is needed",
    9063: "the active dataset is in use by a procedure",
    9064: "the active dataset cannot be closed",
    9065: "a row outside the dataset's cases",
    9066: "a data step or procedure is open",
    9067: "no data step is open",
    9068: "case data that does not fit the dataset",
    9069: "not a usable temp file name",
    9070: "the temp file cannot be written",
    9071: "the temp file cannot be read",
    9072: "rows the temp file does not have",
    9073: "a transfer command without a usable socket or variables",
    9074: "the transfer's socket failed",
    9075: "the transfer's stream is malformed",
    9080: "a program block without its END PROGRAM line",
    9081: "the engine hosts no languages",
    9082: "a JAVAEXTENSION block that is not a command name and at most one line of text",
    9083: "the Java extension program ended with a non-zero exit status",
    9084: "a JAVAEXTENSION block while another one runs",
    9085: "the program block was interrupted",
    9100: "a command the engine does not know",
    9101: "a missing variable, or one the data does not have",
    9102: "a keyword, value or expression the command does not take",
    9103: "a string variable where a numeric one is needed",
    9104: "only the program that started the engine may stop it",
}


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
