"""Failures in words: program blocks that fail, calls without an engine, and
the cursor mistakes that used to pass in silence."""
from __future__ import annotations

import itertools
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import vexa  # noqa: E402
import vexa.data  # noqa: E402
from support import ENGINE_HOME, EngineTestCase, sample_rows  # noqa: E402
from vexa import outputlog  # noqa: E402

R_IN_ENGINE = "R" in open(os.path.join(ENGINE_HOME, "vexadxcfg.ini")).read().split() \
    if ENGINE_HOME and os.path.exists(os.path.join(ENGINE_HOME, "vexadxcfg.ini")) else False


def block(language, *lines):
    return [f"BEGIN PROGRAM {language}."] + list(lines) + ["END PROGRAM."]


class ProgramBlocks(EngineTestCase):
    def test_a_python_exception_is_the_message_and_the_traceback_an_attribute(self) -> None:
        with self.assertRaises(vexa.ProgramBlockError) as caught:
            vexa.submit(block("PYTHON", "def ratio(a, b):", "    return a / b", "ratio(1, 0)"))
        error = caught.exception
        self.assertEqual(str(error), "ZeroDivisionError: division by zero")
        self.assertEqual(error.code, 1)
        self.assertEqual(error.language, "PYTHON")
        self.assertTrue(error.traceback.startswith("Traceback (most recent call last):"))
        self.assertIn("in ratio", error.traceback)
        # A language's status is never described as a library code.
        self.assertNotIn("initialised", str(error))

    def test_an_exit_status_is_the_blocks_and_not_a_platform_code(self) -> None:
        with self.assertRaises(vexa.ProgramBlockError) as caught:
            vexa.submit(block("PYTHON", "import sys", "print('before')", "sys.exit(3)"))
        self.assertEqual(caught.exception.code, 3)
        self.assertEqual(str(caught.exception), "the PYTHON program block ended with status 3")
        self.assertEqual(caught.exception.traceback, "")

    def test_the_last_failure_is_reported_after_output_of_earlier_blocks(self) -> None:
        vexa.submit(block("PYTHON", "print('Traceback (most recent call last): a printed decoy')"))
        with self.assertRaises(vexa.ProgramBlockError) as caught:
            vexa.submit(block("PYTHON", "raise KeyError('second')"))
        self.assertEqual(str(caught.exception), "KeyError: 'second'")

    @unittest.skipUnless(R_IN_ENGINE, "R is not in this build")
    def test_an_r_error_is_the_condition_message(self) -> None:
        with self.assertRaises(vexa.ProgramBlockError) as caught:
            vexa.submit(block("R", "f <- function() stop('no such column: height')", "f()"))
        self.assertEqual(str(caught.exception), "no such column: height")
        self.assertTrue(caught.exception.traceback.startswith("Error in f()"))

    def test_failures_that_are_not_a_blocks_keep_their_code(self) -> None:
        with self.assertVexaError(9080) as caught:
            vexa.submit(["BEGIN PROGRAM PYTHON.", "print(1)"])
        self.assertNotIsInstance(caught.exception, vexa.ProgramBlockError)


class OutputLogEntries(unittest.TestCase):
    def test_entries_are_unescaped_and_r_messages_lose_their_prefix(self) -> None:
        import tempfile
        with tempfile.NamedTemporaryFile("w", suffix=".log", delete=False) as log:
            log.write("command: old\noutput: Traceback (most recent call last):\\n  File x\\nValueError: a\\\\b\n"
                      "output: Error in g(x) : cannot open\\nsecond line\n")
        try:
            entries = outputlog.read_entries(log.name, len("command: old\n"))
        finally:
            os.remove(log.name)
        self.assertEqual(entries[0], ("output", "Traceback (most recent call last):\n  File x\nValueError: a\\b"))
        self.assertEqual(outputlog.block_report("PYTHON", entries)[0], "ValueError: a\\b")
        self.assertEqual(outputlog.block_report("R", entries),
                         ("cannot open second line", "Error in g(x) : cannot open\nsecond line"))
        self.assertEqual(outputlog.block_language(b"x.\nbegin program r.\n"), "R")
        self.assertIsNone(outputlog.block_language(b"SET WIDTH=80."))


