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
#include <stdint.h>

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

/* Command submission and output text. Text travels as exactly `length`
 * bytes (embedded zero bytes included). */
VEXA_EXPORT int Submit(const char* text, int length);
VEXA_EXPORT int QueueCommandPart(const char* text, int length);
VEXA_EXPORT int PostVexaOutput(const char* text, int length);
VEXA_EXPORT int GetVexaOutputWidth(int* err);
VEXA_EXPORT void SetOutputLanguage(const char* language, int* err);
VEXA_EXPORT const char* GetOutputLanguage(int* err); /* shared */
VEXA_EXPORT void GetGraphic(const char* path);
VEXA_EXPORT int SetGraphicsLabel(const char* first, const char* second);
/* Local copy of browser output records, appended to the first path opened. */
typedef int (*VexaTextConverter)(const char* source, int sourceLength, char* destination,
                                 int capacity);
VEXA_EXPORT int SetRecordBrowserOutput(const char* path, bool on);
VEXA_EXPORT void RecordBrowserOutput(const char* text, int length, VexaTextConverter converter);

/* Dictionary of the active dataset. Arrays: FreeAttributeNames /
 * FreeAttributes / FreeNValueLabels / FreeCValueLabels with the count that
 * came back; lists: RemoveStringList; the set's two strings: FreeString. */
VEXA_EXPORT int GetVariableCount(int* err);
VEXA_EXPORT int GetRowCount(int* err);
VEXA_EXPORT const char* GetVariableName(int index, int* err);  /* shared */
VEXA_EXPORT const char* GetVariableLabel(int index, int* err); /* shared */
VEXA_EXPORT int GetVariableType(int index, int* err);
VEXA_EXPORT const char* GetVariableFormat(int index, int* err); /* shared */
VEXA_EXPORT int GetVariableMeasurementLevel(int index, int* err);
VEXA_EXPORT int GetVariableRole(int index, int* err);
VEXA_EXPORT int GetVariableFormatType(int index, int* formatType, int* width, int* decimals);
VEXA_EXPORT int GetVarNMissingValues(int index, int* missingFormat, double* value1, double* value2,
                                     double* value3);
/* Each buffer takes at most 8 bytes; an 8-byte value gets no terminator. */
VEXA_EXPORT int GetVarCMissingValues(int index, int* missingFormat, char* buffer1, char* buffer2,
                                     char* buffer3);
VEXA_EXPORT int GetNValueLabels(int index, double** values, char*** labels, int* count);
VEXA_EXPORT int GetCValueLabels(int index, char*** values, char*** labels, int* count);
VEXA_EXPORT int GetVarAttributeNames(int index, char*** names, int* count);
VEXA_EXPORT int GetVarAttributes(int index, const char* attributeName, char*** values, int* count);
VEXA_EXPORT int GetDataFileAttributeNames(char*** names, int* count);
VEXA_EXPORT int GetDataFileAttributes(const char* attributeName, char*** values, int* count);
VEXA_EXPORT void* GetMultiResponseSetNames(int* err);
VEXA_EXPORT void GetMultiResponseSet(const char* setName, char** label, int* firstInteger,
                                     char** secondText, int* secondInteger, void** members,
                                     int* err);
VEXA_EXPORT const char* GetWeightVar(int* err); /* shared */
VEXA_EXPORT void* GetSplitVariableNames(int* err);

/* Dictionary of the running procedure's dataset: strings are "" on failure. */
VEXA_EXPORT int GetVariableCountInProcDS(int* err);
VEXA_EXPORT int GetRowCountInProcDS(int* err);
VEXA_EXPORT const char* GetVariableNameInProcDS(int index, int* err);   /* shared */
VEXA_EXPORT const char* GetVariableLabelInProcDS(int index, int* err);  /* shared */
VEXA_EXPORT const char* GetVariableFormatInProcDS(int index, int* err); /* shared */
VEXA_EXPORT int GetVariableTypeInProcDS(int index, int* err);
VEXA_EXPORT int GetVariableMeasurementLevelInProcDS(int index, int* err);
VEXA_EXPORT int GetVariableRoleInProcDS(int index, int* err);
VEXA_EXPORT int GetVariableFormatTypeInProcDS(int index, int* formatType, int* width,
                                              int* decimals);
VEXA_EXPORT int GetVarNMissingValuesInProcDS(int index, int* missingFormat, double* value1,
                                             double* value2, double* value3);
