package com.kor.statistics;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Path;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Named datasets made and written in a data step, read back cell by cell. */
class DatasetTest {
    @TempDir
    Path dir;
    Engine engine;

    @BeforeEach
    void start() throws Exception {
        engine = Iris.start(dir.resolve("output.log"));
    }

    @AfterEach
    void stop() {
        engine.close();
    }

    @Test
    void aDatasetMadeInADataStepKeepsItsCells() throws Exception {
        Dataset made;
        try (DataStep step = new DataStep()) {
            made = engine.createDataset("extra");
            assertEquals(0, made.addVariable("x", 0));
            assertEquals(1, made.addVariable("label", 8));
            for (int row = 0; row < 3; ++row) {
                assertEquals(row, made.addCase());
                made.set(row, 0, row * 1.5);
                made.set(row, 1, "row" + row);
            }
            made.commit();
            assertEquals(3, made.caseCount());
            VexaException taken = assertThrows(VexaException.class, () -> engine.createDataset("extra"));
            assertEquals(9061, taken.code());
        }
        assertTrue(engine.datasets().contains("extra"));
        assertEquals(2, made.variableCount());
        assertEquals("label", made.variableName(1));
        assertEquals(8, made.variableType(1));
        for (int row = 0; row < 3; ++row) {
            assertEquals(row * 1.5, made.number(row, 0));
            assertEquals("row" + row, made.text(row, 1));
        }
        made.copy("extra_copy").rename("renamed");
        assertTrue(engine.datasets().contains("renamed"));
        made.close();
        assertFalse(engine.datasets().contains("extra"));
    }

    @Test
    void cellWritesOutsideAStepOrToAForeignDatasetAreRefused() throws Exception {
        Dataset active = engine.activeDataset();
        assertEquals(89, assertThrows(VexaException.class, () -> active.set(0, 0, 1.0)).code());
        try (DataStep step = new DataStep()) {
            assertEquals(87, assertThrows(VexaException.class, () -> engine.dataset("elsewhere").set(0, 0, 1.0)).code());
            Dataset made = engine.createDataset("small");
            made.addVariable("x", 0);
            made.addCase();
            assertEquals(97, assertThrows(VexaException.class, () -> made.set(5, 0, 1.0)).code());
            assertEquals(10, assertThrows(VexaException.class, () -> made.set(0, 3, 1.0)).code());
        }
        VexaException absent = assertThrows(VexaException.class, () -> engine.dataset("absent").activate());
        assertEquals(9060, absent.code());
        assertNull(engine.weightVariable());
    }
}
