package com.kor.statistics;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Path;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The active dataset's dictionary against the sample's dictionary file. */
class DictionaryTest {
    @TempDir
    static Path dir;
    static Engine engine;
    static List<Variable> variables;

    @BeforeAll
    static void start() throws Exception {
        engine = Iris.start(dir.resolve("output.log"));
        variables = engine.variables();
    }

    @AfterAll
    static void stop() {
        engine.close();
    }

    private static Variable named(String name) {
        return variables.stream().filter(v -> v.name().equals(name)).findFirst().orElseThrow();
    }

    @Test
    void namesAndTypesFollowTheDataFile() throws Exception {
        assertEquals(Iris.load().names, variables.stream().map(Variable::name).toList());
        for (Variable variable : variables) {
            assertEquals(!variable.name().equals("species"), variable.isNumeric(), variable.name());
        }
        assertTrue(named("species").type() >= "versicolor".length());
    }

    @Test
    void labelsFormatsLevelsAndRoles() {
        Variable sepal = named("sepal_length");
        assertEquals("Sepal length (cm)", sepal.label());
        assertEquals("F8.1", sepal.format());
        assertEquals(Variable.Level.SCALE, sepal.level());
        assertEquals(Variable.Role.INPUT, sepal.role());
        assertEquals("Flowers on the \"sampled\" stem", named("flower_count").label());
        assertEquals(Variable.Level.NOMINAL, named("species").level());
        assertEquals(Variable.Role.TARGET, named("species").role());
        assertEquals(Variable.Role.BOTH, named("species_code").role());
        assertEquals(Variable.Level.ORDINAL, named("petal_quality").level());
        assertEquals(Variable.Role.PARTITION, named("flower_count").role());
    }

    @Test
    void missingValuesOfEveryKind() {
        assertEquals(MissingValues.of(9, 99), named("petal_quality").missingValues());
        assertEquals(MissingValues.range(-999, -900, null), named("growth_index").missingValues());
        assertEquals(MissingValues.range(90, 99, 0.0), named("flower_count").missingValues());
        assertEquals(MissingValues.of("unknown"), named("species").missingValues());
        assertTrue(named("sepal_length").missingValues().isEmpty());
    }

    @Test
    void valueLabelsAndAttributesAreReadAndReleased() throws Exception {
        assertEquals(Map.of(1.0, "setosa", 2.0, "versicolor", 3.0, "virginica"), named("species_code").valueLabels());
        assertEquals(Map.of("setosa", "Iris setosa", "versicolor", "Iris versicolor", "virginica", "Iris virginica"),
                named("species").valueLabels());
        assertTrue(named("sepal_length").valueLabels().isEmpty());
        assertEquals(Map.of("Source", List.of("field notes", "herbarium sheets")), named("species").attributes());
        assertEquals(Map.of("Unit", List.of("cm")), named("petal_length").attributes());
        assertTrue(named("sepal_width").attributes().isEmpty());
        assertNull(engine.weightVariable());
    }
}
