"""Starting, stopping and driving the engine.

`start()` builds the argument text of StartVexa from keyword arguments, so a
caller never has to know its layout: the engine home comes first and ends at
a comma (the library takes everything before the first comma as the home),
the engine's own options follow, each running up to the next blank.
"""
from __future__ import annotations

import atexit
import ctypes
import os
import shutil
import tempfile
import threading
from types import TracebackType
from typing import Iterable, Optional, Sequence, Tuple, Type, Union

from . import _native, outputlog
from .errors import LIBRARY_MESSAGES, ProgramBlockError, VexaError, check, error_for

__all__ = [
    "build_arguments",
    "start",
    "stop",
    "is_running",
    "is_driven",
    "nest_depth",
    "submit",
    "queue_command_part",
    "post_output",
    "Session",
    "session",
]

PathLike = Union[str, "os.PathLike[str]"]

# True while an engine this interpreter started runs; such an engine is
# stopped when the interpreter exits, so that its output is complete.
_started_here = False


def _stop_at_exit() -> None:
    if _started_here:
        stop()

Commands = Union[str, bytes, Sequence[Union[str, bytes]]]


def _path_option(option: str, value: Optional[PathLike]) -> Optional[str]:
    if value is None:
        return None
    text = os.fspath(value)
    # The engine cuts each option at the next blank: a path with one would
    # silently become another path plus a stray word.
    if not text or any(c.isspace() for c in text):
        raise ValueError(f"{option}: the path must be non-empty and hold no blanks: {text!r}")
    return f"-{option}={text}"


def build_arguments(engine_home: Optional[PathLike] = None,
                    output_log: Optional[PathLike] = None,
                    output_html: Optional[PathLike] = None,
                    *extra: str,
                    output_xml: Optional[PathLike] = None,
                    data_file: Optional[PathLike] = None) -> str:
    """The StartVexa argument text for these options.

    `engine_home` defaults to the environment's VEXA_ENGINE_HOME; without
    either the library uses its own default home. `extra` texts are passed
    on after the engine options, each separated by a blank.
    """
    if engine_home is None:
        engine_home = os.environ.get("VEXA_ENGINE_HOME") or None
    parts = []
    if engine_home is not None:
        home = os.fspath(engine_home)
        if not home or "," in home:
            raise ValueError(f"the engine home must be non-empty and hold no comma: {home!r}")
        parts.append(f"-vexahome={home},")
    for option, value in (("outputlog", output_log), ("outputhtml", output_html),
                          ("outputxml", output_xml), ("datafile", data_file)):
        text = _path_option(option, value)
        if text:
            parts.append(text)
    for argument in extra:
        if not isinstance(argument, str):
            raise TypeError(f"extra arguments must be str, not {type(argument).__name__}")
        parts.append(argument)
    return " ".join(parts)


class _OutputLog:
    """The output log of the engine this process started: the caller's, or
    a private one (removed when the engine stops) so that a failed block's
    report can be read back."""

    def __init__(self) -> None:
        self.path: Optional[str] = None
        self._private: Optional[str] = None

    def choose(self, requested: Optional[PathLike]) -> str:
        self.release()
        if requested is not None:
            self.path = os.fspath(requested)
        else:
            self._private = tempfile.mkdtemp(prefix="vexa-output-")
            self.path = os.path.join(self._private, "output.log")
        return self.path

    def release(self) -> None:
        if self._private:
            shutil.rmtree(self._private, ignore_errors=True)
        self._private = None
        self.path = None


_log = _OutputLog()
atexit.register(_log.release)
# Registered after the log's release, so that it runs first: the engine
# writes the log until it stops.
atexit.register(_stop_at_exit)


