package com.kor.statistics;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Read cursors, by the case and by the block, against the sample's CSV file. */
class CursorTest {
    @TempDir
    static Path dir;
    static Engine engine;
    static Iris iris;

    @BeforeAll
    static void start() throws Exception {
        engine = Iris.start(dir.resolve("output.log"));
        iris = Iris.load();
    }

    @AfterAll
    static void stop() {
        engine.close();
    }

    /** The CSV's column with the user-missing values of the dictionary made NaN. */
    private static double[] expected(String name) {
        double[] values = iris.numbers(name);
        for (int i = 0; i < values.length; ++i) {
            double v = values[i];
            boolean missing = switch (name) {
                case "petal_quality" -> v == 9 || v == 99;
                case "growth_index" -> v >= -999 && v <= -900;
                case "flower_count" -> (v >= 90 && v <= 99) || v == 0;
                default -> false;
            };
            if (missing) values[i] = Double.NaN;
        }
        return values;
    }

    @Test
    void blocksFillEveryColumnWithTheDataFilesValues() throws Exception {
        String[] names = {"sepal_length", "species", "petal_quality", "growth_index", "flower_count"};
        // 64 does not divide 150: the last block is a short one.
        try (Procedure p = engine.procedure("Blocks"); ReadCursor cursor = engine.readCursor(names)) {
            CaseBlock block = cursor.newBlock(64);
            List<Integer> sizes = new ArrayList<>();
            double[][] numbers = new double[names.length][0];
            List<String> species = new ArrayList<>();
            for (int rows; (rows = cursor.read(block)) > 0;) {
                sizes.add(rows);
                for (int c = 0; c < names.length; ++c) {
                    if (c == 1) {
                        species.addAll(Arrays.asList(block.texts(c)).subList(0, rows));
                        continue;
                    }
                    int had = numbers[c].length;
                    numbers[c] = Arrays.copyOf(numbers[c], had + rows);
                    System.arraycopy(block.numbers(c), 0, numbers[c], had, rows);
                }
            }
            assertEquals(List.of(64, 64, 22), sizes);
            assertEquals(0, cursor.read(block));
            for (int c : new int[] {0, 2, 3, 4}) assertArrayEquals(expected(names[c]), numbers[c], 0.0, names[c]);
            assertEquals(Arrays.asList(iris.texts("species")), species);
            assertThrows(IllegalArgumentException.class, () -> block.numbers(1));
        }
    }

    @Test
    void iterationGivesTheSameCasesAsBlocks() throws Exception {
        double[] expected = iris.numbers("petal_width");
        String[] species = iris.texts("species");
        try (Procedure p = engine.procedure("Cases"); ReadCursor cursor = engine.readCursor("petal_width", "species")) {
            int row = 0;
            for (Object[] values : cursor) {
                assertEquals(expected[row], (Double) values[0], 0.0);
                assertEquals(species[row], values[1]);
                ++row;
            }
            assertEquals(150, row);
            assertFalse(cursor.next());
        }
    }

    @Test
    void userMissingValuesAreNullUnlessKept() throws Exception {
        double[] raw = iris.numbers("petal_quality");
        int first = 0;
        while (raw[first] != 9 && raw[first] != 99) ++first;
        try (Procedure p = engine.procedure("Missing");
                ReadCursor cursor = engine.readCursor(List.of("petal_quality"), false)) {
            for (int i = 0; i <= first; ++i) cursor.next();
            assertEquals(raw[first], (Double) cursor.values()[0], 0.0);
        }
        try (Procedure p = engine.procedure("Missing"); ReadCursor cursor = engine.readCursor("petal_quality")) {
            for (int i = 0; i <= first; ++i) cursor.next();
            assertNull(cursor.values()[0]);
            assertNull(cursor.value("petal_quality"));
        }
    }

    @Test
    void cursorsNeedAProcedureAndKnownVariables() throws Exception {
        VexaException outside = assertThrows(VexaException.class, () -> engine.readCursor("sepal_length"));
        assertEquals(9004, outside.code());
        assertEquals("MakeCaseCursor", outside.call());
        try (Procedure p = engine.procedure("Unknown")) {
            assertThrows(IllegalArgumentException.class, () -> engine.readCursor("no_such_variable"));
            // The failed open removed its cursor: a new one opens.
            try (ReadCursor cursor = engine.readCursor()) {
                assertEquals(iris.names, cursor.names());
                CaseBlock foreign = new CaseBlock(new int[] {0}, 4);
                assertThrows(IllegalArgumentException.class, () -> cursor.read(foreign));
                // The native block reader checks what it is given before it reads a case.
                int[] rows = {-1};
                assertEquals(99108, Api.VexaJavaReadBlock(new int[] {0}, new int[] {-1}, 1, 4, 1, null, null,
                        new com.sun.jna.Memory(4), rows));
                assertEquals(99108, Api.VexaJavaReadBlock(new int[] {0}, new int[] {0}, 1, 4, 1, null, null,
                        new com.sun.jna.Memory(4), rows));
                assertEquals(-1, rows[0]);
                assertEquals(0, cursor.position() + 1);
            }
        }
    }
}
