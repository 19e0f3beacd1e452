package com.kor.statistics;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.nio.file.Path;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Write cursors: new variables with their dictionary, values per case and new cases. */
class WriteCursorTest {
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
    void aComputedVariableKeepsItsValuesAndDictionary() throws Exception {
        try (Procedure p = engine.procedure("Area"); WriteCursor cursor = engine.writeCursor("petal_length", "petal_width")) {
            cursor.addVariable("petal_area", 0).label("Petal area (cm2)").format(5, 8, 2).level(Variable.Level.SCALE)
                    .valueLabel(0.0, "none").missingValues(MissingValues.of(-1)).attribute("Unit", "cm2", "square");
            cursor.addVariable("size", 6).valueLabel("big", "Big flower");
            while (cursor.next()) {
                Object[] c = cursor.values();
                double area = (Double) c[0] * (Double) c[1];
                cursor.set("petal_area", area);
                cursor.set("size", area > 5 ? "big" : null);
                cursor.commit();
            }
            cursor.endChanges();
        }
        List<Variable> variables = engine.variables();
        assertEquals(11, variables.size());
        Variable area = variables.get(9);
        assertEquals("petal_area", area.name());
        assertEquals("Petal area (cm2)", area.label());
        assertEquals("F8.2", area.format());
        assertEquals(Variable.Level.SCALE, area.level());
        assertEquals(Map.of(0.0, "none"), area.valueLabels());
        assertEquals(MissingValues.of(-1), area.missingValues());
        assertEquals(Map.of("Unit", List.of("cm2", "square")), area.attributes());
        assertEquals(Map.of("big", "Big flower"), variables.get(10).valueLabels());

        Iris iris = Iris.load();
        double[] length = iris.numbers("petal_length");
        double[] width = iris.numbers("petal_width");
        try (Procedure p = engine.procedure("Back"); ReadCursor cursor = engine.readCursor("petal_area", "size")) {
            CaseBlock block = cursor.newBlock(200);
            assertEquals(150, cursor.read(block));
            for (int i = 0; i < 150; ++i) {
                double expected = length[i] * width[i];
                assertEquals(expected, block.numbers(0)[i], 1e-12);
                assertEquals(expected > 5 ? "big" : "", block.texts(1)[i]);
            }
        }
    }

    @Test
    void newCasesAreAppendedWithMissingValuesElsewhere() throws Exception {
        try (Procedure p = engine.procedure("Append"); WriteCursor cursor = engine.writeCursor()) {
            cursor.set("sepal_length", 9.5);
            cursor.set("species", "newcomer");
            cursor.commitNewCase();
            cursor.set("sepal_length", Double.NaN);
            cursor.commitNewCase();
            cursor.endChanges();
        }
        assertEquals(152, engine.caseCount());
        try (Procedure p = engine.procedure("Tail"); ReadCursor cursor = engine.readCursor("sepal_length", "species", "sepal_width")) {
            CaseBlock block = cursor.newBlock(152);
            assertEquals(152, cursor.read(block));
            assertEquals(9.5, block.numbers(0)[150]);
            assertEquals("newcomer", block.texts(1)[150]);
            assertEquals(Double.NaN, block.numbers(2)[150]);
            assertEquals(Double.NaN, block.numbers(0)[151]);
        }
    }

    @Test
    void wrongUseIsRefusedBeforeOrByTheEngine() throws Exception {
        try (Procedure p = engine.procedure("Wrong"); WriteCursor cursor = engine.writeCursor()) {
            assertThrows(IllegalArgumentException.class, () -> cursor.addVariable("sepal_length", 0));
            assertThrows(IllegalArgumentException.class, () -> cursor.set("species", 1.0));
            assertThrows(IllegalArgumentException.class, () -> cursor.set("no_such", 1.0));
            VexaException badName = assertThrows(VexaException.class, () -> {
                cursor.addVariable("1 bad name", 0);
                cursor.commitHeader();
            });
            assertEquals(9046, badName.code());
        }
        // Closed without endChanges: nothing was added.
        assertEquals(9, engine.variableCount());
        assertNull(engine.weightVariable());
    }
}
