"""Starting, driving and stopping the real engine through vexa.engine."""
from __future__ import annotations

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import vexa  # noqa: E402
from vexa import _native  # noqa: E402
from support import ENGINE_HOME, EngineTestCase  # noqa: E402


def log_lines(path: str) -> list:
    with open(path, encoding="utf-8") as file:
        return file.read().splitlines()


class ArgumentText(unittest.TestCase):
    def test_home_comes_first_and_ends_at_a_comma(self) -> None:
        text = vexa.build_arguments("/opt/home", "/tmp/a.log", "/tmp/a.html", "-x=1",
                                    output_xml="/tmp/a.xml")
        self.assertEqual(text, "-vexahome=/opt/home, -outputlog=/tmp/a.log "
                               "-outputhtml=/tmp/a.html -outputxml=/tmp/a.xml -x=1")

    def test_values_the_option_syntax_cannot_carry_are_refused(self) -> None:
        with self.assertRaises(ValueError):
            vexa.build_arguments("/opt/a,b")
        with self.assertRaises(ValueError):
            vexa.build_arguments("/opt/home", "/tmp/with blank.log")
        with self.assertRaises(TypeError):
            vexa.build_arguments("/opt/home", None, None, 5)  # type: ignore[arg-type]


class Lifecycle(unittest.TestCase):
    def setUp(self) -> None:
        if not ENGINE_HOME:
            self.skipTest("VEXA_ENGINE_HOME is not set")
        self.tmp = tempfile.mkdtemp(prefix="vexa-py-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.addCleanup(vexa.stop)

    def test_session_starts_and_stops_and_calls_after_it_are_refused(self) -> None:
        log = os.path.join(self.tmp, "session.log")
        with vexa.session(ENGINE_HOME, output_log=log) as running:
            self.assertTrue(vexa.is_running())
            self.assertTrue(vexa.is_driven())
            running.submit("SET WIDTH=100.")
        self.assertFalse(vexa.is_running())
        self.assertFalse(vexa.is_driven())
        self.assertIn("command: SET WIDTH=100.", log_lines(log))
        with self.assertRaises(vexa.EngineNotRunning) as caught:
            vexa.submit("SET WIDTH=90.")
        self.assertEqual(caught.exception.code, 17)
        self.assertEqual(caught.exception.call, "Submit")

    def test_a_session_inside_a_running_engine_leaves_it_running(self) -> None:
        vexa.start(ENGINE_HOME, output_log=os.path.join(self.tmp, "outer.log"))
        with vexa.session(ENGINE_HOME):
            pass
        self.assertTrue(vexa.is_running())

    def test_an_output_log_that_cannot_be_opened_fails_the_start(self) -> None:
        missing_dir = os.path.join(self.tmp, "no", "such", "dir", "out.log")
        with self.assertRaises(vexa.VexaError) as caught:
            vexa.start(ENGINE_HOME, output_log=missing_dir)
        self.assertEqual(caught.exception.code, 9007)
        self.assertFalse(vexa.is_running())

    def test_a_refused_data_file_raises_with_the_file_line_and_name(self) -> None:
        data = os.path.join(self.tmp, "bad_names.csv")
        with open(data, "w", encoding="utf-8") as file:
            file.write("age,my var\n1,2\n")
        with self.assertRaises(vexa.VexaError) as caught:
            vexa.start(ENGINE_HOME, data_file=data)
        self.assertEqual(caught.exception.code, 9002)
        self.assertEqual(caught.exception.message, f'{data}: line 1: "my var" is not a valid variable name')
        self.assertIn(caught.exception.message, str(caught.exception))
        self.assertFalse(vexa.is_running())
        # The reason belongs to the failed start: a start that succeeds clears it.
        vexa.start(ENGINE_HOME, output_log=os.path.join(self.tmp, "good.log"))
        self.assertEqual(_native.library().GetStartFailure(), b"")

    def test_an_unwritable_output_log_names_its_path(self) -> None:
        missing = os.path.join(self.tmp, "no", "out.log")
        with self.assertRaises(vexa.VexaError) as caught:
            vexa.start(ENGINE_HOME, output_log=missing)
        self.assertEqual(caught.exception.code, 9007)
        self.assertEqual(caught.exception.message, "cannot append to the output log " + missing)

    def test_the_html_page_is_written_when_the_engine_stops(self) -> None:
        page = os.path.join(self.tmp, "page.html")
        with vexa.session(ENGINE_HOME, output_html=page):
            vexa.post_output("posted through the package")
        with open(page, encoding="utf-8") as file:
            self.assertIn("posted through the package", file.read())


class ExitWithoutStop(unittest.TestCase):
    def test_an_engine_the_interpreter_started_is_stopped_at_exit_and_its_page_is_whole(self) -> None:
        tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, tmp, True)
        page = os.path.join(tmp, "page.html")
        # Registered before the package is imported, so it runs after the
        # package's own exit hook.
        script = "\n".join([
            "import atexit, sys",
            "def after_the_package():",
            "    import vexa",
            "    print('running after exit hooks:', vexa.is_running())",
            "atexit.register(after_the_package)",
            "import vexa",
            f"vexa.start({ENGINE_HOME!r}, output_html={page!r})",
            "vexa.post_output('made before exit')",
        ])
        done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("running after exit hooks: False", done.stdout)
        with open(page, encoding="utf-8") as file:
            text = file.read()
        self.assertIn("made before exit", text)
        self.assertTrue(text.rstrip().endswith("</html>"), text[-80:])


