package com.kor.statistics.demo;

import com.kor.statistics.CaseBlock;
import com.kor.statistics.Engine;
import com.kor.statistics.PivotTable;
import com.kor.statistics.Procedure;
import com.kor.statistics.ReadCursor;
import com.kor.statistics.Variable;
import com.kor.statistics.VexaException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * The main job, from Java: starts the reference engine on the bundled sample, prints the
 * dictionary, computes descriptive statistics with a read cursor into a pivot table, runs a
 * JAVAEXTENSION block whose Java program adds a computed variable with a write cursor
 * ({@link PetalArea}), reads it back and stops the engine, which writes its output as HTML.
 *
 * <pre>VexaDemo &lt;engine home&gt; &lt;output page path&gt;</pre>
 *
 * The block's program finds {@link PetalArea} through the engine's CLASSPATH, which the engine
 * passes on to the Java programs it starts: run this with CLASSPATH naming this demo's jar.
 */
public final class VexaDemo {
    private VexaDemo() {}

    private static void step(String text) {
        System.out.println("== " + text);
    }

    public static void main(String[] args) throws VexaException {
        if (args.length != 2) {
            System.err.println("usage: VexaDemo <engine home> <output page path>");
            System.exit(2);
        }
        Path page = Path.of(args[1]).toAbsolutePath();
        step("starting StartXD in " + args[0]);
        boolean matches;
        try (Engine engine = Engine.start(Engine.options(args[0]).outputHtml(page)
                .outputLog(Path.of(page + ".log")))) {
            List<Variable> variables = printDictionary(engine);
            descriptives(engine, variables);
            step("running a BEGIN PROGRAM JAVAEXTENSION block inside the engine");
            engine.submit("BEGIN PROGRAM JAVAEXTENSION.", PetalArea.class.getName(), "Petal area (cm2)",
                    "END PROGRAM.");
            matches = readBack(engine);
            step("stopping the engine");
        }
        System.out.println("output page: " + page);
        System.exit(matches ? 0 : 1);
    }

    private static List<Variable> printDictionary(Engine engine) throws VexaException {
        step("the dictionary of the active dataset");
        List<Variable> variables = engine.variables();
        for (Variable v : variables) {
            String kind = v.isNumeric() ? "numeric" : "string(" + v.type() + ")";
            System.out.printf("  %-14s %-11s %-7s '%s'%n", v.name(), kind, v.format() == null ? "" : v.format(), v.label());
            if (!v.valueLabels().isEmpty()) System.out.println("      value labels: " + v.valueLabels());
        }
        return variables;
    }

    private static void descriptives(Engine engine, List<Variable> variables) throws VexaException {
        step("descriptive statistics with a read cursor (missing values left out)");
        List<Variable> numeric = new ArrayList<>();
        for (Variable v : variables) if (v.isNumeric()) numeric.add(v);
        String[] names = numeric.stream().map(Variable::name).toArray(String[]::new);
        Statistics[] statistics = new Statistics[names.length];
        for (int c = 0; c < names.length; ++c) statistics[c] = new Statistics();
        try (Procedure procedure = engine.procedure("Descriptives")) {
            try (ReadCursor cursor = engine.readCursor(names)) {
                CaseBlock block = cursor.newBlock(64);
                for (int rows; (rows = cursor.read(block)) > 0;) {
                    for (int c = 0; c < names.length; ++c) statistics[c].add(block.numbers(c), rows);
                }
            }
            PivotTable table = procedure.pivotTable("Descriptives", "Descriptive Statistics", "Descriptives");
            PivotTable.Dimension rows = table.dimension("Variables", PivotTable.Place.ROW);
            PivotTable.Dimension columns = table.dimension("Statistics", PivotTable.Place.COLUMN);
            System.out.printf("  %-14s %5s %9s %9s %9s %9s%n", "variable", "N", "mean", "std dev", "minimum", "maximum");
            for (int c = 0; c < names.length; ++c) {
                Statistics s = statistics[c];
                System.out.printf("  %-14s %5d %9.3f %9.3f %9.3f %9.3f%n", names[c], s.n, s.mean(), s.deviation(), s.min,
                        s.max);
                int variable = numeric.get(c).index();
                table.cell().atVariable(rows, variable).at(columns, "N").format(PivotTable.Format.COUNT).set(s.n);
                table.cell().atVariable(rows, variable).at(columns, "Mean").format(PivotTable.Format.GENERAL).set(s.mean());
                table.cell().atVariable(rows, variable).at(columns, "Std. Deviation").format(PivotTable.Format.GENERAL)
                        .set(s.deviation());
                table.cell().atVariable(rows, variable).at(columns, "Minimum").format(PivotTable.Format.GENERAL).set(s.min);
                table.cell().atVariable(rows, variable).at(columns, "Maximum").format(PivotTable.Format.GENERAL).set(s.max);
            }
            table.caption("Computed by VexaDemo.java through a read cursor");
        }
    }

    private static boolean readBack(Engine engine) throws VexaException {
        step("reading the computed variable back");
        int wrong = 0;
        int cases = 0;
        try (Procedure p = engine.procedure("Read back");
                ReadCursor cursor = engine.readCursor("petal_length", "petal_width", "petal_area")) {
            CaseBlock block = cursor.newBlock(64);
            for (int rows; (rows = cursor.read(block)) > 0;) {
                for (int r = 0; r < rows; ++r) {
                    double expected = block.numbers(0)[r] * block.numbers(1)[r];
                    if (cases + r < 3) {
                        System.out.printf("  case %d: %.1f x %.1f = %.2f%n", cases + r + 1, block.numbers(0)[r],
                                block.numbers(1)[r], block.numbers(2)[r]);
                    }
                    if (Math.abs(expected - block.numbers(2)[r]) > 1e-9) ++wrong;
                }
                cases += rows;
            }
        }
        System.out.println("  " + cases + " cases; petal_area equals length times width in every case: " + (wrong == 0));
        return wrong == 0 && cases > 0;
    }

    /** Count, mean, standard deviation (n - 1), minimum and maximum of the valid values. */
    private static final class Statistics {
        long n;
        double sum;
        double squares;
        double min = Double.POSITIVE_INFINITY;
        double max = Double.NEGATIVE_INFINITY;

        void add(double[] values, int rows) {
            for (int r = 0; r < rows; ++r) {
                double v = values[r];
                if (Double.isNaN(v)) continue;
                ++n;
                sum += v;
                squares += v * v;
                min = Math.min(min, v);
                max = Math.max(max, v);
            }
        }

        double mean() {
            return n == 0 ? Double.NaN : sum / n;
        }

        double deviation() {
            return n < 2 ? 0 : Math.sqrt(Math.max(0, (squares - sum * sum / n) / (n - 1)));
        }
    }
}