VEXA_EXPORT int GetVarCMissingValuesInProcDS(int index, int* missingFormat, char* buffer1,
                                             char* buffer2, char* buffer3);
VEXA_EXPORT int GetVarAttributeNamesInProcDS(int index, char*** names, int* count);
VEXA_EXPORT int GetVarAttributesInProcDS(int index, const char* attributeName, char*** values,
                                         int* count);
VEXA_EXPORT int GetDataFileAttributeNamesInProcDS(char*** names, int* count);
VEXA_EXPORT int GetDataFileAttributesInProcDS(const char* attributeName, char*** values,
                                              int* count);
VEXA_EXPORT void* GetMultiResponseSetNamesInProcDS(int* err);
VEXA_EXPORT void GetMultiResponseSetInProcDS(const char* setName, char** label, int* firstInteger,
                                             char** secondText, int* secondInteger, void** members,
                                             int* err);

/* Procedures. */
VEXA_EXPORT int StartProcedure(const char* procedureName, const char* secondName);
VEXA_EXPORT int EndProcedure(void);
VEXA_EXPORT int HasProcedure(void);
VEXA_EXPORT int SplitChange(const char* name);

/* Pivot tables: every call repeats the table key (three strings and a flag)
 * as given to StartPivotTable; dimension, category and cell calls also the
 * dimension key as given to AddDimension. Pass "" rather than NULL: a null
 * string adds no value and shifts the key. */
VEXA_EXPORT int StartPivotTable(const char* t1, const char* t2, const char* t3, bool flag);
VEXA_EXPORT int HidePivotTableTitle(const char* t1, const char* t2, const char* t3, bool flag);
VEXA_EXPORT int PivotTableCaption(const char* t1, const char* t2, const char* t3, bool flag,
                                  const char* caption);
VEXA_EXPORT int AddCaptionFootnotes(const char* t1, const char* t2, const char* t3, bool flag,
                                    const char* caption, const char* footnote);
VEXA_EXPORT int MinDataColumnWidth(const char* t1, const char* t2, const char* t3, bool flag,
                                   int width);
VEXA_EXPORT int MaxDataColumnWidth(const char* t1, const char* t2, const char* t3, bool flag,
                                   int width);
VEXA_EXPORT int AddOutlineFootnotes(const char* t1, const char* t2, const char* t3,
                                    const char* footnote, bool flag);
VEXA_EXPORT int AddTitleFootnotes(const char* t1, const char* t2, const char* t3,
                                  const char* footnote, bool flag);
VEXA_EXPORT int AddProcFootnotes(const char* footnote);
VEXA_EXPORT int AddDimension(const char* t1, const char* t2, const char* t3, bool flag,
                             const char* dimension, int i1, int i2, bool b1, bool b2);
VEXA_EXPORT int AddDimFootnotes(const char* t1, const char* t2, const char* t3, bool flag,
                                const char* dimension, int i1, int i2, bool b1, bool b2,
                                const char* footnote);
VEXA_EXPORT int AddNumberCategory(const char* t1, const char* t2, const char* t3, bool flag,
                                  const char* dimension, int i1, int i2, bool b1, bool b2,
                                  double value);
VEXA_EXPORT int AddStringCategory(const char* t1, const char* t2, const char* t3, bool flag,
                                  const char* dimension, int i1, int i2, bool b1, bool b2,
                                  const char* value);
VEXA_EXPORT int AddVarNameCategory(const char* t1, const char* t2, const char* t3, bool flag,
                                   const char* dimension, int i1, int i2, bool b1, bool b2,
                                   int position);
VEXA_EXPORT int AddVarValueDoubleCategory(const char* t1, const char* t2, const char* t3, bool flag,
                                          const char* dimension, int i1, int i2, bool b1, bool b2,
                                          int position, double value);
VEXA_EXPORT int AddVarValueStringCategory(const char* t1, const char* t2, const char* t3, bool flag,
                                          const char* dimension, int i1, int i2, bool b1, bool b2,
                                          int position, const char* value);
VEXA_EXPORT int AddCategoryFootnotes(const char* t1, const char* t2, const char* t3, bool flag,
                                     const char* dimension, int i1, int i2, bool b1, bool b2,
                                     const char* footnote);
VEXA_EXPORT int SetNumberCell(const char* t1, const char* t2, const char* t3, bool flag,
                              const char* dimension, int i1, int i2, bool b1, bool b2,
                              double value);
VEXA_EXPORT int SetStringCell(const char* t1, const char* t2, const char* t3, bool flag,
                              const char* dimension, int i1, int i2, bool b1, bool b2,
                              const char* value);
