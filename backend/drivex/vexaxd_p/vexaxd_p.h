/* The external-driver API of libvexaxd_p: every call that does its work in the
 * engine becomes one command message over the pipes of the current nesting
 * level. Calls of one process are made from one thread at a time.
 *
 * Results: a "shared" string is owned by the library and valid until the next
 * call that returns a shared string; a caller-owned string or array is
 * released with the Free function named beside it. Status codes: the
 * VexaStatus enumeration; engine and platform codes pass through unchanged.
 *
 * Valid C99 and C++. */
#ifndef VEXAXD_P_H
#define VEXAXD_P_H

#include <stdbool.h>
#include <stdint.h>

/* The installed copy of this header carries the enumeration itself. */
#include "runtime/statuscodes.h"

/* A Windows program imports the functions from vexaxd_p.dll; the DLL's own
 * build (VEXAXD_P_BUILDING) exports them. */
#if defined(_WIN32) && defined(VEXAXD_P_BUILDING)
#define VEXA_EXPORT __declspec(dllexport)
#elif defined(_WIN32)
#define VEXA_EXPORT __declspec(dllimport)
#elif defined(__GNUC__)
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
/* Why the last StartVexa of this process failed, as the engine or the library
 * tells it (e.g. a data file's name, line and reason); empty when it
 * succeeded or told nothing. Owned by the library, valid until the next
 * StartVexa. */
VEXA_EXPORT const char* GetStartFailure(void);
/* Asks the engine this process started to interrupt the program block it
 * runs; the Submit waiting on it then returns 9085. Sends no message, so it
 * may be called while another thread waits on Submit, and from a signal
 * handler (async-signal-safe). 0 when the request went out, 17 when no
 * engine started here runs. */
VEXA_EXPORT int InterruptVexa(void);

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

/* Named datasets. Lists: FreeStringArray with the count; with count 0
 * nothing is allocated. Refused unless marked "not refused". */
VEXA_EXPORT int CreateDataset(const char* name, bool first, bool second);
VEXA_EXPORT int CopyDataset(const char* first, const char* second);
/* Commits pending cell writes first. */
VEXA_EXPORT int CloseDataset(const char* name);
VEXA_EXPORT int SetDatasetName(const char* first, const char* second);
VEXA_EXPORT int SetActive(const char* name);
/* Shared; "*" when the engine names none. Not refused. */
VEXA_EXPORT const char* GetActive(int* err);
/* The caller's buffer takes the name and its terminator. */
VEXA_EXPORT int GetNewDatasetName(char* buffer);
VEXA_EXPORT int GetVexaDatasets(char*** names, int* count);
VEXA_EXPORT int GetOpenedVexaDatasets(char*** names, int* count);
VEXA_EXPORT int SetCacheInDS(const char* name, bool flag); /* not refused */
/* No longer supported: changes nothing, returns 0. */
VEXA_EXPORT int SaveFileInDS(void);
VEXA_EXPORT int InsertCase(const char* dataset, int row);
VEXA_EXPORT int DeleteCase(const char* dataset, int row);
VEXA_EXPORT int InsertVariable(const char* dataset, int position, const char* name, int type);
VEXA_EXPORT int DeleteVariable(const char* dataset, int position);
VEXA_EXPORT int SetVarTypeInDS(const char* dataset, int variable, int type);

/* Cell writes are queued (copied) and go with the next CommitDataSet, which
 * forgets them whatever its outcome; reading a cell, closing a dataset, a
 * batch fetch and EndDataStep commit first. 89: no data step or procedure
 * open; 87: dataset not created here; 97: row, 10: variable outside it. */
VEXA_EXPORT int SetNCellValue(const char* dataset, int row, int variable, double value);
VEXA_EXPORT int SetCCellValue(const char* dataset, int row, int variable, const char* value);
VEXA_EXPORT int CommitDataSet(void);
/* Not refused; 0 / null (shared otherwise) on failure. */
VEXA_EXPORT double GetNCellValue(const char* dataset, int row, int variable, int* missing,
                                 int* err);
VEXA_EXPORT const char* GetCCellValue(const char* dataset, int row, int variable, int* missing,
                                      int* err);

/* The cached case of a dataset created here: read with GetCaseValue, read
 * and changed locally, written back with SetCasePartValue. A dataset without
 * a cached case: nothing is sent and nothing changes. None is refused. */
VEXA_EXPORT int GetCaseLength(const char* dataset, int* err);
VEXA_EXPORT int GetVarObsIndex(const char* dataset, int variable, int* err);
VEXA_EXPORT void GetCaseValue(const char* dataset, int row, bool flag, int* length, int* err);
/* Sends a copy of `length` bytes of `data`; the cache is not used. */
VEXA_EXPORT int SetCaseValue(const char* dataset, int row, bool flag, const void* data, int length);
/* 10 for a listed variable outside the cached layout. */
VEXA_EXPORT int SetCasePartValue(const char* dataset, int row, const int* variables, bool flag,
                                 int count);
