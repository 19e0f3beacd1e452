package com.kor.statistics;

/** An open data step, for the length of a try-with-resources block: datasets can be created and written. */
public final class DataStep implements AutoCloseable {
    private boolean open;

    public DataStep() throws VexaException {
        VexaException.check(Api.StartDataStep(), "StartDataStep");
        open = true;
    }

    /** Commits pending writes and ends the step; a refused end leaves it open. */
    @Override
    public void close() throws VexaException {
        if (open) {
            int status = Api.EndDataStep();
            if (status == 0) open = false;
            VexaException.check(status, "EndDataStep");
        }
    }
}
