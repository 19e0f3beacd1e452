"""The main job end to end: the demo program against StartXD, its HTML page
checked for the pivot table's values computed here from the sample file."""
import csv
import os
import statistics
import subprocess
import sys
import tempfile
import unittest

DEMO = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "demo", "vexademo.py")


class Demo(unittest.TestCase):
    def test_the_demo_writes_the_descriptives_and_adds_the_computed_variable(self):
        home = os.environ["VEXA_ENGINE_HOME"]
        with open(os.path.join(home, "iris.csv"), newline="") as file:
            rows = list(csv.DictReader(file))
        with tempfile.TemporaryDirectory() as output:
            page = os.path.join(output, "demo.html")
            run = subprocess.run([sys.executable, DEMO, home, page], capture_output=True, text=True,
                                 timeout=120)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            self.assertIn("petal_area equals length times width in every case: True", run.stdout)
            with open(page, encoding="utf-8") as file:
                html = file.read()
            with open(page + ".log", encoding="utf-8") as file:
                log = file.read()
        self.assertIn("Descriptive Statistics", html)
        for column, label in (("sepal_length", "Sepal length (cm)"), ("petal_width", "Petal width (cm)")):
            values = [float(row[column]) for row in rows]
            cells = "".join(f"<td>{v}</td>" for v in (
                len(values), f"{statistics.mean(values):.3f}", f"{statistics.stdev(values):.3f}",
                f"{min(values):.3f}", f"{max(values):.3f}"))
            self.assertIn(f"<tr><th>{label}</th>{cells}</tr>", html)
        # The block's print reached the engine's output.
        self.assertIn("the block added petal_area to every case", log)


if __name__ == "__main__":
    unittest.main()
