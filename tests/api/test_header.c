/* Compiled as C99 against the header as installed, with no other folder of
 * the project in sight: it must stand alone and stay valid C. Without an
 * engine the library must answer at once and never crash. */
#include <stdio.h>

#include "vexaxd_p.h"

int main(void) {
    int depth = 41;
    if (GetNestDepth(&depth) != VEXA_ENGINE_NOT_RUNNING || depth != 41) return 1;
    if (!IsXDriven()) return 2;
    if (IsBackendReady()) return 3;
    if (GetStringListLength(NULL) != 0 || GetStringFromList(NULL, 0)[0] != '\0') return 4;
    puts("ok");
    return 0;
}
