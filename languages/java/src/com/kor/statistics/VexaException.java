package com.kor.statistics;

/**
 * A call of the library failed. {@link #code()} is the status as the library returned it: one of
 * its own codes, an engine's code carried in a reply, or a platform {@code errno}, all passed
 * through unchanged; {@link #call()} names the library function that returned it.
 */
public class VexaException extends Exception {
    private static final long serialVersionUID = 1L;

    private final int code;
    private final String call;

    public VexaException(int code, String call) {
        this(code, call, StatusMessages.describe(code));
    }

    public VexaException(int code, String call, String message) {
        super(call + ": " + message + " (" + code + ")");
        this.code = code;
        this.call = call;
    }

    public int code() {
        return code;
    }

    public String call() {
        return call;
    }

    /** Throws for a non-zero status. */
    static void check(int status, String call) throws VexaException {
        if (status != 0) throw new VexaException(status, call);
    }
}
