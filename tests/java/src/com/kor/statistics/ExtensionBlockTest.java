package com.kor.statistics;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * JAVAEXTENSION blocks whose Java program uses the binding while its block runs: the real engine
 * starts the real Java runtime, which joins the engine's pipes.
 */
class ExtensionBlockTest {
    @TempDir
    Path dir;
    Path log;
    Engine engine;

    @BeforeEach
    void start() throws Exception {
        log = dir.resolve("output.log");
        engine = Iris.start(log);
    }

    @AfterEach
    void stop() {
        engine.close();
    }

    private List<String> output() throws Exception {
        List<String> lines = new ArrayList<>();
        for (String line : Files.readAllLines(log)) {
            if (line.startsWith("output: ")) lines.add(line.substring("output: ".length()));
        }
        return lines;
    }

    private static String describe(String name, double[] values, double[] missing) {
        long n = 0;
        double sum = 0, min = Double.POSITIVE_INFINITY, max = Double.NEGATIVE_INFINITY;
        outer:
        for (double v : values) {
            for (double m : missing) if (v == m) continue outer;
            ++n;
            sum += v;
            min = Math.min(min, v);
            max = Math.max(max, v);
        }
        return String.format("%s N=%d mean=%.6g min=%.6g max=%.6g", name, n, sum / n, min, max);
    }

    @Test
    void theBlocksProgramReadsTheActiveDataset() throws Exception {
        engine.submit("BEGIN PROGRAM JAVAEXTENSION.", "DESCRIBE", "sepal_length petal_quality", "END PROGRAM.");
        Iris iris = Iris.load();
        assertEquals(List.of("DESCRIBE read 150 cases",
                describe("sepal_length", iris.numbers("sepal_length"), new double[0]),
                describe("petal_quality", iris.numbers("petal_quality"), new double[] {9, 99})), output());
        // The engine serves the client again once the block is over.
        assertEquals(150, engine.caseCount());
    }

    @Test
    void aFailingProgramFailsItsBlockWithItsMessage() throws Exception {
        VexaException failed = assertThrows(VexaException.class,
                () -> engine.submit("BEGIN PROGRAM JAVAEXTENSION.", "DESCRIBE", "species", "END PROGRAM."));
        assertEquals(9083, failed.code());
        assertEquals(List.of("Extension: species is not numeric",
                "JAVAEXTENSION DESCRIBE: the Java program ended with exit status 1"), output());
        // Its procedure and cursor were given back: the next block runs.
        engine.submit("BEGIN PROGRAM JAVAEXTENSION.", "DESCRIBE", "sepal_width", "END PROGRAM.");
        assertTrue(output().contains("DESCRIBE read 150 cases"), output().toString());
    }

    @Test
    void aCommandFromTheClassPathWritesAVariableAndCannotNest() throws Exception {
        engine.submit("BEGIN PROGRAM JAVAEXTENSION.", "com.kor.statistics.RatioCommand", "Sepal ratio", "END PROGRAM.");
        assertEquals(List.of("ratio cases 150", "nested block refused 9084"), output());
        Variable ratio = engine.variable(9);
        assertEquals("sepal_ratio", ratio.name());
        assertEquals("Sepal ratio", ratio.label());
        Iris iris = Iris.load();
        double[] length = iris.numbers("sepal_length");
        double[] width = iris.numbers("sepal_width");
        try (Procedure p = engine.procedure("Check"); ReadCursor cursor = engine.readCursor("sepal_ratio")) {
            CaseBlock block = cursor.newBlock(150);
            assertEquals(150, cursor.read(block));
            for (int i = 0; i < 150; ++i) assertEquals(length[i] / width[i], block.numbers(0)[i], 1e-12);
        }
    }

    @Test
    void aProgramNotStartedByAnEngineCannotJoin() throws Exception {
        // This JVM was started by the test runner: no engine named its pipes.
        VexaException refused = assertThrows(VexaException.class, Engine::joinBlock);
        assertEquals(99108, refused.code());
        // A process already connected keeps its connection.
        assertEquals(99108, Api.VexaJavaJoinEngine(Api.z("/tmp"), Api.z("1234"), Api.z("JAVAEXTENSION"),
                Api.z(Iris.home().toString())));
        assertEquals(9, engine.variableCount());
    }
}