def start(engine_home: Optional[PathLike] = None,
          output_log: Optional[PathLike] = None,
          output_html: Optional[PathLike] = None,
          *extra: str,
          output_xml: Optional[PathLike] = None,
          data_file: Optional[PathLike] = None) -> None:
    """Starts the engine (a no-op when one is running already).

    Raises VexaError with StartVexa's status, e.g. 9002 for an unreadable
    data file or 9007 for an output log that cannot be opened; its message is
    the engine's reason when it gave one (a data file's name, line and what). Without
    `output_log` the engine writes a private one, which failed program blocks
    are reported from.
    """
    build_arguments(engine_home, output_log, output_html, *extra,
                    output_xml=output_xml, data_file=data_file)
    lib = _native.library()
    if lib.IsBackendReady():
        return
    arguments = build_arguments(engine_home, _log.choose(output_log), output_html, *extra,
                                output_xml=output_xml, data_file=data_file)
    global _started_here
    status = lib.StartVexa(_native.encode(arguments))
    if status:
        _log.release()
        reason = _native.decode(lib.GetStartFailure()) or ""
        raise error_for(status, "StartVexa", reason)
    _started_here = True


# The engine's refusal of a stop from a caller that does not drive it.
_STOP_NOT_ALLOWED = 9104


def stop() -> None:
    """Stops the engine this process started; nothing happens when no engine
    runs. Inside a program block, where the engine belongs to the program that
    started it, raises VexaError 9104 and the engine keeps serving."""
    global _started_here
    if is_running() and not is_driven() and nest_depth() > 0:
        raise error_for(_STOP_NOT_ALLOWED, "stop")
    _started_here = False
    _native.library().StopVexa()
    _native.engine_stopped()
    if not _native.library().IsBackendReady():
        _log.release()


def is_running() -> bool:
    """True while the engine answers."""
    return bool(_native.library().IsBackendReady())


def is_driven() -> bool:
    """True when a running engine was started by this process."""
    lib = _native.library()
    # IsXDriven answers true when no engine runs at all; ask only a running one.
    return bool(lib.IsBackendReady()) and bool(lib.IsXDriven())


def _command_bytes(commands: Commands) -> bytes:
    if isinstance(commands, (str, bytes)):
        return _native.encode(commands)
    if isinstance(commands, Iterable):
        lines = list(commands)
        for line in lines:
            if not isinstance(line, (str, bytes)):
                raise TypeError(f"command lines must be str or bytes, not {type(line).__name__}")
        return b"\n".join(_native.encode(line) for line in lines)
    raise TypeError(f"commands must be a text or a sequence of lines, not {type(commands).__name__}")


# Statuses of a submission that are the library's or the engine's own, not
# a block's: the block never ran, or its language process is gone.
_NOT_BLOCK_STATUSES = frozenset(code for code in LIBRARY_MESSAGES if code >= 99103) | {
    17, 32, 9080, 9081, 9082, 9083}


def _block_error(status: int, language: str, mark: outputlog.LogMark) -> ProgramBlockError:
    message, report = outputlog.block_report(language, mark.entries())
    if not message:
        message = f"the {language} program block ended with status {status}"
    return ProgramBlockError(status, language, message, report)


def _interruptible(call):
    """Runs a library call that may wait on a program block so that Ctrl-C
    interrupts the block (InterruptVexa) rather than waiting for its end; the
    KeyboardInterrupt is raised once the call has returned.

    Signals reach only the main thread, so elsewhere the call runs as is.
    """
    if threading.current_thread() is not threading.main_thread():
        return call()
    outcome = {}
    done = threading.Event()

    def run() -> None:
        try:
            outcome["result"] = call()
        except BaseException as error:  # handed to the caller's thread
            outcome["error"] = error
        finally:
            done.set()

    threading.Thread(target=run, name="vexa-call", daemon=True).start()
    interrupted = None
    while not done.is_set():
        try:
            done.wait()
        except KeyboardInterrupt as error:
            interrupted = error
            _native.library().InterruptVexa()
    if interrupted is not None:
        raise interrupted
    if "error" in outcome:
        raise outcome["error"]
    return outcome["result"]


# Where the engine keeps the document of the last command that failed:
# <error command=".." line=".." code="..">text</error>.
_ERROR_HANDLE = "Error"


