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
