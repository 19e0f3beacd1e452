package com.kor.statistics;

/**
 * An open procedure on the active dataset, for the length of a try-with-resources block. Its
 * name heads its output; its identifier is the XPath handle its document is kept under once it
 * ends. Cursors and pivot tables live inside a procedure.
 */
public final class Procedure implements AutoCloseable {
    private final String identifier;
    private boolean open;

    Procedure(String name, String identifier) throws VexaException {
        this.identifier = identifier == null || identifier.isEmpty() ? name : identifier;
        VexaException.check(Api.StartProcedure(Api.z(name), Api.z(this.identifier)), "StartProcedure");
        open = true;
    }

    public String identifier() {
        return identifier;
    }

    /** Starts a pivot table of this procedure: the outline it is filed under, its title and subtype (tag). */
    public PivotTable pivotTable(String outline, String title, String subtype) throws VexaException {
        if (!open) throw new IllegalStateException("the procedure has ended");
        return new PivotTable(outline, title, subtype, false);
    }

    /** Adds a text block to this procedure's output. */
    public void textBlock(String outline, String title, String text) throws VexaException {
        VexaException.check(Api.AddTextBlock(Api.z(outline), Api.z(title), Api.z(text), 0), "AddTextBlock");
    }

    /** True while the engine has a procedure open. */
    public static boolean isOpen() {
        return Api.HasProcedure() == 1;
    }

    /** Ends the procedure; the engine files its tables as an output document. */
    @Override
    public void close() throws VexaException {
        if (open) {
            open = false;
            VexaException.check(Api.EndProcedure(), "EndProcedure");
        }
    }
}