class WithoutEngine(unittest.TestCase):
    def test_every_kind_of_call_raises_engine_not_running_at_once(self) -> None:
        # A process of its own: this one may have had an engine already.
        program = """
import vexa, vexa.data
from vexa.cursors import ReadCursor
calls = {
    "variable_count": vexa.variable_count,
    "variables": vexa.variables,
    "submit": lambda: vexa.submit("SET WIDTH=80."),
    "procedure": lambda: vexa.Procedure("p").start(),
    "cursor": lambda: ReadCursor().open(),
    "datasets": vexa.dataset_names,
    "data.read": vexa.data.read,
    "xpath": lambda: vexa.xpath.handles(),
}
for name, call in calls.items():
    try:
        call()
        print(name, "no exception")
    except vexa.EngineNotRunning as error:
        print(name, "|", error.call, "|", error)
    except Exception as error:
        print(name, "other", type(error).__name__, error)
"""
        done = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.strip().splitlines()
        self.assertEqual(len(lines), 8, done.stdout)
        for line in lines:
            name, call, message = line.split(" | ") if " | " in line else (line, "", "")
            with self.subTest(name):
                self.assertTrue(call, line)
                self.assertIn("the engine is not running: start one with vexa.start()", message)


def engine_pid():
    """The engine this process started: its child named StartXD."""
    for task in os.listdir("/proc/self/task"):
        with open(f"/proc/self/task/{task}/children") as children:
            for pid in children.read().split():
                with open(f"/proc/{pid}/comm") as comm:
                    if comm.read().strip() == "StartXD":
                        return int(pid)
    return None


class EngineGone(unittest.TestCase):
    def test_a_call_after_the_engine_died_says_it_ended(self) -> None:
        import signal
        import tempfile
        with tempfile.TemporaryDirectory() as folder:
            vexa.start(ENGINE_HOME, output_log=os.path.join(folder, "out.log"))
            try:
                self.assertEqual(vexa.variable_count(), len(sample_rows()[0]))
                pid = engine_pid()
                self.assertIsNotNone(pid)
                os.kill(pid, signal.SIGKILL)
                try:
                    os.waitpid(pid, 0)
                except ChildProcessError:
                    pass  # the library reaped it first
                with self.assertRaises(vexa.EngineNotRunning) as caught:
                    vexa.variable_count()
                self.assertIn("it has ended", str(caught.exception))
                # And every call after it fails the same way, at once.
                with self.assertRaises(vexa.EngineNotRunning):
                    vexa.data.read()
            finally:
                vexa.stop()


class CursorTraps(EngineTestCase):
    def test_a_used_up_cursor_refuses_a_second_loop_until_reset(self) -> None:
        _, rows = sample_rows()
        with vexa.Procedure("Twice"), vexa.ReadCursor(["sepal_length"]) as cursor:
            self.assertEqual(len(list(cursor)), len(rows))
            with self.assertRaises(vexa.CasesUsedUp) as caught:
                list(cursor)
            self.assertIn("reset()", str(caught.exception))
            cursor.reset()
            self.assertEqual(len(list(cursor)), len(rows))

    def test_a_loop_left_early_goes_on_where_it_stopped(self) -> None:
        _, rows = sample_rows()
        with vexa.Procedure("Pieces"), vexa.ReadCursor(["sepal_length"]) as cursor:
            first = list(itertools.islice(cursor, 3))
            self.assertEqual(cursor.position, 2)
            self.assertTrue(cursor.next_case())
            self.assertEqual(cursor.position, 3)
            rest = list(cursor)
        values = [(float(row[0]),) for row in rows]
        self.assertEqual(first + [values[3]] + rest, values)

    def test_set_values_without_commit_are_refused_rather_than_lost(self) -> None:
        with vexa.Procedure("Forgot commit"):
            with self.assertRaises(ValueError) as caught:
                with vexa.WriteCursor(["sepal_length"]) as cursor:
                    cursor.add_variable("doubled")
                    for (length,) in cursor:
                        cursor.set_value("doubled", length * 2)
            self.assertIn("commit()", str(caught.exception))
        self.assertNotIn("doubled", vexa.variable_names())
        with vexa.Procedure("Forgot commit at the end"):
            with self.assertRaises(ValueError):
                with vexa.WriteCursor(["sepal_length"]) as cursor:
                    cursor.add_variable("tripled")
                    cursor.next_case()
                    cursor.set_value("tripled", 3.0)
        self.assertNotIn("tripled", vexa.variable_names())

    def test_a_text_wider_than_its_variable_is_refused(self) -> None:
        with vexa.Procedure("Too wide"), vexa.WriteCursor(["species"]) as cursor:
            cursor.add_variable("code", 4)
            cursor.next_case()
            with self.assertRaises(ValueError) as caught:
                cursor.set_value("code", "toolong")
            self.assertIn("width 4", str(caught.exception))
            cursor.set_value("code", "ok")
            cursor.commit()
        with vexa.DataStep() as step:
            made = step.create_dataset("narrow")
            made.insert_variable("word", 3)
            made.insert_case()
            with self.assertRaises(ValueError):
                made.set_cell(0, 0, "four")
            made.set_cell(0, 0, "abc")


if __name__ == "__main__":
    unittest.main()
