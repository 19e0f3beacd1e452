"""The notebook kernel driven by jupyter_client over its real channels: the
kernelspec installed by `python3 -m vexa.kernel install`, a kernel process
started from it, and the engine that kernel starts."""
from __future__ import annotations

import base64
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree
from typing import Dict, List, Optional, Set, Tuple

from support import ENGINE_HOME, sample_column

try:
    from jupyter_client.kernelspec import KernelSpecManager
    from jupyter_client.manager import KernelManager
except ImportError:  # pragma: no cover - the package is a test dependency
    KernelManager = None

PIPE_DIRECTORY = f"/tmp/vexa-pipes-{os.geteuid()}"
TIMEOUT = 60


def install_kernelspec(prefix: str) -> str:
    """Installs the kernelspec under `prefix` with the module's own command
    line; answers the folder of kernelspecs."""
    subprocess.run([sys.executable, "-m", "vexa.kernel", "install", "--prefix", prefix,
                    "--engine-home", ENGINE_HOME], check=True, capture_output=True, text=True)
    return os.path.join(prefix, "share", "jupyter", "kernels")


class Cell:
    """What one execute_request brought back: the reply and the messages the
    kernel published for it until it went idle."""

    def __init__(self, reply: dict, published: List[dict], seconds: float) -> None:
        self.reply = reply["content"]
        self.published = published
        self.seconds = seconds

    def of_type(self, kind: str) -> List[dict]:
        return [m["content"] for m in self.published if m["msg_type"] == kind]

    def html(self) -> List[str]:
        return [c["data"]["text/html"] for c in self.of_type("display_data") if "text/html" in c["data"]]

    def plain(self) -> List[str]:
        return [c["data"]["text/plain"] for c in self.of_type("display_data")]

    def stdout(self) -> str:
        return "".join(c["text"] for c in self.of_type("stream") if c["name"] == "stdout")


class KernelSession:
    """One kernel started through jupyter_client from the installed kernel folder."""

    def __init__(self, kernels: str) -> None:
        installed = KernelSpecManager(kernel_dirs=[kernels])
        self.manager = KernelManager(kernel_name="vexa", kernel_spec_manager=installed)
        self.manager.start_kernel()
        self.client = self.manager.client()
        self.client.start_channels()
        self.client.wait_for_ready(timeout=TIMEOUT)

    def execute(self, code: str, interrupt_when=None) -> Cell:
        """Runs a cell; `interrupt_when`, a function polled while the cell
        runs, makes the test press the stop button once it answers true.
        `seconds` is the time from the interrupt (or the request) to the reply."""
        started = time.monotonic()
        # Cells are sent one at a time, each after the last one's reply, so a
        # failed cell must not abort the next (the kernel would, for a while).
        msg_id = self.client.execute(code, stop_on_error=False)
        if interrupt_when is not None:
            deadline = started + TIMEOUT
            while not interrupt_when():
                if time.monotonic() > deadline:
                    raise AssertionError("the cell never reached the point to interrupt")
                time.sleep(0.02)
            started = time.monotonic()
            self.manager.interrupt_kernel()
        reply = self.client.get_shell_msg(timeout=TIMEOUT)
        while reply["parent_header"].get("msg_id") != msg_id:
            reply = self.client.get_shell_msg(timeout=TIMEOUT)
        seconds = time.monotonic() - started
        published = []
        while True:
            message = self.client.get_iopub_msg(timeout=TIMEOUT)
            if message["parent_header"].get("msg_id") != msg_id:
                continue
            if message["msg_type"] == "status" and message["content"]["execution_state"] == "idle":
                break
            published.append(message)
        return Cell(reply, published, seconds)

    def request(self, send, *arguments) -> dict:
        msg_id = send(*arguments)
        reply = self.client.get_shell_msg(timeout=TIMEOUT)
        while reply["parent_header"].get("msg_id") != msg_id:
            reply = self.client.get_shell_msg(timeout=TIMEOUT)
        return reply["content"]

    def close(self) -> None:
        self.client.stop_channels()
        if self.manager.is_alive():
            self.manager.shutdown_kernel(now=False)


def descendants(pid: int) -> Set[int]:
    """The live processes below `pid`, from /proc."""
    children: Dict[int, List[int]] = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as file:
                fields = file.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if fields[0] != "Z":
            children.setdefault(int(fields[1]), []).append(int(entry))
    found, waiting = set(), [pid]
    while waiting:
        for child in children.get(waiting.pop(), []):
            found.add(child)
            waiting.append(child)
    return found