def _filed_error(status: int) -> Optional[Tuple[str, str]]:
    """The command and error text the engine filed for this failure, if the
    last failure it filed has this status."""
    if status == 17:
        return None
    from . import xpath  # the module imports nothing of this one
    try:
        filed = xpath.evaluate(_ERROR_HANDLE, "concat(/error/@code, '|', /error/@command, '|', string(/error))")
    except VexaError:
        return None
    code, _, rest = filed[0].partition("|") if filed else ("", "", "")
    if code != str(status):
        return None
    command, _, text = rest.partition("|")
    return command, text


def submit(commands: Commands) -> None:
    """Submits command text; a list of lines is joined by line ends into one
    submission (so that a program block arrives whole).

    A program block that fails raises ProgramBlockError: its message is the
    block's own error, `traceback` what the language reported, `code` the
    block's status. A command that fails raises VexaError with its status and
    the engine's error text, which names the command, its line and the cause.
    Ctrl-C while a block runs interrupts the block in the engine and raises
    KeyboardInterrupt here once the engine has answered.
    """
    data = _command_bytes(commands)
    lib = _native.api()
    mark = outputlog.LogMark(_log.path)
    status = _interruptible(lambda: lib.Submit(data, len(data)))
    if status:
        filed = _filed_error(status)
        language = outputlog.block_language(data)
        failed_command = filed is not None and not filed[0].startswith("BEGIN PROGRAM")
        if language is None or status in _NOT_BLOCK_STATUSES or failed_command:
            raise error_for(status, "Submit", filed[1] if filed else "")
        raise _block_error(status, language, mark)


def queue_command_part(part: Union[str, bytes]) -> None:
    """Queues one part of a command; the engine runs the gathered parts once
    a line ends with a period or a blank part ends them."""
    data = _native.encode(part)
    status = _native.api().QueueCommandPart(data, len(data))
    if status:
        filed = _filed_error(status)
        raise error_for(status, "QueueCommandPart", filed[1] if filed else "")


def nest_depth() -> int:
    """How deep the caller runs in program blocks: 0 for the program that
    started the engine, 1 inside a block, 2 inside a block a block submitted."""
    depth = ctypes.c_int(0)
    check(_native.library().GetNestDepth(ctypes.byref(depth)), "GetNestDepth")
    return depth.value


def post_output(text: Union[str, bytes]) -> None:
    """Adds text to the engine's output log."""
    data = _native.encode(text)
    check(_native.api().PostVexaOutput(data, len(data)), "PostVexaOutput")


class Session:
    """Runs the engine for the length of a `with` block.

    The engine is stopped on leaving only when this session started it, so
    a session nested in code that already runs an engine leaves it alone.
    """

    def __init__(self, engine_home: Optional[PathLike] = None,
                 output_log: Optional[PathLike] = None,
                 output_html: Optional[PathLike] = None,
                 *extra: str,
                 output_xml: Optional[PathLike] = None,
                 data_file: Optional[PathLike] = None) -> None:
        # Checked now, so that a bad option fails where the session is made.
        self.arguments = build_arguments(engine_home, output_log, output_html, *extra,
                                         output_xml=output_xml, data_file=data_file)
        self._options = (engine_home, output_log, output_html, extra, output_xml, data_file)
        self._started = False

    def __enter__(self) -> "Session":
        if not is_running():
            home, log, html, extra, xml, data = self._options
            start(home, log, html, *extra, output_xml=xml, data_file=data)
            self._started = True
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        if self._started:
            self._started = False
            stop()

    submit = staticmethod(submit)


def session(engine_home: Optional[PathLike] = None,
            output_log: Optional[PathLike] = None,
            output_html: Optional[PathLike] = None,
            *extra: str,
            output_xml: Optional[PathLike] = None,
            data_file: Optional[PathLike] = None) -> Session:
    """A `Session` with these options: `with vexa.session(...) as s: ...`."""
    return Session(engine_home, output_log, output_html, *extra,
                   output_xml=output_xml, data_file=data_file)
