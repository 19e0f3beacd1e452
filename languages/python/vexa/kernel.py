"""A Jupyter kernel that runs notebook cells in the statistics engine.

Each cell is command syntax, `BEGIN PROGRAM PYTHON.` and `R.` blocks
included, submitted whole; what the cell added to the engine's output comes
back as rich output in the engine's own rendering: each pivot table as HTML
with a plain-text form, text blocks as text, printed lines as one stream. A
command that fails makes the cell's error, with the engine's text. A cell
whose first line is `%python` runs in the kernel's own Python with `vexa`
connected to the same engine; `?NAME` shows a variable's dictionary entry.

    python3 -m vexa.kernel install [--user] [--engine-home DIR]
    python3 -m vexa.kernel -f CONNECTION_FILE      (what Jupyter runs)

The engine is started on the first cell (its home from VEXA_ENGINE_HOME, a
data file from VEXA_DATA_FILE) and stopped when the kernel shuts down or
restarts. The stop button interrupts the running program block in the
engine; the cell then ends with KeyboardInterrupt and the engine serves the
next one.
"""
from __future__ import annotations

import argparse
import ast
import base64
import codeop
import html
import json
import os
import re
import shutil
import sys
import tempfile
import traceback
from typing import Any, Dict, List, Optional, Sequence, Tuple

from ipykernel.kernelbase import Kernel

from . import __version__, engine, kernelcomplete, kernelpieces
from .errors import ProgramBlockError, VexaError

__all__ = ["VexaKernel", "install", "main"]

_PYTHON_MAGIC = "%python"
# Page pieces the notebook shows already: the cell's own text is the command.
_SILENT_KINDS = frozenset({"command"})
_RULE = re.compile(r"([^{}]+)\{([^}]*)\}")


def scoped_style(style: str, scope: str) -> str:
    """The page's style rules limited to elements inside `scope`; rules for
    the page itself (body, its headings) would restyle the notebook."""
    rules = []
    for selectors, declarations in _RULE.findall(style):
        kept = [f"{scope} {s.strip()}" for s in selectors.split(",")
                if s.strip() and s.strip() not in ("body", "h1")]
        if kept:
            rules.append(f"{', '.join(kept)} {{{declarations}}}")
    return "\n".join(rules)


