import com.kor.statistics.CaseBlock;
import com.kor.statistics.Engine;
import com.kor.statistics.Procedure;
import com.kor.statistics.ReadCursor;
import com.sun.jna.Library;
import com.sun.jna.Native;
import java.io.BufferedWriter;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.LinkedHashMap;
import java.util.Map;

/**
 * Reads 1,000,000 cases x 10 numeric variables into double[] columns through the Java binding,
 * against the C cursor pass (NextCase and GetNumericValue per value) made in this same process
 * over the same connection and engine. Best of the repetitions for each.
 *
 * <pre>JavaCursorBench &lt;engine home&gt; &lt;libvexajavabench.so&gt; [repetitions] [--json PATH]</pre>
 */
public final class JavaCursorBench {
    static final int CASES = 1_000_000;
    static final int VARIABLES = 10;
    static final int BLOCK = 4096;

    public interface CLoop extends Library {
        double vexa_bench_c_cursor_pass(int variables, long[] cases, double[] sum);
    }

    /** The data file of bench_cursor: the same path and the same values. */
    static Path dataFile() throws IOException {
        Path path = Path.of("/tmp/vexa-bench-cursor-" + CASES + "x" + VARIABLES + ".csv");
        if (Files.exists(path)) return path;
        Path partial = Path.of(path + ".part" + ProcessHandle.current().pid());
        try (BufferedWriter out = Files.newBufferedWriter(partial)) {
            StringBuilder line = new StringBuilder();
            for (int v = 0; v < VARIABLES; ++v) line.append(v == 0 ? "" : ",").append('x').append(v);
            out.write(line.append('\n').toString());
            for (long c = 0; c < CASES; ++c) {
                line.setLength(0);
                for (int v = 0; v < VARIABLES; ++v) {
                    line.append(v == 0 ? "" : ",").append(String.format("%.2f", (c % 1000) * 0.25 + v));
                }
                out.write(line.append('\n').toString());
            }
        }
        Files.move(partial, path);
        return path;
    }

    static double javaPass(Engine engine, double[] sum) throws Exception {
        long start = System.nanoTime();
        long cases = 0;
        double total = 0;
        try (ReadCursor cursor = engine.readCursor()) {
            CaseBlock block = cursor.newBlock(BLOCK);
            for (int rows; (rows = cursor.read(block)) > 0;) {
                cases += rows;
                for (int v = 0; v < VARIABLES; ++v) {
                    double[] column = block.numbers(v);
                    for (int r = 0; r < rows; ++r) total += column[r];
                }
            }
        }
        double seconds = (System.nanoTime() - start) * 1e-9;
        if (cases != CASES) throw new IllegalStateException("the Java pass saw " + cases + " cases");
        sum[0] = total;
        return seconds;
    }

    public static void main(String[] args) throws Exception {
        if (args.length < 2) {
            System.err.println("usage: JavaCursorBench <engine home> <libvexajavabench.so> [repetitions] [--json PATH]");
            System.exit(2);
        }
        int repetitions = args.length > 2 && !args[2].startsWith("--") ? Integer.parseInt(args[2]) : 5;
        String json = null;
        for (int i = 0; i + 1 < args.length; ++i) if (args[i].equals("--json")) json = args[i + 1];
        CLoop loop = Native.load(args[1], CLoop.class);
        double bestC = Double.MAX_VALUE, bestJava = Double.MAX_VALUE;
        try (Engine engine = Engine.start(Engine.options(args[0]).dataFile(dataFile()));
                Procedure procedure = engine.procedure("bench")) {
            double[] javaSum = new double[1];
            double[] cSum = new double[1];
            long[] cases = new long[1];
            // The first pass of each warms the engine's pages and the JIT.
            loop.vexa_bench_c_cursor_pass(VARIABLES, cases, cSum);
            javaPass(engine, javaSum);
            for (int r = 0; r < repetitions; ++r) {
                bestC = Math.min(bestC, loop.vexa_bench_c_cursor_pass(VARIABLES, cases, cSum));
                bestJava = Math.min(bestJava, javaPass(engine, javaSum));
            }
            if (cases[0] != CASES || Math.abs(cSum[0] - javaSum[0]) > 1e-6 * Math.abs(cSum[0])) {
                throw new IllegalStateException("the passes disagree: " + cases[0] + " cases, sums " + cSum[0]
                        + " and " + javaSum[0]);
            }
        }
        System.out.printf("C cursor pass %.1f ms, Java double[] columns %.1f ms, ratio %.2fx%n", bestC * 1e3,
                bestJava * 1e3, bestJava / bestC);
        if (json != null) {
            Map<String, Double> runs = new LinkedHashMap<>();
            runs.put("C_CursorPass", bestC);
            runs.put("Java_CursorColumns", bestJava);
            StringBuilder text = new StringBuilder("{\"context\": {\"executable\": \"JavaCursorBench\"}, \"benchmarks\": [");
            String separator = "";
            for (Map.Entry<String, Double> run : runs.entrySet()) {
                text.append(separator).append(String.format(
                        "{\"name\": \"%s\", \"run_name\": \"%s\", \"run_type\": \"iteration\", \"iterations\": 1, "
                                + "\"real_time\": %.3f, \"cpu_time\": %.3f, \"time_unit\": \"ms\"}",
                        run.getKey(), run.getKey(), run.getValue() * 1e3, run.getValue() * 1e3));
                separator = ", ";
            }
            Files.writeString(Path.of(json), text.append("]}\n").toString());
        }
    }
}