def alive(pid: int) -> bool:
    try:
        with open(f"/proc/{pid}/stat") as file:
            return file.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def output_pages(pid: int) -> List[str]:
    """The -outputhtml= page named on the command line of process `pid`."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as file:
            arguments = file.read().decode(errors="replace").split("\0")
    except OSError:
        return []
    return [word.split("=", 1)[1] for argument in arguments for word in argument.split()
            if word.startswith("-outputhtml=")]


def pipe_files(pid_texts: Set[str]) -> List[str]:
    try:
        names = os.listdir(PIPE_DIRECTORY)
    except FileNotFoundError:
        return []
    return [name for name in names if any(name.startswith(text) for text in pid_texts)]


def table_cells(html: str) -> List[List[str]]:
    """The rows of the first table in a displayed piece, each as the texts
    of its header and data cells (footnote letters included)."""
    table = re.search(r"<table.*?</table>", html, re.S)
    root = ElementTree.fromstring(table.group(0))
    return [["".join(cell.itertext()) for cell in row] for row in root.iter("tr")]


@unittest.skipIf(KernelManager is None, "jupyter_client is not installed")
@unittest.skipUnless(ENGINE_HOME, "VEXA_ENGINE_HOME does not name an engine home")
class KernelCells(unittest.TestCase):
    """One kernel for the class; cells run in the order of the tests' needs."""

    @classmethod
    def setUpClass(cls) -> None:
        cls.tmp = tempfile.mkdtemp(prefix="vexa-kernel-test-")
        cls.session = KernelSession(install_kernelspec(cls.tmp))

    @classmethod
    def tearDownClass(cls) -> None:
        cls.session.close()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_describe_shows_the_mean_a_read_cursor_computes(self) -> None:
        cursor = self.session.execute(
            "%python\n"
            "with vexa.Procedure('Mean by cursor'), vexa.ReadCursor(['sepal_length']) as cases:\n"
            "    values = [case[0] for case in cases if case[0] is not None]\n"
            "print(repr(sum(values) / len(values)))\n")
        self.assertEqual(cursor.reply["status"], "ok", cursor.reply)
        by_cursor = float(cursor.stdout())
        column = [float(v) for v in sample_column("sepal_length") if v]
        self.assertAlmostEqual(by_cursor, sum(column) / len(column), places=12)

        cell = self.session.execute("DESCRIBE VARIABLES=sepal_length sepal_width.")
        self.assertEqual(cell.reply["status"], "ok", cell.reply)
        tables = [h for h in cell.html() if "<table" in h]
        self.assertEqual(len(tables), 1, cell.published)
        rows = table_cells(tables[0])
        self.assertEqual(rows[0], ["Variables", "Statistics"])
        header = rows[1]
        sepal = next(row for row in rows if row[0] == "Sepal length (cm)")
        shown = sepal[1 + header.index("Mean")]
        # The mean's format: the variable's decimals (F8.1) and two more.
        self.assertRegex(shown, r"^\d+\.\d{3}$")
        self.assertEqual(shown, f"{by_cursor:.3f}")
        # The plain-text form: the same rows, cells in padded columns.
        plain = [p for p in cell.plain() if "Sepal length (cm)" in p]
        self.assertEqual(len(plain), 1)
        plain_rows = [re.split(r"\s{2,}", line.strip()) for line in plain[0].splitlines()]
        self.assertIn(sepal, plain_rows)
        self.assertIn(header, plain_rows)

    def test_a_cell_shows_only_what_it_added(self) -> None:
        self.session.execute("TALLY VARIABLES=species.")
        cell = self.session.execute("SHOW CASES VARIABLES=species_code.")
        self.assertEqual(cell.reply["status"], "ok", cell.reply)
        self.assertFalse([h for h in cell.html() if "<table" in h], "a table of an earlier cell came again")
        listing = [p for p in cell.plain() if p.count("\n") > 100]
        self.assertEqual(len(listing), 1, cell.plain())
        shown = [line.split()[-1] for line in listing[0].splitlines()[-150:]]
        self.assertEqual(shown, sample_column("species_code"))

    def test_printed_lines_of_a_block_come_as_one_stream(self) -> None:
        cell = self.session.execute(
            "BEGIN PROGRAM PYTHON.\nfor i in range(3):\n    print('line', i)\nEND PROGRAM.")
        self.assertEqual(cell.reply["status"], "ok", cell.reply)
        streams = cell.of_type("stream")
        self.assertEqual(len(streams), 1, streams)
        self.assertEqual(streams[0]["text"], "line 0\nline 1\nline 2\n")

    @unittest.skipUnless(os.path.exists(os.path.join(ENGINE_HOME, "libvexar.so")), "the R language is not built")
    def test_a_printed_r_data_frame_stays_one_block(self) -> None:
        cell = self.session.execute(
            "BEGIN PROGRAM R.\nprint(data.frame(x = 1:3, y = c(2.5, 4, 8)))\nEND PROGRAM.")
        self.assertEqual(cell.reply["status"], "ok", cell.reply)
        streams = cell.of_type("stream")
        self.assertEqual(len(streams), 1, streams)
        rows = [line.split() for line in streams[0]["text"].splitlines()]
        self.assertEqual(rows, [["x", "y"], ["1", "1", "2.5"], ["2", "2", "4.0"], ["3", "3", "8.0"]])

    def test_posted_lines_show_in_the_cell_that_posted_them(self) -> None:
        first = self.session.execute("%python\nvexa.post_output('first post')")
        second = self.session.execute("%python\nvexa.post_output('second post')\nvexa.post_output('third')")
        self.assertEqual((first.stdout(), second.stdout()), ("first post\n", "second post\nthird\n"))

    def test_a_bad_command_is_the_cells_error_with_the_engines_text(self) -> None:
        cell = self.session.execute("DESCRIBE VARIABLES=sepal_length.\nTALLY VARIABLES=nosuch.")
        self.assertEqual(cell.reply["status"], "error")
        self.assertIn("TALLY (line 2): unknown variable 'nosuch'", cell.reply["evalue"])
        errors = cell.of_type("error")
        self.assertEqual(len(errors), 1)
        self.assertEqual(errors[0]["evalue"], cell.reply["evalue"])
        # What ran before the failure is shown; the failure is not shown twice.
        self.assertEqual(len([h for h in cell.html() if "<table" in h]), 1)
        self.assertFalse([p for p in cell.plain() if "nosuch" in p])
        # A failing block reports the block's own error.
        block = self.session.execute("BEGIN PROGRAM PYTHON.\n1/0\nEND PROGRAM.")
        self.assertEqual(block.reply["status"], "error")
        self.assertIn("ZeroDivisionError", block.reply["evalue"] + "".join(block.reply["traceback"]))
        # A %python cell's own exception keeps Python's name.
        python = self.session.execute("%python\n{}['missing']")
        self.assertEqual((python.reply["status"], python.reply["ename"]), ("error", "KeyError"))
        self.assertEqual(self.session.execute("DESCRIBE VARIABLES=petal_width.").reply["status"], "ok")

    def test_names_complete_and_a_variables_entry_is_shown(self) -> None:
        commands = self.session.request(self.session.client.complete, "DESC", 4)
        self.assertEqual((commands["matches"], commands["cursor_start"]), (["DESCRIBE"], 0))
        code = "TALLY VARIABLES=species.\nDESCRIBE VARIABLES=SEPAL"
        names = self.session.request(self.session.client.complete, code, len(code))
        self.assertEqual(names["matches"], ["sepal_length", "sepal_width"])
        self.assertEqual(names["cursor_start"], len(code) - len("SEPAL"))

        for code, status in (("DESCRIBE VARIABLES=sepal_length.", "complete"),
                             ("DESCRIBE VARIABLES=sepal_length\n", "incomplete"),
                             ("DESCRIBE VARIABLES=sepal_length\n\n", "complete"),
                             ("BEGIN PROGRAM PYTHON.\nx = 1.", "incomplete"),
                             ("BEGIN PROGRAM PYTHON.\nx = 1\nEND PROGRAM.", "complete"),
                             ("%python\nfor i in range(3):", "incomplete"),
                             ("%python\nx = (", "incomplete"),
                             ("%python\nx = 1", "complete"),
                             ("%python\nx = )", "invalid")):
            answer = self.session.request(self.session.client.is_complete, code)
            self.assertEqual(answer["status"], status, code)

        cell = self.session.execute("?species")
        self.assertEqual(cell.reply["status"], "ok", cell.reply)
        entry = cell.plain()[0]
        for expected in ("Iris species", "nominal", "setosa = Iris setosa", "missing: unknown"):
            self.assertIn(expected, entry)
        inspected = self.session.request(self.session.client.inspect, "TALLY VARIABLES=species.", 18)
        self.assertTrue(inspected["found"])
        self.assertEqual(inspected["data"]["text/plain"], entry)
        unknown = self.session.execute("?nosuch")
        self.assertEqual(unknown.reply["status"], "error")

    def test_a_graphic_given_to_the_engine_is_shown_as_the_image(self) -> None:
        picture = os.path.join(self.tmp, "bars.png")
        content = b"\x89PNG\r\n\x1a\n" + bytes(range(256))
        with open(picture, "wb") as file:
            file.write(content)
        cell = self.session.execute(f"%python\nvexa._native.api().GetGraphic({picture.encode()!r})")
        self.assertEqual(cell.reply["status"], "ok", cell.reply)
        images = [c["data"] for c in cell.of_type("display_data") if "image/png" in c["data"]]
        self.assertEqual(len(images), 1, cell.published)
        self.assertEqual(base64.b64decode(images[0]["image/png"]), content)
        self.assertEqual(images[0]["text/plain"], picture)

    def test_the_stop_button_interrupts_a_sleeping_block_and_the_next_cell_runs(self) -> None:
        self.assertStopButtonInterrupts("short", "for _ in range(600):\n    time.sleep(0.1)\n")

    def test_the_stop_button_interrupts_one_long_sleep_and_the_next_cell_runs(self) -> None:
        # One call that never returns by itself: only a signal breaks it.
        self.assertStopButtonInterrupts("long", "time.sleep(600)\n")

    def assertStopButtonInterrupts(self, name: str, wait: str) -> None:
        marker = os.path.join(self.tmp, f"sleeping-{name}")
        cell = self.session.execute(
            "BEGIN PROGRAM PYTHON.\nimport time\n"
            "print('before the sleep')\n"
            f"open({marker!r}, 'w').close()\n"
            f"{wait}END PROGRAM.",
            interrupt_when=lambda: os.path.exists(marker))
        self.assertEqual(cell.reply["status"], "error")
        self.assertEqual(cell.reply["ename"], "KeyboardInterrupt")
        self.assertLess(cell.seconds, 1.0)
        # What the block printed before the interrupt is not lost; the
        # block's report of the interrupt follows it.
        self.assertTrue(cell.stdout().startswith("before the sleep\n"), cell.stdout())
        self.assertIn("KeyboardInterrupt", cell.stdout())
        after = self.session.execute("DESCRIBE VARIABLES=petal_length.")
        self.assertEqual(after.reply["status"], "ok", after.reply)
        self.assertEqual(len([h for h in after.html() if "<table" in h]), 1)