class VexaKernel(Kernel):
    implementation = "vexa"
    implementation_version = __version__
    banner = "Command syntax for the statistics engine (vexaxd_p); %python for the kernel's Python"
    language_info = {
        "name": "vexa-syntax",
        "mimetype": "text/x-vexa-syntax",
        "file_extension": ".vxs",
        "codemirror_mode": "text/plain",
        "pygments_lexer": "text",
    }

    def __init__(self, **kwargs: Any) -> None:
        super().__init__(**kwargs)
        self._folder = tempfile.mkdtemp(prefix="vexa-kernel-")
        self._page = os.path.join(self._folder, "output.html")
        self._shown = 0
        self._last: Optional[kernelpieces.Piece] = None
        self._namespace: Dict[str, Any] = {"__name__": "__vexa_notebook__"}

    def set_parent(self, ident: Any, parent: dict, channel: str = "shell") -> None:
        """What the cell prints in `%python` goes out as the cell's own
        stream: the streams carry the request they answer."""
        super().set_parent(ident, parent, channel)
        if channel == "shell":
            for stream in (sys.stdout, sys.stderr):
                if hasattr(stream, "set_parent"):
                    stream.set_parent(parent)

    # The engine ------------------------------------------------------------

    def _ensure_engine(self) -> None:
        if engine.is_running():
            return
        # A new engine writes a new page: its pieces count from none.
        self._shown, self._last = 0, None
        engine.start(output_html=self._page, data_file=os.environ.get("VEXA_DATA_FILE") or None)
        import vexa
        self._namespace.setdefault("vexa", vexa)

    def _stop_engine(self) -> None:
        if engine.is_running() and engine.is_driven():
            engine.stop()

    # Output ----------------------------------------------------------------

    def _new_pieces(self) -> Tuple[List[kernelpieces.Piece], str]:
        """The pieces past those shown. Printed lines that follow printed
        lines join their piece, so when the last piece shown has grown,
        its new lines come first."""
        pieces, style = kernelpieces.read_pieces(self._page)
        if len(pieces) < self._shown:
            self._shown, self._last = 0, None
        new = pieces[self._shown:]
        if self._shown and self._last and pieces[self._shown - 1] != self._last:
            before = kernelpieces.plain_text(self._last.html)
            after = kernelpieces.plain_text(pieces[self._shown - 1].html)
            if self._last.kind == "output" and after.startswith(before + "\n"):
                added = html.escape(after[len(before) + 1:])
                new.insert(0, kernelpieces.Piece("output", f"<pre>{added}</pre>"))
        self._shown = len(pieces)
        self._last = pieces[-1] if pieces else None
        return new, style

    def _show_pieces(self, engine_failed: bool) -> None:
        """Sends what the engine added to its output since the last cell.
        The failure the cell reports as its error is not shown twice."""
        pieces, style = self._new_pieces()
        errors = [i for i, p in enumerate(pieces) if p.kind == "error"]
        skipped = errors[-1] if errors and engine_failed else None
        scope = f"vexa-{os.getpid()}"
        css = scoped_style(style, f".{scope}")
        for index, piece in enumerate(pieces):
            if piece.kind in _SILENT_KINDS or index == skipped:
                continue
            text = kernelpieces.plain_text(piece.html)
            if piece.kind == "output":
                self.send_response(self.iopub_socket, "stream", {"name": "stdout", "text": text + "\n"})
                continue
            data = _image_data(piece) if piece.kind == "graphic" else None
            if data is None:
                data = {"text/html": f'<div class="{scope}"><style>{css}</style>{piece.html}</div>'}
            data["text/plain"] = text
            self.send_response(self.iopub_socket, "display_data", {"data": data, "metadata": {}})

    def _error_reply(self, name: str, value: str, lines: Sequence[str], silent: bool) -> Dict[str, Any]:
        content = {"ename": name, "evalue": value, "traceback": list(lines)}
        if not silent:
            self.send_response(self.iopub_socket, "error", content)
        return {"status": "error", "execution_count": self.execution_count, **content}

    def _ok_reply(self) -> Dict[str, Any]:
        return {"status": "ok", "execution_count": self.execution_count, "payload": [],
                "user_expressions": {}}

    # Cells -----------------------------------------------------------------

    def do_execute(self, code: str, silent: bool, store_history: bool = True,
                   user_expressions: Optional[dict] = None, allow_stdin: bool = False) -> Dict[str, Any]:
        failure: Optional[Tuple[str, str, List[str]]] = None
        engine_failure = False
        try:
            first, _, rest = code.lstrip().partition("\n")
            name = kernelcomplete.inspected_name(code)
            if first.strip() == _PYTHON_MAGIC:
                self._ensure_engine()
                self._run_python(rest, silent)
            elif name is not None:
                self._ensure_engine()
                failure = self._show_variable(name)
            elif code.strip():
                self._ensure_engine()
                engine.submit(code)
        except KeyboardInterrupt:
            failure = ("KeyboardInterrupt", "the cell was interrupted", ["KeyboardInterrupt"])
        except ProgramBlockError as error:
            engine_failure = True
            report = error.traceback.splitlines() or [error.message]
            failure = (f"ProgramBlockError[{error.language}]", error.message, report)
        except VexaError as error:
            engine_failure = True
            failure = (type(error).__name__, str(error), [str(error)])
        except Exception as error:  # a %python cell's own failure
            failure = (type(error).__name__, str(error), _python_traceback(error))
        finally:
            sys.stdout.flush()
            sys.stderr.flush()
            # The page outlives an engine that died in the cell: what it
            # saved is shown all the same.
            if silent:
                self._new_pieces()
            else:
                self._show_pieces(bool(engine_failure and failure))
        if failure:
            return self._error_reply(*failure, silent=silent)
        return self._ok_reply()

    def _run_python(self, source: str, silent: bool) -> None:
        """Runs `source` in the notebook's namespace; the value of a last
        expression is the cell's result, as in Python's own shell."""
        tree = ast.parse(source, filename="<cell>", mode="exec")
        last = None
        if tree.body and isinstance(tree.body[-1], ast.Expr):
            last = ast.Expression(tree.body.pop().value)
        exec(compile(tree, "<cell>", "exec"), self._namespace)
        if last is not None:
            value = eval(compile(last, "<cell>", "eval"), self._namespace)
            if value is not None and not silent:
                self.send_response(self.iopub_socket, "execute_result",
                                   {"execution_count": self.execution_count,
                                    "data": {"text/plain": repr(value)}, "metadata": {}})

    def _show_variable(self, name: str) -> Optional[Tuple[str, str, List[str]]]:
        entry = kernelcomplete.describe_variable(name)
        if entry is None:
            message = f"the active dataset has no variable {name!r}"
            return ("NameError", message, [message])
        self.send_response(self.iopub_socket, "display_data",
                           {"data": {"text/plain": entry}, "metadata": {}})
        return None

    # Completion and inspection ---------------------------------------------

    def _variable_names(self) -> List[str]:
        try:
            self._ensure_engine()
            from . import dictionary
            return dictionary.variable_names()
        except VexaError:
            return []

    def do_complete(self, code: str, cursor_pos: int) -> Dict[str, Any]:
        if code.lstrip().startswith(_PYTHON_MAGIC):
            start, end, matches = cursor_pos, cursor_pos, []
        else:
            start, end, matches = kernelcomplete.complete(code, cursor_pos, self._variable_names())
        return {"status": "ok", "matches": matches, "cursor_start": start, "cursor_end": end,
                "metadata": {}}

    def do_inspect(self, code: str, cursor_pos: int, detail_level: int = 0,
                   omit_sections: Sequence[str] = ()) -> Dict[str, Any]:
        start, word = kernelcomplete.word_at(code, cursor_pos)
        tail = re.match(r"[\w.$#@]*", code[cursor_pos:])
        word = (word + (tail.group(0) if tail else "")).rstrip(".")
        entry = None
        if word and self._variable_names():
            entry = kernelcomplete.describe_variable(word)
        if entry is None:
            return {"status": "ok", "found": False, "data": {}, "metadata": {}}
        return {"status": "ok", "found": True, "data": {"text/plain": entry}, "metadata": {}}

    def do_is_complete(self, code: str) -> Dict[str, Any]:
        first, _, rest = code.lstrip().partition("\n")
        if first.strip() == _PYTHON_MAGIC:
            try:
                status = "complete" if codeop.compile_command(rest, "<cell>", "exec") else "incomplete"
            except (SyntaxError, ValueError, OverflowError):
                status = "invalid"
        elif kernelcomplete.inspected_name(code) is not None:
            status = "complete"
        else:
            status = kernelcomplete.syntax_status(code)
        return {"status": status, "indent": ""} if status == "incomplete" else {"status": status}

    # Shutdown --------------------------------------------------------------

    def do_shutdown(self, restart: bool) -> Dict[str, Any]:
        try:
            self._stop_engine()
        finally:
            shutil.rmtree(self._folder, ignore_errors=True)
        return {"status": "ok", "restart": restart}


