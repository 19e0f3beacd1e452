"""Writes the engine page shown in the README: a crosscount, a table of two
row dimensions with footnotes (one of them on several cells) and the lines a
program block printed. Usage: engine_page.py <page.html>"""
import sys
import vexa
from collections import defaultdict
with vexa.session(output_html=sys.argv[1]):
    vexa.submit("CROSSCOUNT species BY species_code.")
    groups = defaultdict(list)
    with vexa.Procedure("Read petals"), vexa.ReadCursor(["species", "sepal_length", "petal_length"]) as cases:
        for species, sepal, petal in cases:
            groups[(species.strip(), "long" if sepal >= 5.8 else "short")].append(petal)
    with vexa.Procedure("Petal length by group") as procedure:
        table = procedure.pivot_table("Petals", "Petal length by species and sepal size", "Petal groups")
        species, size = table.dimension("Species", "row"), table.dimension("Sepal size", "row")
        statistics = table.dimension("Statistics", "column")
        for (name, length), values in sorted(groups.items()):
            note = "Fewer than 10 flowers" if len(values) < 10 else None
            at = {species: name, size: length}
            table.set_cell({**at, statistics: "N"}, len(values), format="count", footnote=note)
            table.set_cell({**at, statistics: "Mean"}, sum(values) / len(values), format="mean", format_variable=2, footnote=note)
        table.title_footnote("Sepal length 5.8 cm or more is long")
    vexa.submit("BEGIN PROGRAM PYTHON.\nfor i in range(3):\n    print('printed line', i)\nEND PROGRAM.")
