package com.kor.statistics;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * 100,000 calls whose results the library allocates for the caller (value labels, attribute
 * names and values, dataset lists, string lists) leave the resident memory flat: every result
 * goes back through its release function. CTest runs this class with a fixed Java heap touched
 * in full at start, so what grows is native memory.
 */
class LeakTest {
    static final int WARM_UP = 20_000;
    static final int CALLS = 100_000;

    @TempDir
    Path dir;

    static long residentBytes() throws IOException {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) return Long.parseLong(line.replaceAll("[^0-9]", "")) * 1024;
        }
        throw new IOException("no VmRSS");
    }

    private static int round(Engine engine, XPath xpath, int i) throws VexaException {
        // Each kind of caller-owned result in turn, so each is taken 25,000 times.
        switch (i % 4) {
            case 0:
                return engine.variable(5).valueLabels().size();
            case 1:
                return engine.variable(4).attributes().size() + engine.variable(4).valueLabels().size();
            case 2:
                return engine.datasets().size();
            default:
                return xpath.handles().size();
        }
    }

    @Test
    void callsWithCallerOwnedResultsDoNotGrowMemory() throws Exception {
        try (Engine engine = Iris.start(dir.resolve("output.log"))) {
            XPath xpath = engine.xpath();
            xpath.createDictionary("dictionary");
            long seen = 0;
            for (int i = 0; i < WARM_UP; ++i) seen += round(engine, xpath, i);
            long residentBefore = residentBytes();
            for (int i = 0; i < CALLS; ++i) seen += round(engine, xpath, i);
            long residentGrowth = residentBytes() - residentBefore;
            System.out.printf("resident %+d KiB over %d calls%n", residentGrowth / 1024, CALLS);
            // Leaving out any one release leaks at least 25,000 results of 100 bytes or more.
            assertTrue(residentGrowth < 2L << 20, "resident memory grew by " + residentGrowth + " bytes");
            assertTrue(seen > 0);
            assertEquals(List.of(1.0, 5.0, 9.0, 99.0), engine.variable(6).valueLabels().keySet().stream().sorted().toList());
        }
    }
}
