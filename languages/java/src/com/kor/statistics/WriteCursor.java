package com.kor.statistics;

import java.util.LinkedHashMap;
import java.util.Map;

/**
 * Adds variables to the running procedure's dataset, sets their values case by case and appends
 * new cases:
 *
 * <pre>{@code
 * try (WriteCursor cursor = engine.writeCursor("length", "width")) {
 *     cursor.addVariable("area", 0).label("Area");
 *     while (cursor.next()) {
 *         Object[] c = cursor.values();
 *         cursor.set("area", (Double) c[0] * (Double) c[1]);
 *         cursor.commit();
 *     }
 *     cursor.endChanges();
 * }
 * }</pre>
 *
 * New variables are declared before the first value; the header is committed with it. The
 * changes become part of the dataset with {@link #endChanges()}; closing without it drops them.
 */
public final class WriteCursor extends CaseCursor {
    private final Map<String, Integer> newVariables = new LinkedHashMap<>();
    private boolean headerPending;
    private boolean headerDone;
    private Double systemMissing;

    WriteCursor(String[] variables) throws VexaException {
        super("w", variables, true);
    }

    /** Declares a new variable: type 0 numeric, else the string width; its dictionary follows on the result. */
    public NewVariable addVariable(String name, int type) throws VexaException {
        requireOpen();
        if (type < 0 || type > 32767) throw new IllegalArgumentException("variable type " + type + " outside 0..32767");
        if (headerDone) throw new IllegalStateException("new variables must come before the first value");
        if (newVariables.containsKey(name) || allNames.contains(name)) {
            throw new IllegalArgumentException("variable name " + name + " is taken");
        }
        VexaException.check(Api.SetOneVarNameAndType(Api.z(name), type), "SetOneVarNameAndType");
        newVariables.put(name, type);
        headerPending = true;
        return new NewVariable(name, type);
    }

    /** Fixes the new variables (done by the first value otherwise). */
    public void commitHeader() throws VexaException {
        requireOpen();
        if (headerPending) {
            VexaException.check(Api.CommitHeader(), "CommitHeader");
            headerPending = false;
        }
        headerDone = true;
    }

    private int typeOf(String name) {
        Integer type = newVariables.get(name);
        return type != null ? type : allTypes.get(position(name));
    }

    /** Sets a numeric value of the case to commit; NaN is system-missing. */
    public void set(String name, double value) throws VexaException {
        requireOpen();
        if (typeOf(name) != 0) throw new IllegalArgumentException(name + " is a string variable");
        commitHeader();
        double sent = Double.isNaN(value) ? systemMissing() : value;
        VexaException.check(Api.SetValueNumeric(Api.z(name), sent), "SetValueNumeric");
    }

    /** Sets a string value of the case to commit; null is blank. */
    public void set(String name, String value) throws VexaException {
        requireOpen();
        if (typeOf(name) == 0) throw new IllegalArgumentException(name + " is numeric");
        commitHeader();
        byte[] bytes = Api.utf8(value == null ? "" : value);
        VexaException.check(Api.SetValueChar(Api.z(name), bytes, bytes.length), "SetValueChar");
    }

    private double systemMissing() throws VexaException {
        if (systemMissing == null) {
            double[] value = new double[1];
            VexaException.check(Api.GetSystemMissingValue(value), "GetSystemMissingValue");
            systemMissing = value[0];
        }
        return systemMissing;
    }

    /** Sends the values set for the current case. */
    public void commit() throws VexaException {
        requireOpen();
        commitHeader();
        VexaException.check(Api.CommitCaseRecord(), "CommitCaseRecord");
    }

    /** Adds a new case with the values set; other variables are missing. */
    public void commitNewCase() throws VexaException {
        requireOpen();
        commitHeader();
        VexaException.check(Api.CommitNewCase(), "CommitNewCase");
    }

    /** Makes the new variables and cases part of the dataset. */
    public void endChanges() throws VexaException {
        requireOpen();
        commitHeader();
        VexaException.check(Api.EndChanges(), "EndChanges");
    }

    /** The dictionary of a variable just declared; each call is sent at once. */
    public final class NewVariable {
        private final byte[] name;
        private final boolean text;

        private NewVariable(String name, int type) {
            this.name = Api.z(name);
            this.text = type != 0;
        }

        public NewVariable label(String label) throws VexaException {
            VexaException.check(Api.SetVarLabel(name, Api.z(label)), "SetVarLabel");
            return this;
        }

        /** formatType 5 (F) for numbers, 1 (A) for strings. */
        public NewVariable format(int formatType, int width, int decimals) throws VexaException {
            VexaException.check(Api.SetVarFormat(name, formatType, width, decimals), "SetVarFormat");
            return this;
        }

        public NewVariable level(Variable.Level level) throws VexaException {
            if (level == Variable.Level.UNKNOWN) throw new IllegalArgumentException("no level to set");
            VexaException.check(Api.SetVarMeasureLevel(name, level.ordinal()), "SetVarMeasureLevel");
            return this;
        }

        public NewVariable role(Variable.Role role) throws VexaException {
            VexaException.check(Api.SetVarRole(name, role.ordinal()), "SetVarRole");
            return this;
        }

        public NewVariable valueLabel(double value, String label) throws VexaException {
            if (text) throw new IllegalArgumentException("a numeric value label for a string variable");
            VexaException.check(Api.SetVarNValueLabel(name, value, Api.z(label)), "SetVarNValueLabel");
            return this;
        }

        public NewVariable valueLabel(String value, String label) throws VexaException {
            if (!text) throw new IllegalArgumentException("a text value label for a numeric variable");
            VexaException.check(Api.SetVarCValueLabel(name, Api.z(value), Api.z(label)), "SetVarCValueLabel");
            return this;
        }

        public NewVariable missingValues(MissingValues values) throws VexaException {
            if (values.isEmpty()) return this;
            if (values.isText() != text) throw new IllegalArgumentException("missing values of the other type");
            int status = text
                    ? Api.SetVarCMissingValues(name, values.format(), Api.z(values.text(0)), Api.z(values.text(1)),
                            Api.z(values.text(2)))
                    : Api.SetVarNMissingValues(name, values.format(), values.number(0), values.number(1),
                            values.number(2));
            VexaException.check(status, text ? "SetVarCMissingValues" : "SetVarNMissingValues");
            return this;
        }

        public NewVariable attribute(String attribute, String... values) throws VexaException {
            for (int i = 0; i < values.length; ++i) {
                VexaException.check(Api.SetVarAttributes(name, Api.z(attribute), Api.z(values[i]), i),
                        "SetVarAttributes");
            }
            return this;
        }
    }
}
