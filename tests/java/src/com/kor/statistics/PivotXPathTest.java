package com.kor.statistics;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** A pivot table built from cursor data, found again through XPath and in the HTML page. */
class PivotXPathTest {
    @TempDir
    static Path dir;
    static Engine engine;

    @BeforeAll
    static void start() throws Exception {
        engine = Engine.start(Engine.options(Iris.home().toString()).outputLog(dir.resolve("output.log"))
                .outputHtml(dir.resolve("output.html")));
    }

    @AfterAll
    static void stop() {
        engine.close();
    }

    @Test
    void theTablesCellsAreWhatXPathReads() throws Exception {
        double[] sepal = Iris.load().numbers("sepal_length");
        String[] species = Iris.load().texts("species");
        List<String> groups = List.of("setosa", "versicolor", "virginica");
        try (Procedure procedure = engine.procedure("Flower means", "flowers")) {
            PivotTable table = procedure.pivotTable("Means", "Sepal length by species", "Means Table");
            PivotTable.Dimension rows = table.dimension("Species", PivotTable.Place.ROW);
            PivotTable.Dimension columns = table.dimension("Statistics", PivotTable.Place.COLUMN);
            for (String group : groups) {
                double sum = 0;
                int n = 0;
                for (int i = 0; i < sepal.length; ++i) {
                    if (species[i].equals(group)) {
                        sum += sepal[i];
                        ++n;
                    }
                }
                table.cell().at(rows, group).at(columns, "N").format(PivotTable.Format.COUNT).set(n);
                table.cell().at(rows, group).at(columns, "Mean").format(PivotTable.Format.GENERAL).set(sum / n);
            }
            table.caption("made from Java");
            procedure.textBlock("Notes", "Source", "the bundled sample");
        }
        XPath xpath = engine.xpath();
        assertTrue(xpath.handles().contains("flowers"), xpath.handles().toString());
        List<String> numbers = xpath.evaluate("flowers", "/", "//cell/@number");
        List<String> expected = new ArrayList<>();
        for (String group : groups) {
            expected.add("50");
            expected.add(group.equals("setosa") ? "5.006" : group.equals("versicolor") ? "5.936" : "6.588");
        }
        assertEquals(expected.size(), numbers.size(), numbers.toString());
        for (int i = 0; i < expected.size(); ++i) {
            assertEquals(Double.parseDouble(expected.get(i)), Double.parseDouble(numbers.get(i)), 1e-9);
        }
        assertEquals(List.of("made from Java"), xpath.evaluate("flowers", "/", "//caption/@text"));
        assertEquals(List.of("the bundled sample"), xpath.evaluate("flowers", "/", "//textBlock/text()"));
    }

    @Test
    void xpathAndTableFailuresCarryTheEnginesCodes() throws Exception {
        XPath xpath = engine.xpath();
        assertEquals(9020, assertThrows(VexaException.class, () -> xpath.evaluate("no_such_handle", "/", "//cell")).code());
        xpath.createDictionary("dictionary");
        assertTrue(xpath.handles().contains("dictionary"));
        assertEquals(9023, assertThrows(VexaException.class, () -> xpath.evaluate("dictionary", "/", "//[")).code());
        xpath.remove("dictionary");
        try (Procedure procedure = engine.procedure("Broken")) {
            PivotTable table = procedure.pivotTable("T", "T", "T");
            PivotTable.Dimension rows = table.dimension("Rows", PivotTable.Place.ROW);
            table.dimension("Columns", PivotTable.Place.COLUMN);
            // The column dimension has no current category.
            assertEquals(9013, assertThrows(VexaException.class, () -> table.cell().at(rows, "r").set(1.0)).code());
            assertEquals(9008, assertThrows(VexaException.class, () -> procedure.pivotTable("T", "T", "T")).code());
        }
    }

    @Test
    void theHtmlPageIsWrittenWhenTheEngineStops() throws Exception {
        Path page = dir.resolve("second.html");
        engine.close();
        try (Engine second = Engine.start(Engine.options(Iris.home().toString()).outputHtml(page))) {
            try (Procedure procedure = second.procedure("Page")) {
                procedure.textBlock("Notes", "Java", "written from Java");
            }
        }
        assertTrue(Files.readString(page).contains("written from Java"));
        engine = Engine.start(Engine.options(Iris.home().toString()).outputLog(dir.resolve("third.log")));
    }
}