VEXA_EXPORT double GetNCellValueFromCache(const char* dataset, int variable, int* missing,
                                          int* err);
/* FreeString. */
VEXA_EXPORT char* GetCCellValueFromCache(const char* dataset, int variable, int* err);
VEXA_EXPORT int SetNCellValueFromCache(const char* dataset, int variable, double value);
VEXA_EXPORT int SetCCellValueFromCache(const char* dataset, int variable, const char* value);
/* The variable types, FreeIntArray with *count; untouched without variables. */
VEXA_EXPORT void GetVarInfo(const char* dataset, int** types, int* count);

/* Dictionary of a named dataset. Setters and the array/label getters are
 * refused; the value getters are not. Strings shared; GetVarNameInDS gives
 * "" on failure, the other string getters null; GetCaseCountInDS -1. */
VEXA_EXPORT int SetVarNameInDS(const char* dataset, int variable, const char* name);
VEXA_EXPORT int SetVarLabelInDS(const char* dataset, int variable, const char* label);
VEXA_EXPORT int SetVarRoleInDS(const char* dataset, int variable, int role);
VEXA_EXPORT int SetVarFormatInDS(const char* dataset, int variable, int formatType, int width,
                                 int decimals);
VEXA_EXPORT int SetVarAlignmentInDS(const char* dataset, int variable, int alignment);
VEXA_EXPORT int SetVarMeasurementLevelInDS(const char* dataset, int variable, const char* level);
VEXA_EXPORT int SetVarColumnWidthInDS(const char* dataset, int variable, int width);
VEXA_EXPORT int SetVarNMissingValuesInDS(const char* dataset, int variable, int missingFormat,
                                         double value1, double value2, double value3);
/* A null value is left out. */
VEXA_EXPORT int SetVarCMissingValuesInDS(const char* dataset, int variable, int missingFormat,
                                         const char* value1, const char* value2,
                                         const char* value3);
VEXA_EXPORT int SetVarNValueLabelInDS(const char* dataset, int variable, double value,
                                      const char* label);
VEXA_EXPORT int SetVarCValueLabelInDS(const char* dataset, int variable, const char* value,
                                      const char* label);
VEXA_EXPORT int DelVarValueLabelInDS(const char* dataset, int variable);
VEXA_EXPORT int DelVarNValueLabelInDS(const char* dataset, int variable, double value);
VEXA_EXPORT int DelVarCValueLabelInDS(const char* dataset, int variable, const char* value);
VEXA_EXPORT int SetVarAttributesInDS(const char* dataset, int variable, const char* attributeName,
                                     const char* const* values, int count);
VEXA_EXPORT int DelVarAttributesInDS(const char* dataset, int variable, const char* attributeName);
VEXA_EXPORT int SetDataFileAttributesInDS(const char* dataset, const char* attributeName,
                                          const char* const* values, int count);
VEXA_EXPORT int DelDataFileAttributesInDS(const char* dataset, const char* attributeName);
/* Not refused. */
VEXA_EXPORT void SetMultiResponseSetInDS(const char* dataset, const char* setName,
                                         const char* firstText, int value, const char* secondText,
                                         const char* const* variables, int count, int* err);
VEXA_EXPORT int DelMultiResponseSetInDS(const char* dataset, const char* setName);
VEXA_EXPORT int GetVarCountInDS(const char* dataset, int* err);
VEXA_EXPORT int GetCaseCountInDS(const char* dataset, int* err);
VEXA_EXPORT int GetVarTypeInDS(const char* dataset, int variable, int* err);
VEXA_EXPORT int GetVarRoleInDS(const char* dataset, int variable, int* err);
VEXA_EXPORT int GetVarAlignmentInDS(const char* dataset, int variable, int* err);
VEXA_EXPORT int GetVarColumnWidthInDS(const char* dataset, int variable, int* err);
VEXA_EXPORT const char* GetVarNameInDS(const char* dataset, int variable, int* err);
VEXA_EXPORT const char* GetVarLabelInDS(const char* dataset, int variable, int* err);
VEXA_EXPORT const char* GetVarFormatInDS(const char* dataset, int variable, int* err);
VEXA_EXPORT const char* GetVarMeasurementLevelInDS(const char* dataset, int variable, int* err);
VEXA_EXPORT int GetVarNMissingValuesInDS(const char* dataset, int variable, int* missingFormat,
                                         double* value1, double* value2, double* value3);
/* Each buffer takes at most 8 bytes; an 8-byte value gets no terminator. */
VEXA_EXPORT int GetVarCMissingValuesInDS(const char* dataset, int variable, int* missingFormat,
                                         char* buffer1, char* buffer2, char* buffer3);
VEXA_EXPORT int GetVarAttributesNameInDS(const char* dataset, int variable, char*** names,
                                         int* count);
VEXA_EXPORT int GetVarAttributesInDS(const char* dataset, int variable, const char* attributeName,
                                     char*** values, int* count);
VEXA_EXPORT int GetDataFileAttributeNamesInDS(const char* dataset, char*** names, int* count);
VEXA_EXPORT int GetDataFileAttributesInDS(const char* dataset, const char* attributeName,
                                          char*** values, int* count);
