"""Named datasets and the data step on the real engine."""
from __future__ import annotations

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import vexa  # noqa: E402
from vexa import Dataset, DataStep  # noqa: E402
from support import EngineTestCase, sample_rows  # noqa: E402

WORDS = ["zero", "one", "two", "three", "four"]


class Datasets(EngineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        cls.header, cls.rows = sample_rows()

    def test_a_dataset_built_in_a_step_keeps_its_cells_after_the_step(self) -> None:
        with DataStep() as step:
            squares = step.create_dataset("squares")
            self.assertEqual(squares.insert_variable("n"), 0)
            squares.insert_variable("square")
            squares.insert_variable("word", 8)
            for _ in WORDS:
                squares.insert_case()
            for row, word in enumerate(WORDS):
                squares.set_cell(row, 0, row)
                squares.set_cell(row, 1, row * row if row else None)
                squares.set_cell(row, 2, word)
            self.assertEqual(step.datasets(), ["squares"])
            # Reading commits the queued writes first.
            self.assertEqual(squares.cell(3, 2), "three")
            self.assertEqual(list(squares.rows()),
                             [(float(r), float(r * r) if r else None, w) for r, w in enumerate(WORDS)])
        self.assertIn("squares", vexa.dataset_names())
        self.assertIn("squares", vexa.opened_dataset_names())
        self.assertEqual((squares.case_count, squares.variable_count), (len(WORDS), 3))
        self.assertEqual(squares.variable_names(), ["n", "square", "word"])
        self.assertEqual(squares.cell(4, 1), 16.0)
        self.assertIsNone(squares.cell(0, 1))

    def test_a_copy_of_the_active_dataset_holds_the_sample(self) -> None:
        copy = Dataset(vexa.ACTIVE).copy("iris_copy")
        self.addCleanup(copy.close)
        self.assertEqual(copy.variable_names(), self.header)
        self.assertEqual(copy.case_count, len(self.rows))
        species = self.header.index("species")
        for row in (0, len(self.rows) // 2, len(self.rows) - 1):
            self.assertEqual(copy.cell(row, 0), float(self.rows[row][0]))
            self.assertEqual(copy.cell(row, species), self.rows[row][species])

    def test_the_dictionary_of_a_dataset_can_be_set_and_read_back(self) -> None:
        with DataStep() as step:
            coded = step.create_dataset("coded")
            coded.insert_variable("code")
            coded.insert_variable("tag", 6)
            coded.set_variable_label(0, "A code")
            coded.set_variable_measurement_level(0, "ordinal")
            coded.set_value_label(0, 1, "low")
            coded.set_value_label(1, "a", "first")
            coded.set_missing_values(0, vexa.MissingValues((9.0,), -5.0, -1.0))
            coded.set_missing_values(1, ["n/a"])
            coded.set_attribute(0, "Unit", ["points", "pts"])
        self.assertEqual(coded.variable_label(0), "A code")
        self.assertEqual(coded.variable_measurement_level(0), "ordinal")
        self.assertEqual(coded.value_labels(0), {1.0: "low"})
        self.assertEqual(coded.value_labels(1), {"a": "first"})
        self.assertEqual(coded.missing_values(0), vexa.MissingValues((9.0,), -5.0, -1.0))
        self.assertEqual(coded.missing_values(1), vexa.MissingValues(("n/a",)))
        self.assertEqual(coded.attributes(0), {"Unit": ["points", "pts"]})

    def test_engine_and_library_codes_come_through(self) -> None:
        with self.assertVexaError(9060):
            Dataset("no_such_dataset").variable_type(0)
        with self.assertVexaError(9060):
            Dataset("no_such_dataset").copy("other")
        with self.assertVexaError(89):
            Dataset(vexa.ACTIVE).set_cell(0, 0, 1.0)
        with self.assertVexaError(9064):
            Dataset(vexa.active_dataset_name()).close()
        with DataStep():
            with self.assertVexaError(9066):
                DataStep().start()
            with self.assertVexaError(9061):
                Dataset.create("taken")
                Dataset.create("taken")
            with self.assertVexaError(97):
                Dataset("taken").set_cell(5, 0, 1.0)
        with self.assertVexaError(9067):
            vexa.errors.check(vexa._native.library().EndDataStep(), "EndDataStep")

    def test_misuse_is_refused_before_any_call(self) -> None:
        with self.assertRaises(IndexError):
            Dataset(vexa.ACTIVE).cell(-1, 0)
        with self.assertRaises(TypeError):
            Dataset(vexa.ACTIVE).cell(0, "species")  # type: ignore[arg-type]
        with self.assertRaises(TypeError):
            Dataset(3)  # type: ignore[arg-type]

    def test_new_names_are_free_ones(self) -> None:
        name = vexa.new_dataset_name()
        self.assertTrue(name)
        self.assertNotIn(name, vexa.dataset_names())
        self.assertEqual(vexa.dataset_names()[0], vexa.active_dataset_name())


if __name__ == "__main__":
    unittest.main()
