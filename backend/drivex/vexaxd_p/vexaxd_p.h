/* The external-driver API of libvexaxd_p: every call that does its work in the
 * engine becomes one command message over the pipes of the current nesting
 * level. Calls of one process are made from one thread at a time.
 *
 * Results: a "shared" string is owned by the library and valid until the next
 * call that returns a shared string; a caller-owned string or array is
 * released with the Free function named beside it. Status codes: see
 * runtime/statuscodes.h; engine and platform codes pass through unchanged.
 *
 * Valid C99 and C++. */
#ifndef VEXAXD_P_H
#define VEXAXD_P_H

#include <stdbool.h>

#include "runtime/statuscodes.h"

#if defined(__GNUC__)
#define VEXA_EXPORT __attribute__((visibility("default")))
#else
#define VEXA_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Engine start and stop. */
VEXA_EXPORT int StartVexa(const char* arguments);
VEXA_EXPORT void StopVexa(void);
VEXA_EXPORT bool IsBackendReady(void);
VEXA_EXPORT bool IsXDriven(void);

/* Connection. */
VEXA_EXPORT int SetMode(int mode);
VEXA_EXPORT int SetXDriveMode(int mode);
VEXA_EXPORT int GetXDriveMode(int* first, int* second);
VEXA_EXPORT int StopReceiveXdApiThread(void);
VEXA_EXPORT int IsUTF8mode(void);
VEXA_EXPORT int GetNestDepth(int* depth);
VEXA_EXPORT void SetXNameAndSHome(const char* languageName, const char* engineHome);
VEXA_EXPORT int SetVexaRunning(bool running);
VEXA_EXPORT int SetRTempFolderToVEXA(const char* folder);
VEXA_EXPORT const char* GetRTempFolderToVEXA(void);

/* Releasing results. String lists are opaque handles. */
VEXA_EXPORT int FreeString(char* text);
VEXA_EXPORT int FreeDoubleArray(double* values, int count);
VEXA_EXPORT int FreeStringArray(char** texts, int count);
VEXA_EXPORT int FreeAttributes(char** texts, int count);
VEXA_EXPORT int FreeAttributeNames(char** texts, int count);
VEXA_EXPORT int FreeNValueLabels(double* values, char** labels, int count);
VEXA_EXPORT int FreeCValueLabels(char** values, char** labels, int count);
VEXA_EXPORT int GetStringListLength(void* list);
VEXA_EXPORT const char* GetStringFromList(void* list, int index);
VEXA_EXPORT void RemoveStringList(void* list);

/* Dictionary of the active dataset. */
VEXA_EXPORT int GetVariableCount(int* err);

#ifdef __cplusplus
}
#endif

#endif
