"""numpy and pandas in bulk: the sample read into arrays and frames, checked
against the data file itself, and columns of every dtype written to the
engine and read back."""
from __future__ import annotations

import math
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import numpy  # noqa: E402
import pandas  # noqa: E402

import vexa  # noqa: E402
import vexa.data  # noqa: E402
from support import EngineTestCase, sample_dictionary, sample_rows  # noqa: E402
from test_dictionary import expected_missing  # noqa: E402


def expected_column(name, user_missing=True):
    """A column of the data file as read() should give it: floats with NaN,
    or texts with None, for missing values."""
    header, rows = sample_rows()
    missing = expected_missing(sample_dictionary()["missing"].get(name))
    values = []
    for row in rows:
        text = row[header.index(name)]
        try:
            value = float(text)
        except ValueError:
            value = text
        if text == "" and not isinstance(value, str):
            values.append(math.nan)
        elif user_missing and value in missing:
            values.append(None if isinstance(value, str) else math.nan)
        else:
            values.append(value)
    return values


def same(values, expected):
    """Element-wise equality where NaN equals NaN."""
    return len(values) == len(expected) and all(
        (isinstance(e, float) and math.isnan(e) and isinstance(v, float) and math.isnan(v)) or v == e
        for v, e in zip(values, expected))


class Reading(EngineTestCase):
    def test_every_variable_arrives_as_in_the_data_file(self) -> None:
        columns = vexa.data.read()
        header, _ = sample_rows()
        self.assertEqual(list(columns), header)
        for name in header:
            with self.subTest(name):
                column = columns[name]
                expected = expected_column(name)
                self.assertEqual(column.dtype, object if name == "species" else numpy.float64)
                self.assertTrue(same(column.tolist(), expected), name)
        # The sample has user-missing numbers, so NaN was really produced.
        self.assertTrue(numpy.isnan(columns["petal_quality"]).any())

    def test_user_missing_values_stay_values_on_request_and_masks_keep_them(self) -> None:
        kept = vexa.data.read(["petal_quality", "flower_count"], user_missing=False)
        self.assertTrue(same(kept["petal_quality"].tolist(), expected_column("petal_quality", False)))
        masked = vexa.data.read(["petal_quality"], missing="mask")["petal_quality"]
        expected = expected_column("petal_quality")
        self.assertEqual(masked.mask.tolist(), [math.isnan(v) for v in expected])
        self.assertTrue(same(masked.data.tolist(), expected_column("petal_quality", False)))

    def test_a_selection_by_position_keeps_its_order_and_bad_options_are_refused(self) -> None:
        columns = vexa.data.read([4, 0])
        self.assertEqual(list(columns), ["species", "sepal_length"])
        with self.assertRaises(KeyError):
            vexa.data.read(["no_such_variable"])
        with self.assertRaises(ValueError):
            vexa.data.read(missing="zero")

    def test_to_pandas_carries_the_dictionary_and_gives_categories_on_request(self) -> None:
        frame = vexa.data.to_pandas()
        columns = vexa.data.read()
        for name in columns:
            self.assertTrue(same(frame[name].tolist(), columns[name].tolist()), name)
        dictionary = sample_dictionary()
        self.assertEqual(frame.attrs["variable_labels"]["sepal_length"],
                         dictionary["variable"]["sepal_length"]["label"])
        self.assertEqual(frame.attrs["value_labels"]["species_code"],
                         {1.0: "setosa", 2.0: "versicolor", 3.0: "virginica"})
        self.assertEqual(frame.attrs["formats"]["growth_index"], "F8.2")
        self.assertEqual(frame.attrs["missing_values"]["petal_quality"], [9.0, 99.0])

        labelled = vexa.data.to_pandas(["species_code", "petal_quality"], categorical=True)
        self.assertEqual(labelled["species_code"].dtype.name, "category")
        codes = expected_column("species_code")
        names = {1.0: "setosa", 2.0: "versicolor", 3.0: "virginica"}
        self.assertEqual(labelled["species_code"].tolist(), [names[c] for c in codes])
        # An unlabelled value shows its own text; a missing one stays missing.
        quality = labelled["petal_quality"].tolist()
        expected = [None if math.isnan(v) else {1.0: "poor", 5.0: "excellent"}.get(v, f"{v:g}")
                    for v in expected_column("petal_quality")]
        self.assertEqual([None if isinstance(q, float) else q for q in quality], expected)


