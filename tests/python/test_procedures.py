"""Procedures, pivot tables and text blocks on the real engine, read back
from the procedure's output document."""
from __future__ import annotations

import os
import sys
import unittest
from statistics import mean

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import vexa  # noqa: E402
from vexa import VariableName, VariableValue, xpath  # noqa: E402
from support import EngineTestCase, sample_dictionary, sample_rows  # noqa: E402

MEASURES = ["sepal_length", "sepal_width", "petal_length", "petal_width"]


class PivotTables(EngineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        cls.header, cls.rows = sample_rows()
        cls.species_at = cls.header.index("species")
        cls.labels = {text: label for (text, _), label in sample_dictionary()["values"]["species"]}
        cls.species = sorted({row[cls.species_at] for row in cls.rows} & set(cls.labels))

    def test_means_by_species_land_in_the_cells_the_categories_name(self) -> None:
        means = {(s, m): mean(float(r[self.header.index(m)]) for r in self.rows
                              if r[self.species_at] == s)
                 for s in self.species for m in MEASURES}
        with vexa.Procedure("Flower summary", "flowers") as procedure:
            table = procedure.pivot_table("Summary", "Means", "Means Table")
            rows = table.dimension("Species", "row")
            columns = table.dimension("Measures", "column")
            for (species, measure), value in means.items():
                position = self.header.index(measure)
                table.set_cell({rows: VariableValue(self.species_at, species),
                                columns: VariableName(position)},
                               value, format="mean", format_variable=position)
            table.set_cell({"Species": VariableValue(self.species_at, self.species[0]),
                            "Measures": "N"}, 50, format="count", footnote="cases per species")
            table.caption("From the bundled sample", footnote="caption note")
            table.title_footnote("title note")
            rows.footnote("species note")
            procedure.text_block("Notes", "About", "Means of the four measures", 2)

        def strings(expression: str, context: str = "") -> list:
            return xpath.evaluate("flowers", expression, context)

        self.assertEqual(strings("//dimension[@name='Species']/category/@text"),
                         [self.labels[s] for s in self.species])
        self.assertEqual(strings("//dimension[@name='Measures']/category/@variable"), MEASURES)
        for (species, measure), value in means.items():
            # F8.1 variables: a mean shows their decimals plus two.
            path = (f"//cell[at[@dimension='Species']/@text='{self.labels[species]}' and "
                    f"at[@dimension='Measures']/@text='{vexa.variable(measure).label}']/@text")
            self.assertEqual(strings(path), [f"{value:.3f}"], path)
        self.assertEqual(strings("//cell[@format='Count']/@text"), ["50"])
        self.assertEqual(strings("//cell[@format='Count']/footnote"), ["cases per species"])
        self.assertEqual(strings("//caption/@text"), ["From the bundled sample"])
        self.assertEqual(strings("//caption/footnote"), ["caption note"])
        self.assertEqual(strings("//pivotTable/footnote[@level='title']"), ["title note"])
        self.assertEqual(strings("//dimension[@name='Species']/footnote"), ["species note"])
        self.assertEqual(strings("//textBlock[@title='About']"), ["Means of the four measures"])
        self.assertEqual(strings("//textBlock/@lines"), ["2"])
        self.assertIn("Means Table", xpath.tags())

    def test_a_cell_without_a_category_of_every_dimension_is_refused(self) -> None:
        with vexa.Procedure("Incomplete") as procedure:
            table = procedure.pivot_table("Outline", "Incomplete", "Incomplete")
            rows = table.dimension("Rows", "row")
            table.dimension("Columns", "column")
            with self.assertVexaError(9013):
                table.set_cell({rows: "only rows"}, 1.0)

    def test_table_keys_and_procedure_order_are_checked_by_the_engine(self) -> None:
        with self.assertVexaError(9004):
            vexa.PivotTable("Outline", "No procedure")
        with vexa.Procedure("Keys") as procedure:
            procedure.pivot_table("Outline", "Twice", "Tag")
            with self.assertVexaError(9008):
                procedure.pivot_table("Outline", "Twice", "Tag")
            with self.assertVexaError(9005):
                vexa.Procedure("Nested").start()
        with self.assertVexaError(9004):
            vexa.text_block("Outline", "Late", "after the end")

    def test_an_exception_in_the_block_still_ends_the_procedure(self) -> None:
        with self.assertRaises(ZeroDivisionError):
            with vexa.Procedure("Broken", "broken"):
                1 / 0
        self.assertFalse(vexa.has_procedure())
        self.assertIn("broken", xpath.handles())

    def test_misuse_is_refused_before_any_call(self) -> None:
        with vexa.Procedure("Misuse") as procedure:
            table = procedure.pivot_table("Outline", "Misuse")
            rows = table.dimension("Rows")
            with self.assertRaises(ValueError):
                table.set_cell({rows: "a"}, 1.0, format="mean")
            with self.assertRaises(ValueError):
                table.set_cell({rows: "a"}, 1.0, format="no such format")
            with self.assertRaises(ValueError):
                table.dimension("Elsewhere", "diagonal")
            with self.assertRaises(KeyError):
                table.set_cell({"Columns": "a"}, 1.0)
            with self.assertRaises(TypeError):
                rows.add_category(True)  # type: ignore[arg-type]
            with self.assertRaises(ValueError):
                table.column_widths(20, 10)
        # Nothing of the refused calls reached the table.
        self.assertEqual(xpath.evaluate("Misuse", "count(//cell)"), ["0"])


if __name__ == "__main__":
    unittest.main()
