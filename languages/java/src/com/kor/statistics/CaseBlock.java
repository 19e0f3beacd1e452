package com.kor.statistics;

import com.sun.jna.Memory;
import java.util.Arrays;

/**
 * Columns of a block of cases read by {@link ReadCursor#read(CaseBlock)}: a {@code double[]}
 * for each numeric variable (NaN for a missing value) and a {@code String[]} for each string
 * variable (null for a missing value), each as long as the block's capacity; the first
 * {@link #rows()} entries belong to the last read. A block is reused from read to read: the
 * native buffers and the arrays are made once.
 */
public final class CaseBlock {
    private final int[] widths;
    private final int capacity;
    private final double[][] numbers;
    private final String[][] texts;
    private final Memory numberBuffer;
    private final Memory textBuffer;
    private final Memory missingBuffer;
    private final int[] textOffsets;
    private final int[] numberSlots;
    private int rows;

    CaseBlock(int[] widths, int capacity) {
        if (capacity <= 0) throw new IllegalArgumentException("a block holds at least one case");
        this.widths = widths.clone();
        this.capacity = capacity;
        numbers = new double[widths.length][];
        texts = new String[widths.length][];
        textOffsets = new int[widths.length];
        numberSlots = new int[widths.length];
        int numeric = 0;
        long textBytes = 0;
        for (int c = 0; c < widths.length; ++c) {
            if (widths[c] == 0) {
                numberSlots[c] = numeric++;
                numbers[c] = new double[capacity];
            } else {
                textOffsets[c] = (int) textBytes;
                textBytes += widths[c];
                texts[c] = new String[capacity];
            }
        }
        numberBuffer = numeric > 0 ? new Memory(8L * numeric * capacity) : null;
        textBuffer = textBytes > 0 ? new Memory(textBytes * capacity) : null;
        missingBuffer = new Memory(Math.max(1L, (long) widths.length * capacity));
    }

    boolean fits(int[] types) {
        return Arrays.equals(types, widths);
    }

    int fill(int[] indexes, boolean userMissingAsNull) throws VexaException {
        int[] read = new int[1];
        int status = Api.VexaJavaReadBlock(indexes, widths, widths.length, capacity, userMissingAsNull ? 1 : 0,
                numberBuffer, textBuffer, missingBuffer, read);
        rows = read[0];
        for (int c = 0; c < widths.length; ++c) {
            if (widths[c] == 0) {
                numberBuffer.read(8L * numberSlots[c] * capacity, numbers[c], 0, rows);
            } else {
                fillTexts(c, userMissingAsNull);
            }
        }
        VexaException.check(status, "NextCase");
        return rows;
    }

    private void fillTexts(int column, boolean userMissingAsNull) {
        int width = widths[column];
        byte[] bytes = textBuffer.getByteArray((long) textOffsets[column] * capacity, rows * width);
        byte[] flags = missingBuffer.getByteArray((long) column * capacity, rows);
        for (int r = 0; r < rows; ++r) {
            int flag = flags[r];
            boolean missing = flag == CaseCursor.SYSTEM_MISSING || (flag != 0 && userMissingAsNull);
            texts[column][r] = missing ? null : CaseCursor.text(Arrays.copyOfRange(bytes, r * width, (r + 1) * width));
        }
    }

    /** Cases of the last read. */
    public int rows() {
        return rows;
    }

    public int capacity() {
        return capacity;
    }

    public int columns() {
        return widths.length;
    }

    /** The column of a numeric variable (by its place in the cursor's selection). */
    public double[] numbers(int column) {
        if (numbers[column] == null) throw new IllegalArgumentException("column " + column + " is a string variable");
        return numbers[column];
    }

    /** The column of a string variable (by its place in the cursor's selection). */
    public String[] texts(int column) {
        if (texts[column] == null) throw new IllegalArgumentException("column " + column + " is numeric");
        return texts[column];
    }
}
