"""The main job, from Python: start the reference engine on the bundled
sample, print the dictionary, compute descriptive statistics with a read
cursor, put them in a pivot table, let a Python block inside the engine add
a computed variable with a write cursor, read it back, and stop the engine,
which writes its output document as HTML.
  vexademo.py <engine home> <output page path>"""
import math
import os
import sys

import vexa.engine
from vexa.cursors import ReadCursor
from vexa.dictionary import variables
from vexa.procedures import Procedure, VariableName

# Runs inside the engine, in a language process of its own; `import vexa`
# there reaches the engine through the library that process has loaded.
BLOCK = """BEGIN PROGRAM PYTHON.
from vexa.cursors import WriteCursor
from vexa.procedures import Procedure
with Procedure("Petal area"):
    with WriteCursor(["petal_length", "petal_width"]) as cursor:
        cursor.add_variable("petal_area", label="Petal area (cm2)", format="F8.2")
        for length, width in cursor:
            cursor.set_value("petal_area", length * width)
            cursor.commit()
print("the block added petal_area to every case")
END PROGRAM."""


def step(text):
    print(f"== {text}", flush=True)


def describe(values):
    count = len(values)
    mean = sum(values) / count
    deviation = math.sqrt(sum((v - mean) ** 2 for v in values) / (count - 1)) if count > 1 else 0.0
    return {"N": count, "Mean": mean, "Std. Deviation": deviation,
            "Minimum": min(values), "Maximum": max(values)}


def print_dictionary():
    step("the dictionary of the active dataset")
    for variable in variables():
        kind = "numeric" if variable.type == 0 else f"string({variable.type})"
        print(f"  {variable.name:<14} {kind:<11} {variable.format or '':<7} {variable.label!r}")
        if variable.value_labels:
            print(f"      value labels: {variable.value_labels}")


def descriptives():
    step("descriptive statistics with a read cursor (missing values left out)")
    numeric = [v for v in variables() if v.type == 0]
    with Procedure("Descriptives") as procedure:
        with ReadCursor([v.name for v in numeric]) as cursor:
            columns = list(zip(*cursor))
        table = procedure.pivot_table("Descriptives", "Descriptive Statistics", "Descriptives")
        table.dimension("Variables", "row")
        table.dimension("Statistics", "column")
        print(f"  {'variable':<14} {'N':>5} {'mean':>9} {'std dev':>9} {'minimum':>9} {'maximum':>9}")
        for variable, column in zip(numeric, columns):
            statistics = describe([x for x in column if x is not None])
            print(f"  {variable.name:<14} {statistics['N']:>5} {statistics['Mean']:>9.3f} "
                  f"{statistics['Std. Deviation']:>9.3f} {statistics['Minimum']:>9.3f} "
                  f"{statistics['Maximum']:>9.3f}")
            for name, value in statistics.items():
                table.set_cell({"Variables": VariableName(variable.index), "Statistics": name}, value,
                               format="count" if name == "N" else "general")
        table.caption("Computed by vexademo.py through a read cursor")


def read_back():
    step("reading the computed variable back")
    with Procedure("Read back"):
        with ReadCursor(["petal_length", "petal_width", "petal_area"]) as cursor:
            cases = list(cursor)
    wrong = [c for c in cases if abs(c[0] * c[1] - c[2]) > 1e-9]
    print(f"  {len(cases)} cases, first three: {cases[:3]}")
    print(f"  petal_area equals length times width in every case: {not wrong}")
    return not wrong


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    home, page = sys.argv[1], os.path.abspath(sys.argv[2])
    step(f"starting StartXD in {home}")
    with vexa.engine.session(home, output_html=page, output_log=page + ".log"):
        print_dictionary()
        descriptives()
        step("running a BEGIN PROGRAM PYTHON block inside the engine")
        vexa.engine.submit(BLOCK)
        matches = read_back()
        step("stopping the engine")
    print(f"output page: {page}")
    return 0 if matches else 1


if __name__ == "__main__":
    sys.exit(main())
