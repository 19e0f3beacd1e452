"""The active dataset's dictionary through vexa.dictionary, against what the
sample's own data and dictionary files say."""
from __future__ import annotations

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import vexa  # noqa: E402
from vexa import MissingValues  # noqa: E402
from support import EngineTestCase, sample_dictionary, sample_rows  # noqa: E402


def expected_missing(statement) -> MissingValues:
    """The MissingValues a `missing` statement of the dictionary file means."""
    if statement is None:
        return MissingValues()
    words = [text for text, _ in statement]
    if statement[0][1]:
        return MissingValues(tuple(words))
    if words[0] == "range":
        extra = (float(words[4]),) if len(words) > 3 else ()
        return MissingValues(extra, float(words[1]), float(words[2]))
    return MissingValues(tuple(float(w) for w in words))


class Dictionary(EngineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        cls.header, cls.rows = sample_rows()
        cls.dictionary = sample_dictionary()

    def test_counts_and_names_are_those_of_the_data_file(self) -> None:
        self.assertEqual(vexa.variable_count(), len(self.header))
        self.assertEqual(vexa.case_count(), len(self.rows))
        self.assertEqual(vexa.variable_names(), self.header)

    def test_every_property_is_that_of_the_dictionary_file(self) -> None:
        variables = vexa.variables()
        self.assertEqual([v.index for v in variables], list(range(len(self.header))))
        for variable in variables:
            with self.subTest(variable=variable.name):
                statement = self.dictionary["variable"][variable.name]
                self.assertEqual(variable.label, statement["label"])
                self.assertEqual(variable.level_name, statement["level"])
                self.assertEqual(variable.role_name, statement["role"])
                widest = max(len(row[variable.index]) for row in self.rows)
                numeric = all(_is_number(row[variable.index]) for row in self.rows)
                self.assertEqual(variable.type, 0 if numeric else widest)
                self.assertEqual(variable.format, statement.get("format", f"A{widest}"))
                self.assertEqual(variable.missing_values,
                                 expected_missing(self.dictionary["missing"].get(variable.name)))
                labels = {(text if quoted else float(text)): label
                          for (text, quoted), label in self.dictionary["values"].get(variable.name, [])}
                self.assertEqual(variable.value_labels, labels)
                self.assertEqual(variable.attributes,
                                 self.dictionary["attribute"].get(variable.name, {}))

    def test_a_variable_by_name_and_by_position_are_the_same(self) -> None:
        last = len(self.header) - 1
        self.assertEqual(vexa.variable(self.header[last]), vexa.variable(last))
        self.assertEqual(vexa.variable_index("species"), self.header.index("species"))

    def test_misuse_fails_before_the_engine_is_asked(self) -> None:
        with self.assertRaises(IndexError):
            vexa.variable(len(self.header))
        with self.assertRaises(IndexError):
            vexa.variable(-1)
        with self.assertRaises(TypeError):
            vexa.variable(1.0)  # type: ignore[arg-type]
        with self.assertRaises(KeyError):
            vexa.variable("no_such_variable")

    def test_multiple_response_sets_are_those_of_the_dictionary_file(self) -> None:
        sets = vexa.multi_response_sets()
        self.assertEqual([s.name for s in sets], list(self.dictionary["mrset"]))
        for found in sets:
            statement = self.dictionary["mrset"][found.name]
            self.assertEqual(found.label, statement["label"])
            self.assertEqual(found.kind, int(statement["kind"]))
            self.assertEqual(found.counted_value, statement["counted"])
            self.assertEqual(found.second, int(statement["second"]))
            self.assertEqual(found.members, statement["members"])

    def test_an_unknown_set_raises_the_engines_code(self) -> None:
        with self.assertVexaError(9003):
            vexa.multi_response_set("$nothing")

    def test_file_attributes_weight_and_splits(self) -> None:
        self.assertEqual(vexa.data_file_attributes(), self.dictionary["fileattribute"])
        self.assertIsNone(vexa.weight_variable())
        self.assertEqual(vexa.split_variables(), [])


class MissingValueRules(unittest.TestCase):
    def test_a_range_with_an_extra_value_judges_both(self) -> None:
        missing = MissingValues((0.0,), 90.0, 99.0)
        self.assertEqual(missing.numeric_format(), (-3, 90.0, 99.0, 0.0))
        self.assertTrue(90 in missing and 95.5 in missing and 0 in missing)
        self.assertFalse(89.99 in missing or 1 in missing or None in missing)
        self.assertEqual(MissingValues.from_numeric(*missing.numeric_format()), missing)

    def test_texts_compare_by_their_first_eight_bytes_without_trailing_blanks(self) -> None:
        missing = MissingValues(("unknown",))
        self.assertIn("unknown ", missing)
        self.assertNotIn("unknow", missing)
        self.assertEqual(missing.string_format(), (1, b"unknown", None, None))

    def test_impossible_sets_are_refused(self) -> None:
        with self.assertRaises(ValueError):
            MissingValues((), 5.0, 1.0)
        with self.assertRaises(ValueError):
            MissingValues(("123456789",))
        with self.assertRaises(ValueError):
            MissingValues((1.0, 2.0, 3.0, 4.0))
        with self.assertRaises(TypeError):
            MissingValues((1.0, "a"))


def _is_number(text: str) -> bool:
    try:
        float(text)
    except ValueError:
        return text == ""
    return True


if __name__ == "__main__":
    unittest.main()
