package com.kor.statistics;

import com.sun.jna.Memory;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Iterator;
import java.util.List;
import java.util.NoSuchElementException;

/**
 * The library's case cursor over the running procedure's dataset, for the length of a
 * try-with-resources block; {@link #close()} removes it. A case is an {@code Object[]} of the
 * selected variables: {@code Double} or {@code String}, null for a missing value (user-missing
 * ones too unless the cursor keeps them). Strings lose their trailing blanks.
 */
public abstract class CaseCursor implements AutoCloseable, Iterable<Object[]> {
    // NextCase's answers once the cases are used up: the library's and the engine's.
    static final int CASES_USED_UP = 1900;
    static final int NO_FURTHER_CASE = 23;
    static final int SYSTEM_MISSING = 2;

    final List<String> allNames = new ArrayList<>();
    final List<Integer> allTypes = new ArrayList<>();
    final int[] indexes;
    final int[] types;
    final boolean userMissingAsNull;
    private boolean open;
    private Memory textBuffer;

    CaseCursor(String access, String[] variables, boolean userMissingAsNull) throws VexaException {
        this.userMissingAsNull = userMissingAsNull;
        // The cursor first: it is refused (17, 9004) without an engine or a procedure.
        VexaException.check(Api.MakeCaseCursor(Api.z(access)), "MakeCaseCursor");
        open = true;
        try {
            int[] err = new int[1];
            int count = Api.GetVariableCount(err);
            VexaException.check(err[0], "GetVariableCount");
            for (int i = 0; i < count; ++i) {
                allNames.add(Api.string(Api.GetVariableName(i, err)));
                VexaException.check(err[0], "GetVariableName");
                allTypes.add(Api.GetVariableType(i, err));
                VexaException.check(err[0], "GetVariableType");
            }
            indexes = select(variables);
            types = Arrays.stream(indexes).map(allTypes::get).toArray();
        } catch (VexaException | RuntimeException e) {
            Api.RemoveCaseCursor();
            open = false;
            throw e;
        }
    }

    private int[] select(String[] variables) {
        if (variables == null || variables.length == 0) {
            return java.util.stream.IntStream.range(0, allNames.size()).toArray();
        }
        int[] chosen = new int[variables.length];
        for (int i = 0; i < variables.length; ++i) chosen[i] = position(variables[i]);
        return chosen;
    }

    int position(String name) {
        int position = allNames.indexOf(name);
        if (position < 0) throw new IllegalArgumentException("no variable named " + name);
        return position;
    }

    void requireOpen() {
        if (!open) throw new IllegalStateException("the cursor is closed");
    }

    /** The selected variables' names. */
    public List<String> names() {
        List<String> names = new ArrayList<>();
        for (int index : indexes) names.add(allNames.get(index));
        return names;
    }

    /** The selected variables' types: 0 numeric, else the string width. */
    public int[] types() {
        return types.clone();
    }

    /** Moves to the next case; false once the cases are used up. */
    public boolean next() throws VexaException {
        requireOpen();
        int status = Api.NextCase();
        if (status == CASES_USED_UP || status == NO_FURTHER_CASE) return false;
        VexaException.check(status, "NextCase");
        return true;
    }

    /** The current case's values of the selected variables. */
    public Object[] values() throws VexaException {
        requireOpen();
        Object[] values = new Object[indexes.length];
        for (int i = 0; i < indexes.length; ++i) values[i] = value(indexes[i], types[i]);
        return values;
    }

    /** One value of the current case, by name. */
    public Object value(String name) throws VexaException {
        requireOpen();
        int index = position(name);
        return value(index, allTypes.get(index));
    }

    private Object value(int index, int width) throws VexaException {
        int[] missing = new int[1];
        if (width == 0) {
            double[] number = new double[1];
            VexaException.check(Api.GetNumericValue(index, number, missing), "GetNumericValue");
            return isMissing(missing[0]) ? null : number[0];
        }
        if (textBuffer == null || textBuffer.size() < width) textBuffer = new Memory(Math.max(width, 64));
        long[] slot = {com.sun.jna.Pointer.nativeValue(textBuffer)};
        VexaException.check(Api.GetStringValue(index, slot, width, missing), "GetStringValue");
        return isMissing(missing[0]) ? null : text(textBuffer.getByteArray(0, width));
    }

    boolean isMissing(int flag) {
        return flag == SYSTEM_MISSING || (flag != 0 && userMissingAsNull);
    }

    static String text(byte[] bytes) {
        int end = 0;
        while (end < bytes.length && bytes[end] != 0) ++end;
        while (end > 0 && bytes[end - 1] == ' ') --end;
        return new String(bytes, 0, end, StandardCharsets.UTF_8);
    }

    /** The engine's case position (-1 before the first case). */
    public int position() throws VexaException {
        requireOpen();
        int[] position = new int[1];
        VexaException.check(Api.GetCursorPosition(position), "GetCursorPosition");
        return position[0];
    }

    /** The cases from the current position on; a failing read ends the iteration with an unchecked {@link CursorReadException}. */
    @Override
    public Iterator<Object[]> iterator() {
        return new Iterator<>() {
            private Object[] next;
            private boolean done;

            @Override
            public boolean hasNext() {
                if (next == null && !done) {
                    try {
                        if (CaseCursor.this.next()) next = values();
                        else done = true;
                    } catch (VexaException e) {
                        done = true;
                        throw new CursorReadException(e);
                    }
                }
                return next != null;
            }

            @Override
            public Object[] next() {
                if (!hasNext()) throw new NoSuchElementException();
                Object[] values = next;
                next = null;
                return values;
            }
        };
    }

    /** Removes the library's cursor; values not yet committed are dropped. */
    @Override
    public void close() throws VexaException {
        if (open) {
            open = false;
            VexaException.check(Api.RemoveCaseCursor(), "RemoveCaseCursor");
        }
    }

    /** An iteration's failed read, carrying the library's exception. */
    public static final class CursorReadException extends RuntimeException {
        private static final long serialVersionUID = 1L;

        CursorReadException(VexaException cause) {
            super(cause.getMessage(), cause);
        }

        @Override
        public synchronized VexaException getCause() {
            return (VexaException) super.getCause();
        }
    }
}
