package com.kor.statistics.demo;

import com.kor.statistics.Engine;
import com.kor.statistics.Procedure;
import com.kor.statistics.VexaException;
import com.kor.statistics.WriteCursor;
import com.kor.statistics.plugin.ExtensionCommand;
import java.io.PrintStream;

/** The demo's block program: adds petal_area = petal_length x petal_width with a write cursor; the text is its label. */
public final class PetalArea implements ExtensionCommand {
    @Override
    public void run(Engine engine, String text, PrintStream out) throws VexaException {
        try (Procedure p = engine.procedure("Petal area");
                WriteCursor cursor = engine.writeCursor("petal_length", "petal_width")) {
            cursor.addVariable("petal_area", 0).label(text).format(5, 8, 2);
            while (cursor.next()) {
                Object[] c = cursor.values();
                cursor.set("petal_area", c[0] == null || c[1] == null ? Double.NaN : (Double) c[0] * (Double) c[1]);
                cursor.commit();
            }
            cursor.endChanges();
        }
        out.println("the block added petal_area to every case");
    }
}
