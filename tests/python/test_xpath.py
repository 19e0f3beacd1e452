"""XPath over the engine's documents and its settings."""
from __future__ import annotations

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import vexa  # noqa: E402
from vexa import xpath  # noqa: E402
from support import EngineTestCase, sample_dictionary, sample_rows  # noqa: E402


class Documents(EngineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        cls.header, cls.rows = sample_rows()
        cls.dictionary = sample_dictionary()

    def test_the_dictionary_document_answers_as_the_sample_says(self) -> None:
        with xpath.dictionary_document("dict") as doc:
            self.assertIn("dict", xpath.handles())
            self.assertEqual(doc.evaluate("//variable/@name"), self.header)
            self.assertEqual(doc.evaluate("count(//variable)"), [str(len(self.header))])
            self.assertEqual(doc.evaluate("/dictionary/@cases"), [str(len(self.rows))])
            nominal = [name for name, v in self.dictionary["variable"].items()
                       if v.get("level") == "nominal"]
            self.assertEqual(doc.evaluate("@label", "//variable[@level='nominal']"),
                             [self.dictionary["variable"][n]["label"] for n in nominal])
            self.assertEqual(doc.evaluate("count(member)", "//multipleResponseSet"),
                             [str(len(s["members"])) for s in self.dictionary["mrset"].values()])
            self.assertEqual(doc.evaluate("@label", "//variable[@name='no_such']"), [])
            text = doc.xml()
            self.assertTrue(text.startswith("<dictionary"), text[:40])
            # Markup in a label stays text: the quotes of flower_count's label.
            self.assertIn("&quot;sampled&quot;", text)
        self.assertNotIn("dict", xpath.handles())

    def test_failures_carry_the_engines_codes(self) -> None:
        with self.assertVexaError(9020):
            xpath.evaluate("no_such_handle", "/")
        with self.assertVexaError(9020):
            xpath.remove("no_such_handle")
        with self.assertVexaError(9021):
            xpath.create_dictionary("")
        with xpath.dictionary_document("bad") as doc:
            with self.assertVexaError(9023):
                doc.evaluate("//variable[")
            with self.assertVexaError(9024):
                doc.evaluate("@name", "count(//variable)")

    def test_settings_follow_set_commands(self) -> None:
        vexa.submit("SET WIDTH=132 OLANG=German.")
        self.assertEqual(xpath.setting("WIDTH"), "132")
        self.assertEqual(xpath.setting("olang"), "German")
        self.assertEqual(xpath.setting("NO_SUCH_SETTING", "fallback"), "fallback")
        with self.assertVexaError(9027):
            xpath.setting("NO_SUCH_SETTING")

    def test_misuse_is_refused_before_any_call(self) -> None:
        with self.assertRaises(TypeError):
            xpath.evaluate(None, "/")  # type: ignore[arg-type]
        with self.assertRaises(TypeError):
            xpath.setting("WIDTH", None)  # type: ignore[arg-type]


class Stopped(unittest.TestCase):
    def test_document_calls_are_refused_with_17(self) -> None:
        vexa.stop()
        with self.assertRaises(vexa.EngineNotRunning):
            xpath.create_dictionary("h")
        with self.assertRaises(vexa.EngineNotRunning):
            xpath.remove("h")


if __name__ == "__main__":
    unittest.main()