@unittest.skipIf(KernelManager is None, "jupyter_client is not installed")
@unittest.skipUnless(ENGINE_HOME, "VEXA_ENGINE_HOME does not name an engine home")
class KernelLifetime(unittest.TestCase):

    def setUp(self) -> None:
        self.tmp = tempfile.mkdtemp(prefix="vexa-kernel-test-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.kernels = install_kernelspec(self.tmp)

    def start(self) -> Tuple[KernelSession, int, Set[int]]:
        """A kernel that ran a Python block: its pid and the processes below
        it (the engine and the block's language process)."""
        session = KernelSession(self.kernels)
        self.addCleanup(session.close)
        cell = session.execute("BEGIN PROGRAM PYTHON.\nprint('hello')\nEND PROGRAM.")
        self.assertEqual(cell.reply["status"], "ok", cell.reply)
        pid = session.manager.provisioner.process.pid
        below = descendants(pid)
        self.assertGreaterEqual(len(below), 2, "no engine and language process under the kernel")
        return session, pid, below

    def assertAllEnd(self, pids: Set[int], pid_texts: Set[str]) -> None:
        deadline = time.monotonic() + 10
        while (any(alive(p) for p in pids) or pipe_files(pid_texts)) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual([p for p in pids if alive(p)], [])
        self.assertEqual(pipe_files(pid_texts), [])

    def test_shutdown_leaves_no_process_and_no_socket_file(self) -> None:
        session, pid, below = self.start()
        pid_texts = {f"{p:04x}" for p in below | {pid}}
        self.assertTrue(pipe_files(pid_texts), "the engine's pipes were not found")
        pages = [page for p in below for page in output_pages(p)]
        self.assertEqual(len(pages), 1, "the engine was not told where to write its page")
        self.assertTrue(os.path.exists(pages[0]))
        session.manager.shutdown_kernel(now=False)
        self.assertAllEnd(below | {pid}, pid_texts)
        self.assertFalse(os.path.exists(os.path.dirname(pages[0])), "the kernel's folder was left")

    def test_a_restarted_kernel_has_a_new_engine_and_the_old_one_is_gone(self) -> None:
        session, pid, below = self.start()
        session.manager.restart_kernel(now=False)
        session.client.wait_for_ready(timeout=TIMEOUT)
        self.assertAllEnd(below | {pid}, {f"{p:04x}" for p in below | {pid}})
        cell = session.execute("DESCRIBE VARIABLES=sepal_length.")
        self.assertEqual(cell.reply["status"], "ok", cell.reply)
        self.assertEqual(len([h for h in cell.html() if "<table" in h]), 1)


if __name__ == "__main__":
    unittest.main()
