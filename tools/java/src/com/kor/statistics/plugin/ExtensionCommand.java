package com.kor.statistics.plugin;

import com.kor.statistics.Engine;
import java.io.PrintStream;

/**
 * A command the Java extension program runs inside its block, named by the block's command name:
 * {@code DESCRIBE} for {@link Describe}, or the full name of a class on the class path that
 * implements this interface and has a public constructor without arguments. It runs joined to
 * the engine that started the program; what it prints on {@code out} reaches the engine's output
 * when the block ends, what it posts with {@link Engine#postOutput(String)} at once. A thrown
 * exception fails the block.
 */
public interface ExtensionCommand {
    void run(Engine engine, String text, PrintStream out) throws Exception;
}
