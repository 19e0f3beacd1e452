package com.kor.statistics;

/** The message of each status code: the library's own, the engine's and the platform's. */
final class StatusMessages {
    private StatusMessages() {}

    static String describe(int code) {
        String text = StatusTable.LIBRARY.get(code);
        if (text == null) text = StatusTable.ENGINE.get(code);
        if (text != null) return text;
        // Platform codes are errno values (32: the partner is gone).
        if (code > 0 && code < 4096) return "system error " + code;
        return "status " + code;
    }
}
