/* Native helpers of the Java binding (libvexajava.so): the few things a Java
 * program cannot do through the exported API one call at a time. Both work
 * on the process's one connection; calls of one process come from one thread
 * at a time, as for the API itself. */
#ifndef VEXAJAVA_H
#define VEXAJAVA_H

#if defined(__GNUC__)
#define VEXAJAVA_EXPORT __attribute__((visibility("default")))
#else
#define VEXAJAVA_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Joins the API pipes of the engine that started this process, at level 0
 * of `language`'s suite, as a launcher does for its languages. Only before
 * the first API call; 99108 for a null or empty argument. */
VEXAJAVA_EXPORT int VexaJavaJoinEngine(const char* tempDirectory, const char* pidText,
                                       const char* language, const char* engineHome);

/* Reads up to `capacity` cases of the open cursor, one column per selected
 * variable. A numeric column k (counting numeric columns only) fills
 * numbers[k * capacity + row]; a missing value becomes NaN (a user-missing
 * one only when `userMissingAsNaN`). A string column of width w fills
 * w bytes per row, at texts[o * capacity + row * w] where o is the sum of
 * the widths of the string columns before it. missing[c * capacity + row]
 * takes the value's missing flag (0, 1 user, 2 system). *rows is the count
 * of cases read; fewer than `capacity` means the cases are used up.
 * Returns 0, or the first failing status (the cases read before it stay). */
VEXAJAVA_EXPORT int VexaJavaReadBlock(const int* indexes, const int* widths, int columns,
                                      int capacity, int userMissingAsNaN, double* numbers,
                                      char* texts, signed char* missing, int* rows);

#ifdef __cplusplus
}
#endif

#endif
