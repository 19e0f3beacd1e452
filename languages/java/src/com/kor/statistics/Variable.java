package com.kor.statistics;

import com.sun.jna.Pointer;
import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * One variable of the active dataset's dictionary, read whole when made. Type 0 is numeric;
 * any other type is the width of a string variable.
 */
public final class Variable {
    public enum Level { UNKNOWN, NOMINAL, ORDINAL, SCALE }

    public enum Role { INPUT, TARGET, BOTH, NONE, PARTITION, SPLIT }

    private final int index;
    private final String name;
    private final String label;
    private final int type;
    private final String format;
    private final Level level;
    private final Role role;
    private final MissingValues missingValues;
    private final Map<Object, String> valueLabels;
    private final Map<String, List<String>> attributes;

    private Variable(int index, String name, String label, int type, String format, Level level, Role role,
            MissingValues missingValues, Map<Object, String> valueLabels, Map<String, List<String>> attributes) {
        this.index = index;
        this.name = name;
        this.label = label;
        this.type = type;
        this.format = format;
        this.level = level;
        this.role = role;
        this.missingValues = missingValues;
        this.valueLabels = Collections.unmodifiableMap(valueLabels);
        this.attributes = Collections.unmodifiableMap(attributes);
    }

    static Variable read(int index) throws VexaException {
        int[] err = new int[1];
        String name = Api.string(Api.GetVariableName(index, err));
        VexaException.check(err[0], "GetVariableName");
        String label = Api.string(Api.GetVariableLabel(index, err));
        VexaException.check(err[0], "GetVariableLabel");
        int type = Api.GetVariableType(index, err);
        VexaException.check(err[0], "GetVariableType");
        String format = Api.string(Api.GetVariableFormat(index, err));
        VexaException.check(err[0], "GetVariableFormat");
        int level = Api.GetVariableMeasurementLevel(index, err);
        VexaException.check(err[0], "GetVariableMeasurementLevel");
        int role = Api.GetVariableRole(index, err);
        VexaException.check(err[0], "GetVariableRole");
        return new Variable(index, name, label == null ? "" : label, type, format,
                level >= 1 && level <= 3 ? Level.values()[level] : Level.UNKNOWN,
                role >= 0 && role < Role.values().length ? Role.values()[role] : Role.INPUT,
                missingValues(index, type != 0), valueLabels(index, type != 0), attributes(index));
    }

    private static MissingValues missingValues(int index, boolean text) throws VexaException {
        int[] format = new int[1];
        if (text) {
            byte[][] buffers = new byte[3][MissingValues.TEXT_BYTES + 1];
            VexaException.check(Api.GetVarCMissingValues(index, format, buffers[0], buffers[1], buffers[2]),
                    "GetVarCMissingValues");
            return MissingValues.fromText(format[0], buffers);
        }
        double[] v1 = new double[1], v2 = new double[1], v3 = new double[1];
        VexaException.check(Api.GetVarNMissingValues(index, format, v1, v2, v3), "GetVarNMissingValues");
        return MissingValues.fromNumeric(format[0], v1[0], v2[0], v3[0]);
    }

    private static Map<Object, String> valueLabels(int index, boolean text) throws VexaException {
        long[] values = new long[1];
        long[] labels = new long[1];
        int[] count = new int[1];
        Map<Object, String> result = new LinkedHashMap<>();
        if (text) {
            VexaException.check(Api.GetCValueLabels(index, values, labels, count), "GetCValueLabels");
            if (count[0] <= 0) return result;
            Pointer keys = Api.pointer(values), texts = Api.pointer(labels);
            try {
                for (int i = 0; i < count[0]; ++i) {
                    result.put(Api.string(keys.getPointer(8L * i)).stripTrailing(), Api.string(texts.getPointer(8L * i)));
                }
            } finally {
                Api.FreeCValueLabels(keys, texts, count[0]);
            }
            return result;
        }
        VexaException.check(Api.GetNValueLabels(index, values, labels, count), "GetNValueLabels");
        if (count[0] <= 0) return result;
        Pointer keys = Api.pointer(values), texts = Api.pointer(labels);
        try {
            for (int i = 0; i < count[0]; ++i) result.put(keys.getDouble(8L * i), Api.string(texts.getPointer(8L * i)));
        } finally {
            Api.FreeNValueLabels(keys, texts, count[0]);
        }
        return result;
    }

    private static Map<String, List<String>> attributes(int index) throws VexaException {
        long[] slot = new long[1];
        int[] count = new int[1];
        VexaException.check(Api.GetVarAttributeNames(index, slot, count), "GetVarAttributeNames");
        List<String> names = StringArrays.take(slot, count[0], Api::FreeAttributeNames);
        Map<String, List<String>> result = new LinkedHashMap<>();
        for (String name : names) {
            VexaException.check(Api.GetVarAttributes(index, Api.z(name), slot, count), "GetVarAttributes");
            result.put(name, StringArrays.take(slot, count[0], Api::FreeAttributes));
        }
        return result;
    }

    public int index() {
        return index;
    }

    public String name() {
        return name;
    }

    public String label() {
        return label;
    }

    /** 0 numeric, else the string width. */
    public int type() {
        return type;
    }

    public boolean isNumeric() {
        return type == 0;
    }

    public String format() {
        return format;
    }

    public Level level() {
        return level;
    }

    public Role role() {
        return role;
    }

    public MissingValues missingValues() {
        return missingValues;
    }

    /** Value to label: Double keys for numeric variables, String keys for string variables. */
    public Map<Object, String> valueLabels() {
        return valueLabels;
    }

    public Map<String, List<String>> attributes() {
        return attributes;
    }

    @Override
    public String toString() {
        return name + (isNumeric() ? " numeric " : " string(" + type + ") ") + format;
    }
}
