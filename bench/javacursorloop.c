/* The C side of the Java cursor benchmark: the cursor pass of bench_cursor
 * (NextCase and GetNumericValue for every value), made from C in the Java
 * process over the same connection, so the ratio shows what the Java binding
 * adds and nothing else. */
#include <time.h>

#include "vexaxd_p.h"

/* Seconds of one pass over `variables` numeric variables; *cases and *sum
 * tell what it saw. */
__attribute__((visibility("default"))) double vexa_bench_c_cursor_pass(int variables, long* cases,
                                                                       double* sum) {
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    *cases = 0;
    *sum = 0;
    if (MakeCaseCursor("r") == 0) {
        while (NextCase() == 0) {
            ++*cases;
            for (int v = 0; v < variables; ++v) {
                double value = 0;
                int missing = 0;
                GetNumericValue(v, &value, &missing);
                *sum += value;
            }
        }
        RemoveCaseCursor();
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    return (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) * 1e-9;
}