_IMAGE_TYPES = {".png": "image/png", ".jpg": "image/jpeg", ".jpeg": "image/jpeg", ".gif": "image/gif"}
_SOURCE = re.compile(r'<img src="([^"]*)"')


def _image_data(piece: kernelpieces.Piece) -> Optional[Dict[str, str]]:
    """A graphic the engine was given, as the image itself: the page only
    names its file, which a notebook cannot reach. None when the file is
    gone or of a kind a notebook does not show."""
    found = _SOURCE.search(piece.html)
    if not found:
        return None
    path = html.unescape(found.group(1))
    extension = os.path.splitext(path)[1].lower()
    try:
        if extension == ".svg":
            with open(path, encoding="utf-8") as file:
                return {"image/svg+xml": file.read()}
        kind = _IMAGE_TYPES.get(extension)
        if kind is None:
            return None
        with open(path, "rb") as file:
            return {kind: base64.b64encode(file.read()).decode("ascii")}
    except (OSError, UnicodeDecodeError):
        return None


def _python_traceback(error: BaseException) -> List[str]:
    """The traceback without the kernel's own frames."""
    frames = traceback.extract_tb(error.__traceback__)
    kept = [f for f in frames if f.filename == "<cell>"] or frames[-1:]
    lines = ["Traceback (most recent call last):\n"] + traceback.format_list(kept)
    lines += traceback.format_exception_only(type(error), error)
    return "".join(lines).splitlines()


