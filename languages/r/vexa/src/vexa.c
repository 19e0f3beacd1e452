/* Native routines of the R package "vexa" over the library's exported
 * functions. Each routine returns the library's status (or a list whose
 * first element is it) and leaves raising the R condition to the R code, so
 * that no R error unwinds past a library call with the cursor or a buffer
 * still held. Texts cross as UTF-8. */
#include <R.h>
#include <R_ext/Rdynload.h>
#include <Rinternals.h>
#include <limits.h>
#include <signal.h>
#include <stdbool.h>
#include <stdlib.h>
#include <string.h>

#include "vexaxd_p.h"

/* NextCase's codes once the cases are used up: the library's and the engine's. */
#define VEXA_CASES_USED_UP 1900
#define VEXA_ENGINE_CASES_USED_UP 23
#define VEXA_MISSING_USER 1
#define VEXA_MISSING_SYSTEM 2
/* Pivot table places. */
#define VEXA_PLACE_ROW 0
#define VEXA_PLACE_COLUMN 1

static const char* Utf8(SEXP texts, R_xlen_t i) {
    SEXP text = STRING_ELT(texts, i);
    return text == NA_STRING ? NULL : translateCharUTF8(text);
}

static SEXP Text(const char* text) { return mkCharCE(text ? text : "", CE_UTF8); }

static SEXP StatusAnd(int status, SEXP value) {
    SEXP result = PROTECT(allocVector(VECSXP, 2));
    SET_VECTOR_ELT(result, 0, ScalarInteger(status));
    SET_VECTOR_ELT(result, 1, value);
    UNPROTECT(1);
    return result;
}

static bool IsEndOfCases(int status) {
    return status == VEXA_CASES_USED_UP || status == VEXA_ENGINE_CASES_USED_UP;
}

/* Calls without arguments that answer a status: one frame serves them all. */
typedef int (*StatusCall)(void);
static const struct {
    const char* name;
    StatusCall call;
} kStatusCalls[] = {
    {"EndProcedure", EndProcedure},   {"HasProcedure", HasProcedure},
    {"StartDataStep", StartDataStep}, {"EndDataStep", EndDataStep},
    {"CommitDataSet", CommitDataSet}, {"RemoveCaseCursor", RemoveCaseCursor},
};

static SEXP C_status_call(SEXP name) {
    const char* wanted = CHAR(STRING_ELT(name, 0));
    for (size_t i = 0; i < sizeof kStatusCalls / sizeof kStatusCalls[0]; ++i) {
        if (strcmp(kStatusCalls[i].name, wanted) == 0) return ScalarInteger(kStatusCalls[i].call());
    }
    error("vexa: no call named %s", wanted);
    return R_NilValue;
}

/* Calls of one text that answer a status. */
typedef int (*TextCall)(const char*);
static const struct {
    const char* name;
    TextCall call;
} kTextCalls[] = {{"SetActive", SetActive}, {"CloseDataset", CloseDataset}};

static SEXP C_text_call(SEXP name, SEXP text) {
    const char* wanted = CHAR(STRING_ELT(name, 0));
    for (size_t i = 0; i < sizeof kTextCalls / sizeof kTextCalls[0]; ++i) {
        if (strcmp(kTextCalls[i].name, wanted) == 0)
            return ScalarInteger(kTextCalls[i].call(Utf8(text, 0)));
    }
    error("vexa: no call named %s", wanted);
    return R_NilValue;
}

static SEXP C_start(SEXP arguments) { return ScalarInteger(StartVexa(Utf8(arguments, 0))); }

static SEXP C_start_failure(void) { return ScalarString(Text(GetStartFailure())); }

static SEXP C_stop(void) {
    StopVexa();
    return R_NilValue;
}

static SEXP C_is_running(void) { return ScalarLogical(IsBackendReady()); }

/* R's own flag of a pending user interrupt (declared among R's graphics
 * device headers). */
extern int R_interrupts_pending;

/* Set by the handler below while a submission waits. */
static volatile sig_atomic_t g_interrupted = 0;

/* Ctrl-C while a block runs: the block is interrupted in the engine, and R
 * raises its interrupt once the submission has returned. */