VEXA_EXPORT int SetVarNameCell(const char* t1, const char* t2, const char* t3, bool flag,
                               const char* dimension, int i1, int i2, bool b1, bool b2,
                               int position);
VEXA_EXPORT int SetVarValueDoubleCell(const char* t1, const char* t2, const char* t3, bool flag,
                                      const char* dimension, int i1, int i2, bool b1, bool b2,
                                      int position, double value);
VEXA_EXPORT int SetVarValueStringCell(const char* t1, const char* t2, const char* t3, bool flag,
                                      const char* dimension, int i1, int i2, bool b1, bool b2,
                                      int position, const char* value);
VEXA_EXPORT int SetDateCell(const char* t1, const char* t2, const char* t3, bool flag,
                            const char* dimension, int i1, int i2, bool b1, bool b2,
                            const char* dateText);
VEXA_EXPORT int AddCellFootnotes(const char* t1, const char* t2, const char* t3, bool flag,
                                 const char* dimension, int i1, int i2, bool b1, bool b2,
                                 const char* footnote);

/* Number formats of the next cells; five take a variable position. */
VEXA_EXPORT int SetFormatSpecCoefficient(void);
VEXA_EXPORT int SetFormatSpecCoefficientSE(void);
VEXA_EXPORT int SetFormatSpecCoefficientVar(void);
VEXA_EXPORT int SetFormatSpecCorrelation(void);
VEXA_EXPORT int SetFormatSpecGeneralStat(void);
VEXA_EXPORT int SetFormatSpecCount(void);
VEXA_EXPORT int SetFormatSpecPercent(void);
VEXA_EXPORT int SetFormatSpecPercentNoSign(void);
VEXA_EXPORT int SetFormatSpecProportion(void);
VEXA_EXPORT int SetFormatSpecSignificance(void);
VEXA_EXPORT int SetFormatSpecResidual(void);
VEXA_EXPORT int SetFormatSpecMean(int position);
VEXA_EXPORT int SetFormatSpecVariable(int position);
VEXA_EXPORT int SetFormatSpecStdDev(int position);
VEXA_EXPORT int SetFormatSpecDifference(int position);
VEXA_EXPORT int SetFormatSpecSum(int position);
VEXA_EXPORT int AddTextBlock(const char* first, const char* second, const char* third, int value);

/* Case cursor over the running procedure's dataset. With a cursor, NextCase
 * walks a local block of cases and the value functions read it without a
 * round trip; without one each call asks the engine. All but
 * GetSplitEndIndex are refused while the engine is not running.
 * Access text: "r"/"R" read, "w"/"W" write, anything else a third kind. */
VEXA_EXPORT int MakeCaseCursor(const char* access);
/* 0 on the next case; 1900 or the engine's end code once the cases are
 * used up. */
VEXA_EXPORT int NextCase(void);
VEXA_EXPORT int GetNumericValue(int index, double* value, int* missing);
/* Copies at most `length` bytes into *buffer (the caller's), zero-filled
 * after a shorter value; no terminator when the value fills `length`. */
VEXA_EXPORT int GetStringValue(int index, char** buffer, int length, int* missing);
VEXA_EXPORT int GetCursorPosition(int* position);
VEXA_EXPORT int HasCursor(int* flag);
VEXA_EXPORT int IsEndSplit(int* flag);
VEXA_EXPORT int IsNeedCache(int* flag);
/* Every integer of the reply, caller-owned: FreeIntArray with *count.
 * Null when the reply holds none or the call fails. Not refused. */
VEXA_EXPORT int* GetSplitEndIndex(int* count, int* err);
VEXA_EXPORT int FreeIntArray(int* values, int count);
/* Both drop the local cursor and any values not yet committed. */
VEXA_EXPORT int RemoveCaseCursor(void);
VEXA_EXPORT int ResetDataPass(void);

/* New variables of a write cursor and their dictionary (all refused). */
VEXA_EXPORT int SetVarNameAndType(const char* const* names, const int* types, int count);
VEXA_EXPORT int SetOneVarNameAndType(const char* name, int type);
VEXA_EXPORT int AllocNewVarsBuffer(int count);
VEXA_EXPORT int SetVarLabel(const char* name, const char* label);
VEXA_EXPORT int SetVarCValueLabel(const char* name, const char* value, const char* label);
VEXA_EXPORT int SetVarNValueLabel(const char* name, double value, const char* label);
/* A null value is left out. */
VEXA_EXPORT int SetVarCMissingValues(const char* name, int missingFormat, const char* value1,
                                     const char* value2, const char* value3);
