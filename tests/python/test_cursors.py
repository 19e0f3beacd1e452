"""Read and write cursors over the real engine's sample."""
from __future__ import annotations

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import vexa  # noqa: E402
from support import EngineTestCase, sample_dictionary, sample_rows  # noqa: E402
from test_dictionary import expected_missing  # noqa: E402


def expected_case(header, row, dictionary, user_missing_as_none=True):
    """The tuple a read cursor should give for one row of the data file."""
    values = []
    for name, text in zip(header, row):
        missing = expected_missing(dictionary["missing"].get(name))
        try:
            value = float(text)
        except ValueError:
            value = text
        if text == "" and not isinstance(value, str):
            values.append(None)
        elif user_missing_as_none and value in missing:
            values.append(None)
        else:
            values.append(value)
    return tuple(values)


class Reading(EngineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        cls.header, cls.rows = sample_rows()
        cls.dictionary = sample_dictionary()

    def test_every_case_reads_as_in_the_data_file_with_missing_values_as_none(self) -> None:
        with vexa.Procedure("Read pass"), vexa.ReadCursor() as cursor:
            cases = list(cursor)
        expected = [expected_case(self.header, row, self.dictionary) for row in self.rows]
        self.assertEqual(cases, expected)
        # The sample does have user-missing values, so None was really produced.
        self.assertTrue(any(None in case for case in cases))

    def test_user_missing_values_can_be_kept_and_a_subset_keeps_its_order(self) -> None:
        chosen = ["flower_count", "species", "petal_quality"]
        with vexa.Procedure("Subset"):
            with vexa.ReadCursor(chosen, user_missing_as_none=False) as cursor:
                cases = list(cursor)
        columns = [self.header.index(name) for name in chosen]
        expected = [tuple(float(row[i]) if name != "species" else row[i]
                          for i, name in zip(columns, chosen)) for row in self.rows]
        self.assertEqual(cases, expected)

    def test_single_values_and_the_position_follow_the_walk(self) -> None:
        with vexa.Procedure("Steps"), vexa.ReadCursor(["sepal_length"]) as cursor:
            self.assertTrue(cursor.next_case())
            self.assertTrue(cursor.next_case())
            self.assertEqual(cursor.value("species"), self.rows[1][self.header.index("species")])
            self.assertEqual(cursor.values(), (float(self.rows[1][0]),))
            cursor.reset()
            self.assertTrue(cursor.next_case())
            self.assertEqual(cursor.values(), (float(self.rows[0][0]),))

    def test_a_cursor_outside_a_procedure_raises_the_engines_code(self) -> None:
        with self.assertVexaError(9004):
            with vexa.ReadCursor():
                pass

    def test_a_bad_selection_fails_and_leaves_no_cursor(self) -> None:
        with vexa.Procedure("Bad selection"):
            with self.assertRaises(KeyError):
                vexa.ReadCursor(["nope"]).open()
            with self.assertRaises(IndexError):
                vexa.ReadCursor([len(self.header)]).open()
            with self.assertRaises(TypeError):
                vexa.ReadCursor("species").open()
            flag = vexa._native.ctypes.c_int(-1)
            vexa._native.library().HasCursor(vexa._native.ctypes.byref(flag))
            self.assertEqual(flag.value, 0)

    def test_leaving_the_block_removes_the_cursor(self) -> None:
        with vexa.Procedure("Removal"):
            with vexa.ReadCursor() as cursor:
                cursor.next_case()
            flag = vexa._native.ctypes.c_int(-1)
            self.assertEqual(vexa._native.library().HasCursor(vexa._native.ctypes.byref(flag)), 0)
            self.assertEqual(flag.value, 0)


class Writing(EngineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        cls.header, cls.rows = sample_rows()

    def test_1_a_failed_block_leaves_the_dataset_as_it_was(self) -> None:
        with vexa.Procedure("Dropped"):
            with self.assertRaises(RuntimeError):
                with vexa.WriteCursor() as cursor:
                    cursor.add_variable("dropped")
                    raise RuntimeError("stop")
        self.assertEqual(vexa.variable_names(), self.header)

    def test_2_misuse_is_refused_before_a_call(self) -> None:
        with vexa.Procedure("Misuse"), vexa.WriteCursor() as cursor:
            with self.assertRaises(ValueError):
                cursor.add_variable("species")
            with self.assertRaises(TypeError):
                cursor.add_variable("code", 0, value_labels={"a": "x"})
            with self.assertRaises(ValueError):
                cursor.add_variable("code", 0, format="A8")
            cursor.add_variable("word", 4)
            with self.assertRaises(TypeError):
                cursor.set_value("word", 1.5)
            with self.assertRaises(TypeError):
                cursor.set_value("sepal_length", "text")
            with self.assertRaises(KeyError):
                cursor.commit({"sepal_length": 1.0})
        # The block ended cleanly, so "word" is part of the dataset now.
        self.assertEqual(vexa.variable_names(), self.header + ["word"])
        self.header.append("word")

    def test_3_a_new_variable_gets_a_value_per_case_and_a_case_is_appended(self) -> None:
        length_at = self.header.index("petal_length")
        width_at = self.header.index("petal_width")
        with vexa.Procedure("Ratios"):
            with vexa.WriteCursor(["petal_length", "petal_width"]) as cursor:
                cursor.add_variable("petal_ratio", label="Petal length by width", format="F8.3",
                                    measurement_level="scale", role="target",
                                    value_labels={1.0: "even"}, missing_values=[-1.0],
                                    attributes={"Unit": ["ratio"]})
                for length, width in cursor:
                    cursor.commit({"petal_ratio": length / width})
                cursor.append_case({"sepal_length": 7.5, "species": "hybrid", "petal_ratio": -1.0})
        names = vexa.variable_names()
        self.assertEqual(names[-1], "petal_ratio")
        self.assertEqual(vexa.case_count(), len(self.rows) + 1)
        ratio = vexa.variable("petal_ratio")
        self.assertEqual((ratio.label, ratio.format, ratio.level_name, ratio.role_name),
                         ("Petal length by width", "F8.3", "scale", "target"))
        self.assertEqual(ratio.value_labels, {1.0: "even"})
        self.assertEqual(ratio.missing_values, vexa.MissingValues((-1.0,)))
        self.assertEqual(ratio.attributes, {"Unit": ["ratio"]})

        with vexa.Procedure("Read back"):
            with vexa.ReadCursor(["petal_ratio", "sepal_length", "species"],
                                 user_missing_as_none=False) as cursor:
                cases = list(cursor)
            with vexa.ReadCursor(["petal_ratio"]) as cursor:
                last = list(cursor)[-1]
        expected = [(float(row[length_at]) / float(row[width_at]), float(row[0]), row[4])
                    for row in self.rows]
        self.assertEqual(cases[:-1], expected)
        self.assertEqual(cases[-1], (-1.0, 7.5, "hybrid"))
        # -1 is the new variable's user-missing value.
        self.assertEqual(last, (None,))

    def test_4_a_write_cursor_outside_a_procedure_raises_the_engines_code(self) -> None:
        with self.assertVexaError(9004):
            vexa.WriteCursor().open()


class EngineStopped(unittest.TestCase):
    def test_procedures_and_cursors_are_refused_with_17(self) -> None:
        vexa.stop()
        with self.assertRaises(vexa.EngineNotRunning) as caught:
            vexa.Procedure("never").start()
        self.assertEqual((caught.exception.code, caught.exception.call), (17, "StartProcedure"))
        for cursor in (vexa.ReadCursor(), vexa.WriteCursor()):
            with self.assertRaises(vexa.EngineNotRunning) as caught:
                cursor.open()
            self.assertEqual((caught.exception.code, caught.exception.call), (17, "MakeCaseCursor"))


if __name__ == "__main__":
    unittest.main()
