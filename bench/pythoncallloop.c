/* The C side of the Python call benchmark: the same GetVariableCount loop the
 * package runs, made from C in the same process over the same connection, so
 * the ratio shows what the Python layers add and nothing else. */
#include <time.h>

#include "vexaxd_p.h"

__attribute__((visibility("default"))) double vexa_bench_get_variable_count_loop(int calls) {
    struct timespec start, end;
    int err = 0;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int i = 0; i < calls; ++i) GetVariableCount(&err);
    clock_gettime(CLOCK_MONOTONIC, &end);
    return (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) * 1e-9;
}

static double Seconds(const struct timespec* start) {
    struct timespec end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    return (double)(end.tv_sec - start->tv_sec) + (double)(end.tv_nsec - start->tv_nsec) * 1e-9;
}

/* A read cursor pass over the first `variables` numeric variables that reads
 * every value, in a procedure of its own: what vexa.data.read does, from C.
 * Seconds, or minus the failing status. `checksum` gets the values' sum. */
__attribute__((visibility("default"))) double vexa_bench_read_all_values(int variables,
                                                                         double* checksum) {
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    int status = StartProcedure("C read", "C read");
    if (!status) status = MakeCaseCursor("r");
    double sum = 0;
    while (!status && (status = NextCase()) == 0) {
        for (int v = 0; v < variables && !status; ++v) {
            double value = 0;
            int missing = 0;
            status = GetNumericValue(v, &value, &missing);
            sum += value;
        }
    }
    if (status == VEXA_NO_CACHE_DATA || status == 23) status = 0;
    RemoveCaseCursor();
    EndProcedure();
    *checksum = sum;
    return status ? -status : Seconds(&start);
}

/* One new numeric variable `name` written over every case through a write
 * cursor (the row number as its value): what vexa.data.write does, from C. */
__attribute__((visibility("default"))) double vexa_bench_write_one_variable(const char* name) {
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    int status = StartProcedure("C write", "C write");
    if (!status) status = MakeCaseCursor("w");
    if (!status) status = SetOneVarNameAndType(name, 0);
    if (!status) status = CommitHeader();
    double row = 0;
    while (!status && (status = NextCase()) == 0) {
        status = SetValueNumeric(name, row++);
        if (!status) status = CommitCaseRecord();
    }
    if (status == VEXA_NO_CACHE_DATA || status == 23) status = EndChanges();
    RemoveCaseCursor();
    EndProcedure();
    return status ? -status : Seconds(&start);
}