VEXA_EXPORT int SetVarNMissingValues(const char* name, int missingFormat, double value1,
                                     double value2, double value3);
VEXA_EXPORT int SetVarMeasureLevel(const char* name, int level);
VEXA_EXPORT int SetVarRole(const char* name, int role);
VEXA_EXPORT int SetVarAlignment(const char* name, int alignment);
VEXA_EXPORT int SetVarFormat(const char* name, int formatType, int width, int decimals);
VEXA_EXPORT int SetVarAttributes(const char* name, const char* attributeName,
                                 const char* attributeValue, int position);
VEXA_EXPORT int CommitHeader(void);
VEXA_EXPORT int EndChanges(void);

/* Case values, kept locally (copied) until the next commit, which sends
 * them and forgets them whatever its outcome. SetValueChar keeps exactly
 * `length` bytes of `value`. */
VEXA_EXPORT int SetValueNumeric(const char* name, double value);
VEXA_EXPORT int SetValueChar(const char* name, const char* value, int length);
/* With a cursor, the reply may bring the next case. */
VEXA_EXPORT int CommitCaseRecord(void);
VEXA_EXPORT int CommitNewCase(void);
/* `data` (from malloc, `length` bytes of cases of the `count` variables)
 * belongs to the library from the call on, whatever its outcome: the
 * caller neither uses nor frees it afterwards. */
VEXA_EXPORT int CommitManyCases(const char* const* names, const int* types, void* data, int count,
                                int length, int secondCount);

/* Engine-wide values. */
VEXA_EXPORT int GetSystemMissingValue(double* value);
VEXA_EXPORT int GetVEXALowHigh(double* low, double* high);
VEXA_EXPORT int ValidateVarName(const char* name);

/* XPath over the documents the engine keeps under handle names, settings,
 * locales and the host application's identity. Pass "" rather than NULL for
 * a text: a null text adds no value and shifts the ones after it.
 * Lists: RemoveStringList. */
VEXA_EXPORT int CreateXPathDictionary(const char* handle);                     /* refused */
VEXA_EXPORT int RemoveXPathHandle(const char* handle);                         /* refused */
VEXA_EXPORT void* EvaluateXPath(const char* handle, const char* context, const char* expression,
                                int* err);
/* UTF-16 text with a zero unit, library-owned: valid until the next
 * GetXmlUtf16 or StopVexa. */
VEXA_EXPORT const uint16_t* GetXmlUtf16(const char* handle, int* err);
/* The image bytes (followed by one zero byte) and the type text are the
 * caller's, each released with FreeString; an empty type leaves *type as it
 * was. Null, with *size and *type unchanged, on failure. */
VEXA_EXPORT char* GetImage(const char* handle, const char* imageName, int* size, char** type,
                           int* err);
/* `fallback` is the engine's answer for a name it does not know. */
VEXA_EXPORT const char* GetSetting(const char* name, int* err, const char* fallback); /* shared */
VEXA_EXPORT void* GetOMSTagList(int* err);
VEXA_EXPORT void* GetHandleList(int* err);
VEXA_EXPORT void* GetFileHandles(int* err);                   /* refused: *err = 17, null */
VEXA_EXPORT const char* TransCode(const char* text, int* err); /* shared; "" on failure */
VEXA_EXPORT const char* GetVEXALocale(int* err);              /* shared; null for no string */
/* The engine's locale name (FreeString), which also becomes this process's
 * locale (LC_ALL). Outputs unchanged when the reply holds no string. */
VEXA_EXPORT int GetCLocale(char** locale); /* refused */
/* Outputs are the caller's (FreeString), unchanged on failure. */
VEXA_EXPORT int GetHostAppNameAndVersion(char** name, char** version);       /* refused */
VEXA_EXPORT int SetHostAppNameAndVersion(const char* name, const char* version); /* refused */
VEXA_EXPORT int GetHostAppCopyright(char** text);                           /* refused */
VEXA_EXPORT int SetHostAppCopyright(const char* text);                      /* refused */
/* -1 when the engine is not running or the call fails. */
VEXA_EXPORT int GetPlexorServerMode(void);
/* Sends nothing while the engine is not running; reports nothing. */
VEXA_EXPORT void SetPlexorServerMode(int mode);

#ifdef __cplusplus
}
#endif

#endif