VEXA_EXPORT int GetVarNValueLabelInDS(const char* dataset, int variable, double** values,
                                      char*** labels, int* count);
VEXA_EXPORT int GetVarCValueLabelInDS(const char* dataset, int variable, char*** values,
                                      char*** labels, int* count);
VEXA_EXPORT void* GetMultiResponseSetNamesInDS(const char* dataset, int* err);
VEXA_EXPORT void GetMultiResponseSetInDS(const char* dataset, const char* setName, char** label,
                                         int* firstInteger, char** secondText, int* secondInteger,
                                         void** members, int* err);

/* The data step. Cells are read through the batch, one fetched rectangle of
 * rows of one dataset: the Optimize readers and GetRowList fetch when the
 * row lies outside it; the Cache readers read the batch as it is, the Batch
 * readers a batch the caller holds. A cell no batch holds: 10 with 0 or
 * null. Strings: FreeString. Only StartDataStep, EndDataStep,
 * GetDatastepDatasets and a fetch are refused. */
VEXA_EXPORT int StartDataStep(void);
/* Commits pending writes and drops the batch; only when the engine accepts
 * does the step end and the datasets created in it are forgotten. */
VEXA_EXPORT int EndDataStep(void);
VEXA_EXPORT void FetchDatastep(const char* dataset, int row, int variable, int* err);
VEXA_EXPORT int GetDatastepDatasets(char*** names, int* count);
VEXA_EXPORT double GetNCellValueOptimize(const char* dataset, int row, int variable, int* missing,
                                         int* err);
VEXA_EXPORT char* GetCCellValueOptimize(const char* dataset, int row, int variable, int* missing,
                                        int* err);
VEXA_EXPORT void GetRowList(const char* dataset, int row, int variable, int* firstRow, int* lastRow,
                            int* thirdFigure, int* err);
VEXA_EXPORT double GetNCellValueCache(const char* dataset, int row, int variable, int* missing,
                                      int* err);
VEXA_EXPORT char* GetCCellValueCache(const char* dataset, int row, int variable, int* missing,
                                     int* err);
VEXA_EXPORT double GetNCellValueBatch(const char* dataset, int row, int variable, int* missing,
                                      int* err, const void* batch);
VEXA_EXPORT char* GetCCellValueBatch(const char* dataset, int row, int variable, int* missing,
                                     int* err, const void* batch);
/* Copies `count` variable types of the batch into the caller's array. */
VEXA_EXPORT void GetVarTypeInDSCache(int* types, int count, int* err);
VEXA_EXPORT void ClearDatastepBatch(void);

/* Bulk transport. TransportData (refused) starts a thread that submits the
 * transfer's command syntax and returns at once; the caller makes no other
 * call until the transfer is over. */
VEXA_EXPORT int TransportData(const char* socket, const char* variables, bool readIntoEngine);
VEXA_EXPORT int SaveDataToTempFile(const char* name, const int* variables, int count);
VEXA_EXPORT int GetDataFromTempFile(const char* name, int first, int second); /* refused */
VEXA_EXPORT int GetRowCountInTempFile(int* err);

/* Engine-wide values. */
VEXA_EXPORT int GetSystemMissingValue(double* value);
VEXA_EXPORT int GetVEXALowHigh(double* low, double* high);
VEXA_EXPORT int ValidateVarName(const char* name);

/* XPath over the documents the engine keeps under handle names, settings,
 * locales and the host application's identity. Pass "" rather than NULL for
 * a text: a null text adds no value and shifts the ones after it.
 * Lists: RemoveStringList. */
VEXA_EXPORT int CreateXPathDictionary(const char* handle); /* refused */
VEXA_EXPORT int RemoveXPathHandle(const char* handle);     /* refused */
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
VEXA_EXPORT void* GetFileHandles(int* err);                    /* refused: *err = 17, null */
VEXA_EXPORT const char* TransCode(const char* text, int* err); /* shared; "" on failure */
VEXA_EXPORT const char* GetVEXALocale(int* err);               /* shared; null for no string */
/* The engine's locale name (FreeString), which also becomes this process's
 * locale (LC_ALL). Outputs unchanged when the reply holds no string. */
VEXA_EXPORT int GetCLocale(char** locale); /* refused */
/* Outputs are the caller's (FreeString), unchanged on failure. */
VEXA_EXPORT int GetHostAppNameAndVersion(char** name, char** version);           /* refused */
VEXA_EXPORT int SetHostAppNameAndVersion(const char* name, const char* version); /* refused */
VEXA_EXPORT int GetHostAppCopyright(char** text);                                /* refused */
VEXA_EXPORT int SetHostAppCopyright(const char* text);                           /* refused */
/* -1 when the engine is not running or the call fails. */
VEXA_EXPORT int GetPlexorServerMode(void);
/* Sends nothing while the engine is not running; reports nothing. */
VEXA_EXPORT void SetPlexorServerMode(int mode);

#ifdef __cplusplus
}
#endif

#endif