class Writing(EngineTestCase):
    def test_every_dtype_goes_in_as_a_new_variable_and_comes_back(self) -> None:
        cases = vexa.case_count()
        rows = numpy.arange(cases)
        frame = pandas.DataFrame({
            "w_float": numpy.where(rows % 7 == 0, numpy.nan, rows * 0.25 - 3),
            "w_int": (rows - 20).astype(numpy.int32),
            "w_bool": rows % 3 == 0,
            "w_text": pandas.Series([None if r % 5 == 0 else f"wörd{r}" for r in rows], dtype=object),
            "w_nullable": pandas.array([None if r % 4 == 0 else int(r) for r in rows], dtype="Int64"),
            "w_cat": pandas.Categorical([("low", "high", None)[r % 3] for r in rows],
                                        categories=["low", "high"]),
        })
        frame.attrs["variable_labels"] = {"w_float": "A float column"}
        vexa.data.from_pandas(frame)

        dictionary = {v.name: v for v in vexa.variables()}
        self.assertEqual(dictionary["w_float"].label, "A float column")
        self.assertEqual(dictionary["w_float"].format, "F6.2")   # -3.00 .. 34.25
        self.assertEqual(dictionary["w_int"].format, "F4.0")     # -20 .. 129
        self.assertEqual(dictionary["w_bool"].format, "F1.0")
        widest = max(len(f"wörd{r}".encode()) for r in rows if r % 5)
        self.assertEqual(dictionary["w_text"].type, widest)
        self.assertEqual(dictionary["w_cat"].value_labels, {1.0: "low", 2.0: "high"})

        back = vexa.data.read(list(frame.columns))
        self.assertTrue(same(back["w_float"].tolist(), frame["w_float"].tolist()))
        self.assertEqual(back["w_int"].tolist(), [float(r - 20) for r in rows])
        self.assertEqual(back["w_bool"].tolist(), [1.0 if r % 3 == 0 else 0.0 for r in rows])
        # A missing text is written blank, and a blank reads back empty.
        self.assertEqual(back["w_text"].tolist(), ["" if r % 5 == 0 else f"wörd{r}" for r in rows])
        self.assertTrue(same(back["w_nullable"].tolist(),
                             [math.nan if r % 4 == 0 else float(r) for r in rows]))
        self.assertTrue(same(back["w_cat"].tolist(), [(1.0, 2.0, math.nan)[r % 3] for r in rows]))
        as_categories = vexa.data.to_pandas(["w_cat"], categorical=True)["w_cat"]
        self.assertEqual([None if isinstance(v, float) else v for v in as_categories.tolist()],
                         [("low", "high", None)[r % 3] for r in rows])

    def test_a_column_of_the_wrong_length_or_kind_changes_nothing(self) -> None:
        before = vexa.variable_names()
        with self.assertRaises(ValueError):
            vexa.data.write({"short": numpy.zeros(3)})
        with self.assertRaises(TypeError):
            vexa.data.write({"mixed": numpy.array(["a", 1] * (vexa.case_count() // 2), dtype=object)})
        with self.assertRaises(TypeError):
            vexa.data.write({"when": numpy.array(["2020-01-01"] * vexa.case_count(), dtype="datetime64[D]")})
        self.assertEqual(vexa.variable_names(), before)

    def test_a_frame_becomes_a_new_dataset_that_round_trips(self) -> None:
        frame = pandas.DataFrame({
            "x": [1.5, None, -3.0, 1e6],
            "n": numpy.array([1, 2, 3, 4], dtype=numpy.int64),
            "t": ["a", None, "ccc", "déjà vu"],
            "k": pandas.Categorical(["u", "v", "u", None]),
        })
        active = vexa.active_dataset_name()
        vexa.data.from_pandas(frame, dataset="frame_copy")
        self.assertIn("frame_copy", vexa.dataset_names())
        self.assertEqual(vexa.active_dataset_name(), active)
        made = vexa.Dataset("frame_copy")
        self.assertEqual(made.variable_names(), ["x", "n", "t", "k"])
        self.assertEqual(made.case_count, 4)
        rows = list(made.rows())
        self.assertEqual(rows, [(1.5, 1.0, "a", 1.0), (None, 2.0, "", 2.0), (-3.0, 3.0, "ccc", 1.0),
                                (1e6, 4.0, "déjà vu", None)])
        self.assertEqual(made.value_labels(3), {1.0: "u", 2.0: "v"})
        made.activate()
        try:
            back = vexa.data.to_pandas(categorical=True)
        finally:
            vexa.Dataset(active).activate()
        self.assertEqual(back["k"].tolist()[:3], ["u", "v", "u"])
        # A frame read back with its categories writes back the same codes.
        vexa.data.from_pandas(back, dataset="frame_copy_2")
        self.assertEqual(list(vexa.Dataset("frame_copy_2").rows()), rows)


    def test_a_frame_that_cannot_be_written_leaves_no_dataset_behind(self) -> None:
        wide = pandas.DataFrame({"t": ["x" * 40000]})
        with self.assertRaises(ValueError):
            vexa.data.from_pandas(wide, dataset="too_wide")
        bad_name = pandas.DataFrame({"1 bad name": [1.0]})
        with self.assertVexaError(9046):
            vexa.data.from_pandas(bad_name, dataset="bad_names")
        self.assertNotIn("bad_names", vexa.dataset_names())
        self.assertNotIn("too_wide", vexa.dataset_names())


class CompiledPart(EngineTestCase):
    """The C walkers at their edges: buffers that must grow, messages cut in
    blocks, texts over several cells, and arguments refused before anything
    is sent."""

    def test_columns_grow_past_a_capacity_that_was_too_small(self) -> None:
        blocks = vexa._native.blocks()
        lib = vexa._native.library()
        header, rows = sample_rows()
        with vexa.Procedure("Growth"):
            self.assertEqual(lib.MakeCaseCursor(b"r"), 0)
            try:
                status, count, columns, flags = blocks.read_columns([0, 4], [0, 16], True, True, 1)
            finally:
                lib.RemoveCaseCursor()
        self.assertEqual((status, count), (0, len(rows)))
        self.assertEqual(numpy.frombuffer(columns[0]).tolist(), [float(r[0]) for r in rows])
        self.assertEqual(columns[1], [r[4] for r in rows])
        self.assertEqual(list(flags[0]), [0] * len(rows))
        self.assertIsNone(flags[1])

    def test_a_new_dataset_sent_in_many_small_blocks_keeps_its_order_and_wide_texts(self) -> None:
        rows = 103
        texts = [("é" * (r % 11)) + f"#{r}" for r in range(rows)]     # up to 25 bytes: four cells
        frame = pandas.DataFrame({"n": numpy.arange(rows) * 1.5, "t": texts,
                                  "m": numpy.where(numpy.arange(rows) % 2, numpy.nan, 7.0)})
        blocks_before = vexa.data._BLOCK_BYTES
        vexa.data._BLOCK_BYTES = 5 * 48      # five cases (8 + 32 + 8 bytes) per message
        try:
            vexa.data.from_pandas(frame, dataset="in_blocks")
        finally:
            vexa.data._BLOCK_BYTES = blocks_before
        got = list(vexa.Dataset("in_blocks").rows())
        self.assertEqual(got, [(r * 1.5, texts[r], None if r % 2 else 7.0) for r in range(rows)])

    def test_bad_columns_are_refused_before_anything_is_sent(self) -> None:
        blocks = vexa._native.blocks()
        with self.assertRaises(TypeError):
            blocks.write_current_cases([b"x"], [0], [numpy.zeros(3, dtype=numpy.float32)], 3, 0.0)
        with self.assertRaises(ValueError):
            blocks.write_current_cases([b"x", b"y"], [0, 0], [numpy.zeros(3), numpy.zeros(4)], 3, 0.0)
        with self.assertRaises(ValueError):
            blocks.append_cases([b"t"], [2], [[b"abc"]], 1, 0.0, 10)
        with self.assertRaises(ValueError):
            blocks.read_columns([0], [0, 0], True, False, 10)


class WithoutNumpy(unittest.TestCase):
    def test_the_package_imports_and_the_bulk_calls_say_what_to_install(self) -> None:
        program = (
            "import sys\n"
            "sys.modules['numpy'] = None\n"
            "import vexa, vexa.data\n"
            "try:\n"
            "    vexa.data.read()\n"
            "except ImportError as error:\n"
            "    print(error)\n")
        done = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True,
                              timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("python3-numpy", done.stdout)


if __name__ == "__main__":
    unittest.main()