static void InterruptBlock(int signal) {
    (void)signal;
    g_interrupted = 1;
    InterruptVexa();
}

static SEXP C_submit(SEXP text) {
    const char* syntax = Utf8(text, 0);
    struct sigaction ours, previous;
    memset(&ours, 0, sizeof ours);
    ours.sa_handler = InterruptBlock;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_RESTART;
    g_interrupted = 0;
    sigaction(SIGINT, &ours, &previous);
    const int status = Submit(syntax, (int)strlen(syntax));
    sigaction(SIGINT, &previous, NULL);
    if (g_interrupted) {
        R_interrupts_pending = 1;
        R_CheckUserInterrupt();
    }
    return ScalarInteger(status);
}

static SEXP C_post_output(SEXP text) {
    const char* output = Utf8(text, 0);
    return ScalarInteger(PostVexaOutput(output, (int)strlen(output)));
}

static SEXP C_start_procedure(SEXP name, SEXP identifier) {
    return ScalarInteger(StartProcedure(Utf8(name, 0), Utf8(identifier, 0)));
}

static SEXP C_system_missing(void) {
    double value = 0;
    const int status = GetSystemMissingValue(&value);
    return StatusAnd(status, ScalarReal(value));
}

static SEXP C_case_count(void) {
    int err = 0;
    const int count = GetRowCount(&err);
    return StatusAnd(err, ScalarInteger(count));
}

/* The active dataset's dictionary: name, label, type, format, level. */
static SEXP C_dictionary(void) {
    int err = 0;
    const int count = GetVariableCount(&err);
    if (err) return StatusAnd(err, R_NilValue);
    SEXP names = PROTECT(allocVector(STRSXP, count));
    SEXP labels = PROTECT(allocVector(STRSXP, count));
    SEXP types = PROTECT(allocVector(INTSXP, count));
    SEXP formats = PROTECT(allocVector(STRSXP, count));
    SEXP levels = PROTECT(allocVector(INTSXP, count));
    for (int i = 0; i < count && !err; ++i) {
        /* The name, label and format are the library's own (shared) texts. */
        SET_STRING_ELT(names, i, Text(GetVariableName(i, &err)));
        if (!err) SET_STRING_ELT(labels, i, Text(GetVariableLabel(i, &err)));
        if (!err) INTEGER(types)[i] = GetVariableType(i, &err);
        if (!err) SET_STRING_ELT(formats, i, Text(GetVariableFormat(i, &err)));
        if (!err) INTEGER(levels)[i] = GetVariableMeasurementLevel(i, &err);
    }
    SEXP columns = PROTECT(allocVector(VECSXP, 5));
    SET_VECTOR_ELT(columns, 0, names);
    SET_VECTOR_ELT(columns, 1, labels);
    SET_VECTOR_ELT(columns, 2, types);
    SET_VECTOR_ELT(columns, 3, formats);
    SET_VECTOR_ELT(columns, 4, levels);
    SEXP result = StatusAnd(err, columns);
    UNPROTECT(6);
    return result;
}

/* A string value of at most 8 bytes from a missing-value buffer, without
 * the blanks that pad it. */
static SEXP ShortText(const char* buffer) {
    char text[9];
    memcpy(text, buffer, 8);
    text[8] = '\0';
    int length = (int)strlen(text);
    while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
    return Text(text);
}

