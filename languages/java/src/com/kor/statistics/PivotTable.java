package com.kor.statistics;

import java.util.ArrayList;
import java.util.List;

/**
 * A pivot table of the open procedure. Every library call repeats the table's key and, for
 * category and cell calls, a dimension's key; this builder keeps both so the caller does not:
 *
 * <pre>{@code
 * PivotTable table = procedure.pivotTable("Summary", "Means", "Means Table");
 * PivotTable.Dimension rows = table.dimension("Species", Place.ROW);
 * PivotTable.Dimension columns = table.dimension("Statistics", Place.COLUMN);
 * table.cell().at(rows, "setosa").at(columns, "Mean").format(Format.GENERAL).set(5.006);
 * }</pre>
 */
public final class PivotTable {
    public enum Place { ROW, COLUMN, LAYER }

    /** Number formats of a number cell. */
    public enum Format { GENERAL, COUNT, PERCENT }

    private final byte[] outline;
    private final byte[] title;
    private final byte[] subtype;
    private final byte flag;
    private final List<Dimension> dimensions = new ArrayList<>();

    PivotTable(String outline, String title, String subtype, boolean flag) throws VexaException {
        this.outline = Api.z(outline);
        this.title = Api.z(title);
        this.subtype = Api.z(subtype);
        this.flag = Api.flag(flag);
        VexaException.check(Api.StartPivotTable(this.outline, this.title, this.subtype, this.flag), "StartPivotTable");
    }

    /** Adds a dimension at the next free position of its place. */
    public Dimension dimension(String name, Place place) throws VexaException {
        int position = (int) dimensions.stream().filter(d -> d.place == place).count();
        Dimension dimension = new Dimension(name, place, position);
        VexaException.check(Api.AddDimension(outline, title, subtype, flag, dimension.name, place.ordinal(), position,
                (byte) 0, (byte) 0), "AddDimension");
        dimensions.add(dimension);
        return dimension;
    }

    public void caption(String text) throws VexaException {
        VexaException.check(Api.PivotTableCaption(outline, title, subtype, flag, Api.z(text)), "PivotTableCaption");
    }

    /** A cell to set: one category of each dimension, then the value. */
    public Cell cell() {
        return new Cell();
    }

    /** A dimension of this table. */
    public final class Dimension {
        private final byte[] name;
        private final Place place;
        private final int position;

        private Dimension(String name, Place place, int position) {
            this.name = Api.z(name);
            this.place = place;
            this.position = position;
        }

        /** Adds a text category, or selects it again when the dimension has it. */
        public void category(String text) throws VexaException {
            VexaException.check(Api.AddStringCategory(outline, title, subtype, flag, name, place.ordinal(), position,
                    (byte) 0, (byte) 0, Api.z(text)), "AddStringCategory");
        }

        public void category(double number) throws VexaException {
            VexaException.check(Api.AddNumberCategory(outline, title, subtype, flag, name, place.ordinal(), position,
                    (byte) 0, (byte) 0, number), "AddNumberCategory");
        }

        /** A category that shows the variable at this position of the dictionary (its label, else its name). */
        public void variableCategory(int variable) throws VexaException {
            VexaException.check(Api.AddVarNameCategory(outline, title, subtype, flag, name, place.ordinal(), position,
                    (byte) 0, (byte) 0, variable), "AddVarNameCategory");
        }

        private int setNumber(double value) {
            return Api.SetNumberCell(outline, title, subtype, flag, name, place.ordinal(), position, (byte) 0,
                    (byte) 0, value);
        }

        private int setText(String value) {
            return Api.SetStringCell(outline, title, subtype, flag, name, place.ordinal(), position, (byte) 0,
                    (byte) 0, Api.z(value));
        }
    }

    /** One cell: its categories are selected as they are given, its value set last. */
    public final class Cell {
        private Dimension last;
        private Format format;

        private Cell() {}

        public Cell at(Dimension dimension, String category) throws VexaException {
            dimension.category(category);
            last = dimension;
            return this;
        }

        public Cell at(Dimension dimension, double category) throws VexaException {
            dimension.category(category);
            last = dimension;
            return this;
        }

        public Cell atVariable(Dimension dimension, int variable) throws VexaException {
            dimension.variableCategory(variable);
            last = dimension;
            return this;
        }

        public Cell format(Format format) {
            this.format = format;
            return this;
        }

        public void set(double value) throws VexaException {
            requireCategories();
            if (format != null) {
                int status = switch (format) {
                    case GENERAL -> Api.SetFormatSpecGeneralStat();
                    case COUNT -> Api.SetFormatSpecCount();
                    case PERCENT -> Api.SetFormatSpecPercent();
                };
                VexaException.check(status, "SetFormatSpec" + format);
            }
            VexaException.check(last.setNumber(value), "SetNumberCell");
        }

        public void set(String value) throws VexaException {
            requireCategories();
            VexaException.check(last.setText(value), "SetStringCell");
        }

        private void requireCategories() {
            if (last == null) throw new IllegalStateException("a cell needs a category of each dimension");
        }
    }
}