# The kernelspec ------------------------------------------------------------

def kernel_spec(engine_home: Optional[str], library: Optional[str], data_file: Optional[str]) -> dict:
    """The kernel.json of this kernel: this interpreter runs it, with the
    package found where it is now."""
    package_parent = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    env = {"PYTHONPATH": package_parent}
    for name, value in (("VEXA_ENGINE_HOME", engine_home), ("VEXA_LIBRARY", library),
                        ("VEXA_DATA_FILE", data_file)):
        if value:
            env[name] = os.path.abspath(value)
    return {
        "argv": [sys.executable, "-m", "vexa.kernel", "-f", "{connection_file}"],
        "display_name": "Vexa statistics engine",
        "language": "vexa-syntax",
        "interrupt_mode": "signal",
        "env": env,
    }


def install(arguments: Sequence[str]) -> str:
    """Installs the kernelspec; answers the folder it went to."""
    parser = argparse.ArgumentParser(prog="python3 -m vexa.kernel install",
                                     description="Installs the Jupyter kernelspec of the engine.")
    parser.add_argument("--user", action="store_true", help="install for this user only")
    parser.add_argument("--prefix", help="install under this prefix (a virtual environment)")
    parser.add_argument("--name", default="vexa", help="the kernel's name (vexa)")
    parser.add_argument("--engine-home", default=os.environ.get("VEXA_ENGINE_HOME"),
                        help="the engine home (default: VEXA_ENGINE_HOME, else the library's default)")
    parser.add_argument("--library", default=os.environ.get("VEXA_LIBRARY"),
                        help="libvexaxd_p.so to load (default: VEXA_LIBRARY, else the usual search)")
    parser.add_argument("--data-file", help="a CSV file the engine loads at start")
    options = parser.parse_args(arguments)
    from jupyter_client.kernelspec import KernelSpecManager

    with tempfile.TemporaryDirectory(prefix="vexa-kernelspec-") as folder:
        with open(os.path.join(folder, "kernel.json"), "w") as file:
            json.dump(kernel_spec(options.engine_home, options.library, options.data_file), file, indent=2)
        return KernelSpecManager().install_kernel_spec(folder, kernel_name=options.name,
                                                       user=options.user, prefix=options.prefix)


def main(arguments: Optional[Sequence[str]] = None) -> None:
    arguments = list(sys.argv[1:] if arguments is None else arguments)
    if arguments[:1] == ["install"]:
        print(f"installed the kernelspec in {install(arguments[1:])}")
        return
    from ipykernel.kernelapp import IPKernelApp
    IPKernelApp.launch_instance(argv=arguments, kernel_class=VexaKernel)


if __name__ == "__main__":
    main()