/* One variable's value labels: list(values, labels), values numbers or texts. */
static SEXP C_value_labels(SEXP index, SEXP isString) {
    const int position = asInteger(index);
    const bool strings = asLogical(isString) == TRUE;
    char** texts = NULL;
    double* numbers = NULL;
    char** labels = NULL;
    int count = 0;
    const int status = strings ? GetCValueLabels(position, &texts, &labels, &count)
                               : GetNValueLabels(position, &numbers, &labels, &count);
    if (status) return StatusAnd(status, R_NilValue);
    if (count < 0) count = 0;
    SEXP values = PROTECT(allocVector(strings ? STRSXP : REALSXP, count));
    SEXP names = PROTECT(allocVector(STRSXP, count));
    for (int i = 0; i < count; ++i) {
        if (strings) {
            int length = (int)strlen(texts[i]);
            while (length > 0 && texts[i][length - 1] == ' ') --length;
            SET_STRING_ELT(values, i, mkCharLenCE(texts[i], length, CE_UTF8));
        } else {
            REAL(values)[i] = numbers[i];
        }
        SET_STRING_ELT(names, i, Text(labels[i]));
    }
    if (count > 0 && strings) FreeCValueLabels(texts, labels, count);
    if (count > 0 && !strings) FreeNValueLabels(numbers, labels, count);
    SEXP pair = PROTECT(allocVector(VECSXP, 2));
    SET_VECTOR_ELT(pair, 0, values);
    SET_VECTOR_ELT(pair, 1, names);
    SEXP result = StatusAnd(0, pair);
    UNPROTECT(3);
    return result;
}

/* One variable's missing values: list(format, values). Numbers: format 0..3
 * discrete values, -2 a range (low, high), -3 a range and one value. */
static SEXP C_missing_values(SEXP index, SEXP isString) {
    const int position = asInteger(index);
    int format = 0;
    int status;
    SEXP values;
    if (asLogical(isString) == TRUE) {
        char buffers[3][9];
        memset(buffers, 0, sizeof buffers);
        status = GetVarCMissingValues(position, &format, buffers[0], buffers[1], buffers[2]);
        if (status) return StatusAnd(status, R_NilValue);
        const int count = format >= 0 && format <= 3 ? format : 0;
        values = PROTECT(allocVector(STRSXP, count));
        for (int i = 0; i < count; ++i) SET_STRING_ELT(values, i, ShortText(buffers[i]));
    } else {
        double numbers[3] = {0, 0, 0};
        status = GetVarNMissingValues(position, &format, &numbers[0], &numbers[1], &numbers[2]);
        if (status) return StatusAnd(status, R_NilValue);
        const int count = format == -2                 ? 2
                          : format == -3               ? 3
                          : format >= 0 && format <= 3 ? format
                                                       : 0;
        values = PROTECT(allocVector(REALSXP, count));
        for (int i = 0; i < count; ++i) REAL(values)[i] = numbers[i];
    }
    SEXP pair = PROTECT(allocVector(VECSXP, 2));
    SET_VECTOR_ELT(pair, 0, ScalarInteger(format));
    SET_VECTOR_ELT(pair, 1, values);
    SEXP result = StatusAnd(0, pair);
    UNPROTECT(2);
    return result;
}

/* Names in a list the library allocated, released with its own function. */
static SEXP C_datasets(void) {
    char** names = NULL;
    int count = 0;
    const int status = GetVexaDatasets(&names, &count);
    if (status) return StatusAnd(status, R_NilValue);
    SEXP result = PROTECT(allocVector(STRSXP, count));
    for (int i = 0; i < count; ++i) SET_STRING_ELT(result, i, Text(names[i]));
    FreeStringArray(names, count);
    SEXP answer = StatusAnd(0, result);
    UNPROTECT(1);
    return answer;
}

static SEXP ReadString(int index, int width, char* buffer, int* status, int* missing) {
    char* target = buffer;
    memset(buffer, 0, (size_t)width + 1);
    *status = GetStringValue(index, &target, width, missing);
    int length = (int)strnlen(buffer, (size_t)width);
    while (length > 0 && buffer[length - 1] == ' ') --length;
    buffer[length] = '\0';
    return Text(buffer);
}

/* Reads every case of the chosen variables through a read cursor, which a
 * running procedure must allow. Columns are doubles or texts; missing values
 * are NA (user-missing ones only when asked). */
