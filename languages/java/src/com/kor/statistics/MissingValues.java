package com.kor.statistics;

import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Objects;

/**
 * A variable's user-missing values: up to three discrete values (numbers, or texts of at most 8
 * bytes), or for numbers a range {@code low..high} with at most one extra discrete value.
 */
public final class MissingValues {
    /** A missing-values text takes at most this many bytes. */
    public static final int TEXT_BYTES = 8;
    public static final MissingValues NONE = new MissingValues(List.of(), null, null);

    private final List<Object> values;
    private final Double low;
    private final Double high;

    private MissingValues(List<Object> values, Double low, Double high) {
        this.values = List.copyOf(values);
        this.low = low;
        this.high = high;
    }

    public static MissingValues of(double... values) {
        if (values.length > 3) throw new IllegalArgumentException("at most three discrete missing values");
        List<Object> list = new ArrayList<>();
        for (double value : values) list.add(value);
        return new MissingValues(list, null, null);
    }

    public static MissingValues of(String... values) {
        if (values.length > 3) throw new IllegalArgumentException("at most three discrete missing values");
        for (String value : values) {
            if (value.getBytes(StandardCharsets.UTF_8).length > TEXT_BYTES) {
                throw new IllegalArgumentException("missing value longer than 8 bytes: " + value);
            }
        }
        return new MissingValues(Arrays.asList((Object[]) values), null, null);
    }

    /** A range, with an optional extra discrete value. */
    public static MissingValues range(double low, double high, Double extra) {
        if (low > high) throw new IllegalArgumentException("the range's low end lies above its high end");
        return new MissingValues(extra == null ? List.of() : List.of(extra), low, high);
    }

    /** The values as the library's numeric call gives them (format 0..3, -2 a range, -3 a range and one). */
    static MissingValues fromNumeric(int format, double v1, double v2, double v3) {
        if (format == -2) return range(v1, v2, null);
        if (format == -3) return range(v1, v2, v3);
        return of(Arrays.copyOf(new double[] {v1, v2, v3}, Math.max(0, Math.min(format, 3))));
    }

    /** The values as the library's text call gives them: 8-byte buffers, blank-padded or zero-ended. */
    static MissingValues fromText(int format, byte[]... buffers) {
        int count = Math.max(0, Math.min(format, 3));
        String[] texts = new String[count];
        for (int i = 0; i < count; ++i) {
            byte[] buffer = buffers[i];
            int end = 0;
            while (end < TEXT_BYTES && buffer[end] != 0) ++end;
            texts[i] = new String(buffer, 0, end, StandardCharsets.UTF_8).stripTrailing();
        }
        return of(texts);
    }

    public List<Object> values() {
        return values;
    }

    public boolean isRange() {
        return low != null;
    }

    public Double low() {
        return low;
    }

    public Double high() {
        return high;
    }

    public boolean isEmpty() {
        return values.isEmpty() && low == null;
    }

    public boolean isText() {
        return !values.isEmpty() && values.get(0) instanceof String;
    }

    /** The missing format of the library's setters. */
    int format() {
        if (isRange()) return values.isEmpty() ? -2 : -3;
        return values.size();
    }

    double number(int i) {
        if (isRange()) return i == 0 ? low : i == 1 ? high : values.isEmpty() ? 0 : (Double) values.get(0);
        return i < values.size() ? (Double) values.get(i) : 0;
    }

    String text(int i) {
        return i < values.size() ? (String) values.get(i) : null;
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof MissingValues m && values.equals(m.values) && Objects.equals(low, m.low)
                && Objects.equals(high, m.high);
    }

    @Override
    public int hashCode() {
        return Objects.hash(values, low, high);
    }

    @Override
    public String toString() {
        return isRange() ? "range " + low + ".." + high + (values.isEmpty() ? "" : " and " + values.get(0))
                         : values.toString();
    }
}
