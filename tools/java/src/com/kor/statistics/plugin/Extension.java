package com.kor.statistics.plugin;

import com.kor.statistics.Engine;
import java.io.ByteArrayOutputStream;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.net.InetAddress;
import java.net.Socket;
import java.nio.ByteBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.CodingErrorAction;
import java.nio.charset.StandardCharsets;

/**
 * The Java side of the host's extension socket.
 *
 * <p>Command line: {@code <mode> <port> <command name>}. The mode (LOCAL, REMOTE or the
 * engine's executable name) is accepted and not used.
 *
 * <p>The program connects to 127.0.0.1:port and reads one extension message: UTF-8 text that
 * ends with a line feed (0x0A). Bytes after the first line feed are ignored. A command name that
 * stands for an {@link ExtensionCommand} runs it with the text, joined to the engine's pipes
 * ({@link Engine#joinBlock()}); any other name prints "{@code <command name>: <text without the
 * line feed>}" on its standard output. Then it exits 0. Anything else (bad arguments, no connection, the connection closed before
 * the line feed, text that is not UTF-8, a message longer than {@link #MAX_MESSAGE} bytes) is
 * reported on standard error with exit status 1.
 *
 * <p>A host that wants the program's output for itself names files in {@value #OUTPUT_VARIABLE}
 * and {@value #ERRORS_VARIABLE}: when set and not empty, the result line (or the failure text)
 * is appended to that file instead of the standard stream. A file that cannot be opened is a
 * failure, reported in the errors file when that one opened, else on standard error.
 */
public final class Extension {
    /** A message is held in memory whole; this bounds what a broken host can make us hold. */
    static final int MAX_MESSAGE = 16 << 20;
    static final String OUTPUT_VARIABLE = "VEXA_JAVA_OUTPUT";
    static final String ERRORS_VARIABLE = "VEXA_JAVA_ERRORS";

    private Extension() {}

    public static void main(String[] args) {
        PrintStream err = new PrintStream(
                new FileOutputStream(FileDescriptor.err), true, StandardCharsets.UTF_8);
        try {
            err = openStream(ERRORS_VARIABLE, FileDescriptor.err);
            PrintStream out = openStream(OUTPUT_VARIABLE, FileDescriptor.out);
            if (args.length != 3) {
                throw new IllegalArgumentException(
                        "usage: Extension <mode> <port> <command name>");
            }
            String text = receive(parsePort(args[1]));
            ExtensionCommand command = command(args[2]);
            if (command == null) {
                out.println(args[2] + ": " + text);
            } else {
                command.run(Engine.joinBlock(), text, out);
            }
            out.flush();
            if (out.checkError()) throw new IOException("cannot write the output");
        } catch (Exception e) {
            err.println("Extension: " + (e.getMessage() == null ? e.toString() : e.getMessage()));
            err.flush();
            System.exit(1);
        }
        System.exit(0);
    }

    /**
     * The command a name stands for: {@code DESCRIBE}, or a class name (it holds a ".") of an
     * {@link ExtensionCommand}; null for any other name, which is answered by echoing the text.
     */
    static ExtensionCommand command(String name) throws ReflectiveOperationException {
        if (name.equals("DESCRIBE")) return new Describe();
        if (!name.contains(".")) return null;
        Class<?> type = Class.forName(name);
        if (!ExtensionCommand.class.isAssignableFrom(type)) {
            throw new IllegalArgumentException(name + " is not an extension command");
        }
        return (ExtensionCommand) type.getConstructor().newInstance();
    }

    /** The file the variable names, for appending; the standard stream when it names none. */
    private static PrintStream openStream(String variable, FileDescriptor standard)
            throws IOException {
        String path = System.getenv(variable);
        FileOutputStream stream = path == null || path.isEmpty()
                ? new FileOutputStream(standard)
                : new FileOutputStream(path, true);
        return new PrintStream(stream, true, StandardCharsets.UTF_8);
    }

    private static int parsePort(String text) {
        int port;
        try {
            port = Integer.parseInt(text);
        } catch (NumberFormatException e) {
            throw new IllegalArgumentException("port is not a number: " + text);
        }
        if (port < 1 || port > 65535) {
            throw new IllegalArgumentException("port out of range: " + text);
        }
        return port;
    }

    private static String receive(int port) throws IOException {
        try (Socket socket = new Socket(InetAddress.getLoopbackAddress(), port)) {
            InputStream in = socket.getInputStream();
            ByteArrayOutputStream message = new ByteArrayOutputStream();
            byte[] piece = new byte[8192];
            for (;;) {
                int count = in.read(piece);
                if (count < 0) {
                    throw new IOException("connection closed before the end of the message");
                }
                for (int i = 0; i < count; ++i) {
                    if (piece[i] == '\n') {
                        message.write(piece, 0, i);
                        return decode(message.toByteArray());
                    }
                }
                if (message.size() + count > MAX_MESSAGE) {
                    throw new IOException("message longer than " + MAX_MESSAGE + " bytes");
                }
                message.write(piece, 0, count);
            }
        }
    }

    private static String decode(byte[] bytes) throws IOException {
        try {
            return StandardCharsets.UTF_8.newDecoder()
                    .onMalformedInput(CodingErrorAction.REPORT)
                    .onUnmappableCharacter(CodingErrorAction.REPORT)
                    .decode(ByteBuffer.wrap(bytes))
                    .toString();
        } catch (CharacterCodingException e) {
            throw new IOException("message is not UTF-8 text");
        }
    }
}