static SEXP C_read_cases(SEXP indexes, SEXP widths, SEXP userMissingAsNA) {
    const int count = length(indexes);
    const bool userAsNA = asLogical(userMissingAsNA) == TRUE;
    int status = MakeCaseCursor("r");
    if (status) return StatusAnd(status, R_NilValue);
    int maxWidth = 0;
    for (int v = 0; v < count; ++v)
        maxWidth = INTEGER(widths)[v] > maxWidth ? INTEGER(widths)[v] : maxWidth;
    char* buffer = (char*)R_alloc((size_t)maxWidth + 1, 1);

    /* Columns grow by doubling; R vectors are resized at the end. */
    R_xlen_t capacity = 1024, rows = 0;
    SEXP columns = PROTECT(allocVector(VECSXP, count));
    for (int v = 0; v < count; ++v) {
        SET_VECTOR_ELT(columns, v,
                       allocVector(INTEGER(widths)[v] == 0 ? REALSXP : STRSXP, capacity));
    }
    while ((status = NextCase()) == 0) {
        if (rows == capacity) {
            capacity *= 2;
            for (int v = 0; v < count; ++v)
                SET_VECTOR_ELT(columns, v, xlengthgets(VECTOR_ELT(columns, v), capacity));
        }
        for (int v = 0; v < count && status == 0; ++v) {
            const int index = INTEGER(indexes)[v];
            const int width = INTEGER(widths)[v];
            int missing = 0;
            SEXP column = VECTOR_ELT(columns, v);
            if (width == 0) {
                double value = 0;
                status = GetNumericValue(index, &value, &missing);
                const bool isNA =
                    missing == VEXA_MISSING_SYSTEM || (missing == VEXA_MISSING_USER && userAsNA);
                REAL(column)[rows] = isNA ? NA_REAL : value;
            } else {
                SEXP value = ReadString(index, width, buffer, &status, &missing);
                const bool isNA =
                    missing == VEXA_MISSING_SYSTEM || (missing == VEXA_MISSING_USER && userAsNA);
                SET_STRING_ELT(column, rows, isNA ? NA_STRING : value);
            }
        }
        if (status) break;
        ++rows;
    }
    if (IsEndOfCases(status)) status = 0;
    const int removed = RemoveCaseCursor();
    if (!status) status = removed;
    for (int v = 0; v < count; ++v)
        SET_VECTOR_ELT(columns, v, xlengthgets(VECTOR_ELT(columns, v), rows));
    SEXP result = StatusAnd(status, columns);
    UNPROTECT(1);
    return result;
}

/* One value of a new case or a new variable; NA is system-missing or blank. */
static int SetValue(const char* name, SEXP column, R_xlen_t row, double systemMissing) {
    if (TYPEOF(column) == REALSXP) {
        const double value = REAL(column)[row];
        return SetValueNumeric(name, ISNAN(value) ? systemMissing : value);
    }
    const char* text = Utf8(column, row);
    return SetValueChar(name, text ? text : "", text ? (int)strlen(text) : 0);
}

/* Adds the columns as new variables of the running procedure's dataset, one
 * value per existing case, through a write cursor; the changes are part of
 * the dataset only when every value went in. */
static SEXP C_add_variables(SEXP names, SEXP widths, SEXP labels, SEXP columns) {
    const int count = length(names);
    double systemMissing = 0;
    int status = GetSystemMissingValue(&systemMissing);
    if (!status) status = MakeCaseCursor("w");
    if (status) return ScalarInteger(status);
    for (int v = 0; v < count && !status; ++v) {
        status = SetOneVarNameAndType(Utf8(names, v), INTEGER(widths)[v]);
        const char* label = Utf8(labels, v);
        if (!status && label && *label) status = SetVarLabel(Utf8(names, v), label);
    }
    if (!status) status = CommitHeader();
    const R_xlen_t rows = count ? xlength(VECTOR_ELT(columns, 0)) : 0;
    R_xlen_t row = 0;
    while (!status && (status = NextCase()) == 0) {
        if (row >= rows) {
            status = VEXA_BAD_ARGUMENT;
            break;
        }
        for (int v = 0; v < count && !status; ++v)
            status = SetValue(Utf8(names, v), VECTOR_ELT(columns, v), row, systemMissing);
        if (!status) status = CommitCaseRecord();
        ++row;
    }
    if (IsEndOfCases(status)) status = row == rows ? 0 : VEXA_BAD_ARGUMENT;
    if (!status) status = EndChanges();
    const int removed = RemoveCaseCursor();
    return ScalarInteger(status ? status : removed);
}

