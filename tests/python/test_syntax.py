"""Submitted syntax end to end: the engine computes, the result comes back by
XPath, failures raise with the engine's error text, and program blocks see
how deep they run and cannot stop the engine."""
from __future__ import annotations

import math
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import vexa  # noqa: E402
from support import EngineTestCase  # noqa: E402


def log_lines(path: str) -> list:
    with open(path, encoding="utf-8") as file:
        return file.read().splitlines()


class EngineCommands(EngineTestCase):
    def test_describe_reads_back_by_xpath_as_a_cursor_pass_computes_it(self) -> None:
        vexa.submit("DESCRIBE VARIABLES=sepal_length\n  growth_index.")
        with vexa.Procedure("Read pass"), vexa.ReadCursor(["sepal_length", "growth_index"]) as cursor:
            rows = list(cursor)
        for position, label in ((0, "Sepal length (cm)"), (1, "Growth index (petal area)")):
            values = [row[position] for row in rows if row[position] is not None]
            mean = math.fsum(values) / len(values)
            deviation = math.sqrt(math.fsum((x - mean) ** 2 for x in values) / (len(values) - 1))
            found = {}
            for statistic in ("N", "Mean", "Std. Deviation"):
                numbers = vexa.xpath.evaluate(
                    "Describe", f"//cell[at[@text='{label}'] and at[@text='{statistic}']]/@number")
                self.assertEqual(len(numbers), 1, statistic)
                found[statistic] = float(numbers[0])
            self.assertEqual(found["N"], len(values))
            self.assertAlmostEqual(found["Mean"], mean, delta=1e-12 * abs(mean))
            self.assertAlmostEqual(found["Std. Deviation"], deviation, delta=1e-12 * deviation)

    def test_a_bad_command_raises_with_the_engines_error_text(self) -> None:
        with self.assertRaises(vexa.VexaError) as caught:
            vexa.submit(["SET WIDTH=100.", "DESCRIBE VARIABLES=no_such_variable."])
        self.assertEqual(caught.exception.code, 9101)
        self.assertEqual(caught.exception.message, "DESCRIBE (line 2): unknown variable 'no_such_variable'")
        self.assertIn(str(caught.exception.message), str(caught.exception))
        self.assertIn("error: DESCRIBE (line 2): unknown variable 'no_such_variable'", log_lines(self.output_log))
        with self.assertRaises(vexa.VexaError) as caught:
            vexa.submit("THIS IS NOT SYNTAX AT ALL.")
        self.assertEqual(caught.exception.code, 9100)
        self.assertIn("THIS (line 1)", caught.exception.message)

    def test_derive_and_keep_cases_change_what_a_cursor_reads(self) -> None:
        vexa.submit("DERIVE area = petal_length * petal_width.\nDERIVE big = area > 10.")
        with vexa.Procedure("Check"), vexa.ReadCursor(["petal_length", "petal_width", "area", "big"]) as cursor:
            for length, width, area, big in cursor:
                self.assertEqual(area, length * width)
                self.assertEqual(big, 1.0 if length * width > 10 else 0.0)


class ProgramBlocks(EngineTestCase):
    def test_nesting_depth_is_0_outside_1_in_a_block_and_2_in_a_block_it_submits(self) -> None:
        self.assertEqual(vexa.nest_depth(), 0)
        self.assertTrue(vexa.is_driven())
        vexa.submit([
            "BEGIN PROGRAM PYTHON.",
            "import vexa",
            "vexa.post_output(f'outer depth {vexa.nest_depth()} driven {vexa.is_driven()}')",
            "vexa.submit(['BEGIN PROGRAM PYTHON.', 'import vexa',",
            "             \"vexa.post_output(f'inner depth {vexa.nest_depth()}')\", 'END PROGRAM.'])",
            "vexa.post_output(f'outer again {vexa.nest_depth()}')",
            "END PROGRAM.",
        ])
        lines = log_lines(self.output_log)
        self.assertIn("output: outer depth 1 driven False", lines)
        self.assertIn("output: inner depth 2", lines)
        self.assertIn("output: outer again 1", lines)
        self.assertEqual(vexa.nest_depth(), 0)

    def test_a_block_that_calls_stop_leaves_the_engine_serving(self) -> None:
        vexa.submit([
            "BEGIN PROGRAM PYTHON.",
            "import vexa",
            "try:",
            "    vexa.stop()",
            "except vexa.VexaError as refused:",
            "    vexa.post_output(f'stop refused {refused.code}')",
            "vexa.post_output(f'still running {vexa.is_running()}')",
            "END PROGRAM.",
        ])
        self.assertIn("output: stop refused 9104", log_lines(self.output_log))
        self.assertIn("output: still running True", log_lines(self.output_log))
        self.assertTrue(vexa.is_running())
        vexa.submit("SET WIDTH=90.")
        self.assertEqual(vexa.xpath.setting("WIDTH"), "90")


if __name__ == "__main__":
    unittest.main()
