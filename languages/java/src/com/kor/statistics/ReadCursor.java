package com.kor.statistics;

/**
 * Reads the cases of the running procedure's dataset, one at a time (iteration, {@link #next()}
 * and {@link #values()}) or a block of cases at a time into columns:
 *
 * <pre>{@code
 * try (Procedure p = engine.procedure("Pass"); ReadCursor cursor = engine.readCursor("x", "name")) {
 *     CaseBlock block = cursor.newBlock(4096);
 *     while (cursor.read(block) > 0) {
 *         double[] x = block.numbers(0);     // NaN for a missing value
 *         String[] names = block.texts(1);   // null for a missing value
 *     }
 * }
 * }</pre>
 */
public final class ReadCursor extends CaseCursor {
    ReadCursor(String[] variables, boolean userMissingAsNull) throws VexaException {
        super("r", variables, userMissingAsNull);
    }

    /** A block for {@code capacity} cases of this cursor's variables. */
    public CaseBlock newBlock(int capacity) {
        return new CaseBlock(types, capacity);
    }

    /**
     * Reads the next cases into the block, as many as it holds; fewer once the cases are used
     * up, 0 at their end. A failing read throws; the cases read before it are in the block.
     */
    public int read(CaseBlock block) throws VexaException {
        requireOpen();
        if (!block.fits(types)) throw new IllegalArgumentException("the block was made for other variables");
        return block.fill(indexes, userMissingAsNull);
    }
}