/* Fills a new dataset, made in the running data step, with the columns. */
static SEXP C_create_dataset(SEXP dataset, SEXP names, SEXP widths, SEXP columns) {
    const char* name = Utf8(dataset, 0);
    const int count = length(names);
    const R_xlen_t rows = count ? xlength(VECTOR_ELT(columns, 0)) : 0;
    if (rows > INT_MAX) return ScalarInteger(VEXA_BAD_ARGUMENT);
    double systemMissing = 0;
    int status = GetSystemMissingValue(&systemMissing);
    if (!status) status = CreateDataset(name, false, false);
    for (int v = 0; v < count && !status; ++v)
        status = InsertVariable(name, v, Utf8(names, v), INTEGER(widths)[v]);
    for (int row = 0; row < (int)rows && !status; ++row) status = InsertCase(name, row);
    for (int row = 0; row < (int)rows && !status; ++row) {
        for (int v = 0; v < count && !status; ++v) {
            SEXP column = VECTOR_ELT(columns, v);
            if (TYPEOF(column) == REALSXP) {
                const double value = REAL(column)[row];
                status = SetNCellValue(name, row, v, ISNAN(value) ? systemMissing : value);
            } else {
                const char* text = Utf8(column, row);
                status = SetCCellValue(name, row, v, text ? text : "");
            }
        }
    }
    if (!status) status = CommitDataSet();
    return ScalarInteger(status);
}

/* A pivot table of one row and one column dimension; NA cells stay empty. */
static SEXP C_pivot_table(SEXP texts, SEXP rowLabels, SEXP columnLabels, SEXP cells) {
    const char* outline = Utf8(texts, 0);
    const char* title = Utf8(texts, 1);
    const char* rowDimension = Utf8(texts, 2);
    const char* columnDimension = Utf8(texts, 3);
    const int rows = length(rowLabels);
    const int columns = length(columnLabels);
    int status = StartPivotTable(outline, title, "", false);
    if (!status)
        status =
            AddDimension(outline, title, "", false, rowDimension, VEXA_PLACE_ROW, 0, false, false);
    if (!status)
        status = AddDimension(outline, title, "", false, columnDimension, VEXA_PLACE_COLUMN, 0,
                              false, false);
    for (int r = 0; r < rows && !status; ++r) {
        for (int c = 0; c < columns && !status; ++c) {
            const double value = REAL(cells)[r + (R_xlen_t)c * rows];
            if (ISNAN(value)) continue;
            status = AddStringCategory(outline, title, "", false, rowDimension, VEXA_PLACE_ROW, 0,
                                       false, false, Utf8(rowLabels, r));
            if (!status)
                status =
                    AddStringCategory(outline, title, "", false, columnDimension, VEXA_PLACE_COLUMN,
                                      0, false, false, Utf8(columnLabels, c));
            if (!status)
                status = SetNumberCell(outline, title, "", false, columnDimension,
                                       VEXA_PLACE_COLUMN, 0, false, false, value);
        }
    }
    return ScalarInteger(status);
}

/* Through void (*)(void), the generic function pointer, as R stores them. */
#define CALL(name, count) \
    { #name, (DL_FUNC)(void (*)(void))(name), count }
static const R_CallMethodDef kCalls[] = {
    CALL(C_status_call, 1),    CALL(C_text_call, 2),   CALL(C_start, 1),
    CALL(C_start_failure, 0),  CALL(C_stop, 0),        CALL(C_is_running, 0),
    CALL(C_submit, 1),         CALL(C_post_output, 1), CALL(C_start_procedure, 2),
    CALL(C_system_missing, 0), CALL(C_case_count, 0),  CALL(C_dictionary, 0),
    CALL(C_datasets, 0),       CALL(C_read_cases, 3),  CALL(C_add_variables, 4),
    CALL(C_create_dataset, 4), CALL(C_pivot_table, 4), CALL(C_value_labels, 2),
    CALL(C_missing_values, 2), {NULL, NULL, 0}};

void R_init_vexa(DllInfo* info) {
    R_registerRoutines(info, NULL, kCalls, NULL, NULL);
    R_useDynamicSymbols(info, FALSE);
    R_forceSymbols(info, TRUE);
}
