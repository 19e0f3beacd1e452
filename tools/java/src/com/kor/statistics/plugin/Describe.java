package com.kor.statistics.plugin;

import com.kor.statistics.CaseBlock;
import com.kor.statistics.Engine;
import com.kor.statistics.Procedure;
import com.kor.statistics.ReadCursor;
import com.kor.statistics.Variable;
import com.kor.statistics.VexaException;
import java.io.PrintStream;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * {@code DESCRIBE [variable ...]}: reads the active dataset in blocks and prints, for each numeric
 * variable named (all numeric ones by default), the count of valid values, their mean, minimum
 * and maximum, one line each; posts one line naming the cases read.
 */
public final class Describe implements ExtensionCommand {
    static final int BLOCK = 1024;

    @Override
    public void run(Engine engine, String text, PrintStream out) throws VexaException {
        List<String> names = new ArrayList<>(Arrays.asList(text.trim().split("\\s+")));
        names.removeIf(String::isEmpty);
        if (names.isEmpty()) {
            for (Variable variable : engine.variables()) {
                if (variable.isNumeric()) names.add(variable.name());
            }
        }
        int columns = names.size();
        long[] count = new long[columns];
        double[] sum = new double[columns];
        double[] min = new double[columns];
        double[] max = new double[columns];
        Arrays.fill(min, Double.POSITIVE_INFINITY);
        Arrays.fill(max, Double.NEGATIVE_INFINITY);
        long cases = 0;
        try (Procedure procedure = engine.procedure("Describe");
                ReadCursor cursor = engine.readCursor(names.toArray(String[]::new))) {
            for (int c = 0; c < columns; ++c) {
                if (cursor.types()[c] != 0) throw new IllegalArgumentException(names.get(c) + " is not numeric");
            }
            CaseBlock block = cursor.newBlock(BLOCK);
            for (int rows; (rows = cursor.read(block)) > 0;) {
                cases += rows;
                for (int c = 0; c < columns; ++c) {
                    double[] values = block.numbers(c);
                    for (int r = 0; r < rows; ++r) {
                        double value = values[r];
                        if (Double.isNaN(value)) continue;
                        ++count[c];
                        sum[c] += value;
                        min[c] = Math.min(min[c], value);
                        max[c] = Math.max(max[c], value);
                    }
                }
            }
        }
        for (int c = 0; c < columns; ++c) {
            out.println(count[c] == 0 ? names.get(c) + " N=0"
                    : String.format("%s N=%d mean=%.6g min=%.6g max=%.6g", names.get(c), count[c],
                            sum[c] / count[c], min[c], max[c]));
        }
        engine.postOutput("DESCRIBE read " + cases + " cases");
    }
}
