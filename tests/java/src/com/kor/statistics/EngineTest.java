package com.kor.statistics;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Start, stop, submission and the codes a failure carries. Each case leaves no engine running. */
class EngineTest {
    @TempDir
    Path dir;

    @Test
    void callsThatNeedAnEngineAreRefusedWith17BeforeItStarts() {
        assertFalse(Engine.isRunning());
        VexaException attach = assertThrows(VexaException.class, Engine::attach);
        assertEquals(17, attach.code());
        VexaException procedure = assertThrows(VexaException.class, () -> new Procedure("p", "p"));
        assertEquals(17, procedure.code());
        assertEquals("StartProcedure", procedure.call());
        assertTrue(procedure.getMessage().contains("not running"), procedure.getMessage());
    }

    @Test
    void anEngineStartedHereStopsWithItsBlockAndStartsAgain() throws Exception {
        try (Engine engine = Iris.start(dir.resolve("first.log"))) {
            assertTrue(engine.owns());
            assertTrue(Engine.isRunning());
            assertEquals(9, engine.variableCount());
            assertEquals(150, engine.caseCount());
            // A second handle on the running engine leaves it running when closed.
            try (Engine again = Engine.start(Iris.home().toString())) {
                assertFalse(again.owns());
            }
            assertTrue(Engine.isRunning());
        }
        assertFalse(Engine.isRunning());
        try (Engine engine = Iris.start(dir.resolve("second.log"))) {
            assertEquals(150, engine.caseCount());
        }
        assertFalse(Engine.isRunning());
    }

    @Test
    void submittedTextAndPostedOutputReachTheOutputLog() throws Exception {
        Path log = dir.resolve("output.log");
        try (Engine engine = Iris.start(log)) {
            engine.postOutput("posted from Java: \u00e4\u00f6");
            engine.submit("BEGIN PROGRAM JAVAEXTENSION.", "GREET", "hello from Java", "END PROGRAM.");
        }
        List<String> lines = Files.readAllLines(log);
        assertTrue(lines.contains("output: posted from Java: \u00e4\u00f6"), lines.toString());
        assertTrue(lines.contains("output: GREET: hello from Java"), lines.toString());
    }

    @Test
    void theEnginesOwnCodesComeBackWithTheirMessage() throws Exception {
        VexaException unreadable = assertThrows(VexaException.class,
                () -> Engine.start(Engine.options(Iris.home().toString()).dataFile(dir.resolve("absent.csv"))));
        assertEquals(9002, unreadable.code());
        assertEquals("StartVexa", unreadable.call());
        assertTrue(unreadable.getMessage().contains("could not be read"), unreadable.getMessage());
        assertFalse(Engine.isRunning());
        try (Engine engine = Iris.start(dir.resolve("output.log"))) {
            VexaException badBlock = assertThrows(VexaException.class,
                    () -> engine.submit("BEGIN PROGRAM JAVAEXTENSION.", "no command name", "END PROGRAM."));
            assertEquals(9082, badBlock.code());
            VexaException noVariable = assertThrows(VexaException.class, () -> engine.variable(9));
            assertEquals(9003, noVariable.code());
        }
    }

    @Test
    void everyCodeOfTheHeadersHasItsMessage() {
        // Codes the binding's hand-kept table once lacked: the table is now written from the headers.
        assertEquals("the engine still names an active dataset", StatusMessages.describe(93));
        assertTrue(new VexaException(9006, "Submit").getMessage().contains("SET command"));
        assertEquals("the temp file cannot be written", StatusMessages.describe(9070));
        assertEquals("system error 32", StatusMessages.describe(32));
        assertEquals("status 123456", StatusMessages.describe(123456));
    }

    @Test
    void optionsRefuseWhatTheEngineWouldMisread() {
        assertThrows(IllegalArgumentException.class, () -> Engine.options("a,b"));
        assertThrows(IllegalArgumentException.class, () -> Engine.options("home").outputLog(Path.of("with blank.log")));
        assertEquals("-vexahome=h, -outputlog=/x.log -outputhtml=/y.html",
                Engine.options("h").outputLog(Path.of("/x.log")).outputHtml(Path.of("/y.html")).arguments());
    }
}
