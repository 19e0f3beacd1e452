package com.kor.statistics;

import java.util.List;

/**
 * A named dataset of the engine. Cell writes are queued by the library and sent with
 * {@link #commit()}; reading a cell or closing the dataset commits first. Writes need an open
 * data step ({@link DataStep}) or procedure and a dataset created in this process.
 */
public final class Dataset {
    /** The name that stands for the active dataset. */
    public static final String ACTIVE = "*";

    private String name;
    private byte[] raw;

    Dataset(String name) {
        if (name == null || name.isEmpty()) throw new IllegalArgumentException("a dataset needs a name");
        this.name = name;
        this.raw = Api.z(name);
    }

    static Dataset create(String name) throws VexaException {
        Dataset dataset = new Dataset(name);
        VexaException.check(Api.CreateDataset(dataset.raw, (byte) 0, (byte) 0), "CreateDataset");
        return dataset;
    }

    static Dataset active() throws VexaException {
        int[] err = new int[1];
        String name = Api.string(Api.GetActive(err));
        VexaException.check(err[0], "GetActive");
        return new Dataset(name == null || name.isEmpty() ? ACTIVE : name);
    }

    static List<String> names() throws VexaException {
        long[] slot = new long[1];
        int[] count = new int[1];
        VexaException.check(Api.GetVexaDatasets(slot, count), "GetVexaDatasets");
        return StringArrays.take(slot, count[0], Api::FreeStringArray);
    }

    public String name() {
        return name;
    }

    public Dataset copy(String newName) throws VexaException {
        Dataset copy = new Dataset(newName);
        VexaException.check(Api.CopyDataset(raw, copy.raw), "CopyDataset");
        return copy;
    }

    public void rename(String newName) throws VexaException {
        byte[] renamed = Api.z(newName);
        VexaException.check(Api.SetDatasetName(raw, renamed), "SetDatasetName");
        name = newName;
        raw = renamed;
    }

    public void activate() throws VexaException {
        VexaException.check(Api.SetActive(raw), "SetActive");
    }

    /** Removes the dataset from the engine (9064 for the active one). */
    public void close() throws VexaException {
        VexaException.check(Api.CloseDataset(raw), "CloseDataset");
    }

    public int variableCount() throws VexaException {
        int[] err = new int[1];
        int count = Api.GetVarCountInDS(raw, err);
        VexaException.check(err[0], "GetVarCountInDS");
        return count;
    }

    public int caseCount() throws VexaException {
        int[] err = new int[1];
        int count = Api.GetCaseCountInDS(raw, err);
        VexaException.check(err[0], "GetCaseCountInDS");
        return count;
    }

    public String variableName(int variable) throws VexaException {
        int[] err = new int[1];
        String text = Api.string(Api.GetVarNameInDS(raw, variable, err));
        VexaException.check(err[0], "GetVarNameInDS");
        return text;
    }

    public int variableType(int variable) throws VexaException {
        int[] err = new int[1];
        int type = Api.GetVarTypeInDS(raw, variable, err);
        VexaException.check(err[0], "GetVarTypeInDS");
        return type;
    }

    /** Adds a variable (0 numeric, else the string width) at the end; gives its position. */
    public int addVariable(String variable, int type) throws VexaException {
        int position = variableCount();
        VexaException.check(Api.InsertVariable(raw, position, Api.z(variable), type), "InsertVariable");
        return position;
    }

    /** Adds an empty case at the end; gives its row. */
    public int addCase() throws VexaException {
        int row = caseCount();
        VexaException.check(Api.InsertCase(raw, row), "InsertCase");
        return row;
    }

    public void set(int row, int variable, double value) throws VexaException {
        VexaException.check(Api.SetNCellValue(raw, row, variable, value), "SetNCellValue");
    }

    public void set(int row, int variable, String value) throws VexaException {
        VexaException.check(Api.SetCCellValue(raw, row, variable, Api.z(value)), "SetCCellValue");
    }

    /** Sends the queued cell writes. */
    public void commit() throws VexaException {
        VexaException.check(Api.CommitDataSet(), "CommitDataSet");
    }

    /** A numeric cell; null when missing. */
    public Double number(int row, int variable) throws VexaException {
        int[] missing = new int[1];
        int[] err = new int[1];
        double value = Api.GetNCellValue(raw, row, variable, missing, err);
        VexaException.check(err[0], "GetNCellValue");
        return missing[0] != 0 ? null : value;
    }

    /** A string cell without its trailing blanks; null when missing. */
    public String text(int row, int variable) throws VexaException {
        int[] missing = new int[1];
        int[] err = new int[1];
        String value = Api.string(Api.GetCCellValue(raw, row, variable, missing, err));
        VexaException.check(err[0], "GetCCellValue");
        return missing[0] != 0 || value == null ? null : value.stripTrailing();
    }
}
