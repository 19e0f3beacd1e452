package com.kor.statistics;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/** The bundled sample read straight from its CSV file: what the engine's answers are checked against. */
final class Iris {
    final List<String> names;
    final List<String[]> rows = new ArrayList<>();

    private Iris(Path csv) throws IOException {
        List<String> lines = Files.readAllLines(csv);
        names = Arrays.asList(lines.get(0).split(","));
        for (String line : lines.subList(1, lines.size())) {
            if (!line.isBlank()) rows.add(line.split(",", -1));
        }
    }

    static Path home() {
        return Path.of(System.getProperty("vexa.engineHome"));
    }

    static Iris load() throws IOException {
        return new Iris(home().resolve("iris.csv"));
    }

    int column(String name) {
        int column = names.indexOf(name);
        if (column < 0) throw new IllegalArgumentException(name);
        return column;
    }

    double[] numbers(String name) {
        int column = column(name);
        return rows.stream().mapToDouble(row -> row[column].isEmpty() ? Double.NaN : Double.parseDouble(row[column]))
                .toArray();
    }

    String[] texts(String name) {
        int column = column(name);
        return rows.stream().map(row -> row[column]).toArray(String[]::new);
    }

    /** Starts the engine on the sample, writing its output log to the given file. */
    static Engine start(Path log) throws VexaException {
        return Engine.start(Engine.options(home().toString()).outputLog(log));
    }
}