class Interrupt(EngineTestCase):
    def test_ctrl_c_interrupts_the_running_block_and_raises_keyboard_interrupt(self) -> None:
        # The block itself sends the Ctrl-C once it runs, then loops for ever.
        endless = ["BEGIN PROGRAM PYTHON.", "import os, signal",
                   f"os.kill({os.getpid()}, signal.SIGINT)", "while True:", "    pass", "END PROGRAM."]
        with self.assertRaises(KeyboardInterrupt):
            vexa.submit(endless)
        pid = ["BEGIN PROGRAM PYTHON.", "import os", "print('language', os.getpid())", "END PROGRAM."]
        vexa.submit(pid)
        vexa.submit(pid)
        with open(self.output_log, encoding="utf-8") as file:
            seen = [line.split()[-1] for line in file.read().splitlines() if "language " in line]
        self.assertEqual(len(seen), 2)
        self.assertEqual(seen[0], seen[1], "the language process was replaced")
        self.assertTrue(vexa.is_running())


class Submission(EngineTestCase):
    def test_lines_travel_as_one_command_in_order(self) -> None:
        vexa.submit(["SET WIDTH=120", "UNICODE=ON."])
        lines = log_lines(self.output_log)
        # One command entry: the line end inside is written as \n.
        self.assertIn("command: SET WIDTH=120\\nUNICODE=ON.", lines)
        self.assertEqual(vexa.xpath.setting("WIDTH"), "120")

    def test_a_refused_command_raises_with_the_engines_code(self) -> None:
        with self.assertRaises(vexa.VexaError) as caught:
            vexa.submit("SET WIDTH=5.")
        self.assertEqual(caught.exception.code, 9006)
        self.assertNotEqual(vexa.xpath.setting("WIDTH"), "5")

    def test_text_with_zero_bytes_and_non_ascii_arrives_byte_for_byte(self) -> None:
        vexa.post_output("größe\0mitte")
        self.assertIn("output: größe\\0mitte", log_lines(self.output_log))

    def test_queued_parts_run_once_they_end_with_a_period(self) -> None:
        vexa.queue_command_part("SET WIDTH=")
        self.assertNotIn("command: SET WIDTH=\\n77.", log_lines(self.output_log))
        vexa.queue_command_part("77.")
        self.assertIn("command: SET WIDTH=\\n77.", log_lines(self.output_log))

    def test_wrong_argument_types_fail_before_any_call(self) -> None:
        with self.assertRaises(TypeError):
            vexa.submit(["SET WIDTH=80.", 3])  # type: ignore[list-item]
        with self.assertRaises(TypeError):
            vexa.submit(42)  # type: ignore[arg-type]


if __name__ == "__main__":
    unittest.main()
