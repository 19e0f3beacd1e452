package com.kor.statistics;

import com.kor.statistics.plugin.ExtensionCommand;
import java.io.PrintStream;

/**
 * An extension command of the tests, run by the Java extension program inside a block: adds the
 * variable "sepal_ratio" (length over width) with a write cursor, and shows that a nested Java
 * block is refused.
 */
public final class RatioCommand implements ExtensionCommand {
    @Override
    public void run(Engine engine, String text, PrintStream out) throws VexaException {
        try (Procedure p = engine.procedure("Ratio"); WriteCursor cursor = engine.writeCursor("sepal_length", "sepal_width")) {
            cursor.addVariable("sepal_ratio", 0).label(text);
            int cases = 0;
            while (cursor.next()) {
                Object[] c = cursor.values();
                cursor.set("sepal_ratio", (Double) c[0] / (Double) c[1]);
                cursor.commit();
                ++cases;
            }
            cursor.endChanges();
            out.println("ratio cases " + cases);
        }
        try {
            engine.submit("BEGIN PROGRAM JAVAEXTENSION.", "GREET", "END PROGRAM.");
            out.println("nested block ran");
        } catch (VexaException e) {
            out.println("nested block refused " + e.code());
        }
    }
}
