/* The compiled part of the package: walks cursor blocks, data-step batches
 * and write loops in C, so that a value costs one library call instead of a
 * round of ctypes conversions.
 *
 * It does not link the library: vexa._native hands it the addresses of the
 * functions of the copy it loaded, so both reach one connection state (inside
 * a program block, the copy the language process already holds). Columns
 * leave as bytearrays of float64, which numpy wraps without a copy, or as
 * lists of str and None, so this part needs nothing beyond CPython.
 *
 * Every walker returns the library's status beside what it read; raising is
 * left to the Python side, which knows the call's name and the engine's
 * error text. Calls of one process are serialised by the library's contract,
 * and these functions hold the GIL throughout, so the table needs no lock. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

/* NextCase's codes once the cases are used up: the library's and the engine's. */
#define CASES_USED_UP 1900
#define ENGINE_CASES_USED_UP 23
#define MISSING_USER 1
#define MISSING_SYSTEM 2
/* The library's code for an argument it cannot use. */
#define BAD_ARGUMENT 99108

#if PY_VERSION_HEX < 0x030A0000
static PyObject* Py_NewRef(PyObject* object) {
    Py_INCREF(object);
    return object;
}
#endif
#define CELL_BYTES 8

struct Api {
    int (*NextCase)(void);
    int (*GetNumericValue)(int, double*, int*);
    int (*GetStringValue)(int, char**, int, int*);
    int (*SetValueNumeric)(const char*, double);
    int (*SetValueChar)(const char*, const char*, int);
    int (*CommitCaseRecord)(void);
    int (*CommitManyCases)(const char* const*, const int*, void*, int, int, int);
    double (*GetNCellValueOptimize)(const char*, int, int, int*, int*);
    char* (*GetCCellValueOptimize)(const char*, int, int, int*, int*);
    int (*FreeString)(char*);
};
static struct Api api;

static const struct {
    const char* name;
    size_t offset;
} kBindings[] = {
#define BINDING(name) \
    { #name, offsetof(struct Api, name) }
    BINDING(NextCase),        BINDING(GetNumericValue),       BINDING(GetStringValue),
    BINDING(SetValueNumeric), BINDING(SetValueChar),          BINDING(CommitCaseRecord),
    BINDING(CommitManyCases), BINDING(GetNCellValueOptimize), BINDING(GetCCellValueOptimize),
    BINDING(FreeString),
#undef BINDING
};
#define BINDING_COUNT (sizeof kBindings / sizeof kBindings[0])

static int bound = 0;

static int IsEndOfCases(int status) {
    return status == CASES_USED_UP || status == ENGINE_CASES_USED_UP;
}

static int IsMissing(int flag, int userMissingIsMissing) {
    return flag == MISSING_SYSTEM || (flag == MISSING_USER && userMissingIsMissing);
}

/* bind({name: address}): the library's functions, as ctypes found them. */
static PyObject* Bind(PyObject* self, PyObject* addresses) {
    (void)self;
    if (!PyDict_Check(addresses)) {
        PyErr_SetString(PyExc_TypeError, "bind takes a dict of function addresses");
        return NULL;
    }
    void* found[BINDING_COUNT];
    for (size_t i = 0; i < BINDING_COUNT; ++i) {
        PyObject* address = PyDict_GetItemString(addresses, kBindings[i].name);
        if (!address) return PyErr_Format(PyExc_KeyError, "no address for %s", kBindings[i].name);
        found[i] = PyLong_AsVoidPtr(address);
        if (!found[i]) {
            if (!PyErr_Occurred())
                PyErr_Format(PyExc_ValueError, "a null address for %s", kBindings[i].name);
            return NULL;
        }
    }
    for (size_t i = 0; i < BINDING_COUNT; ++i)
        memcpy((char*)&api + kBindings[i].offset, &found[i], sizeof(void*));
    bound = 1;
    Py_RETURN_NONE;
}

static int RequireBound(void) {
    if (!bound) PyErr_SetString(PyExc_RuntimeError, "vexa._blocks is not bound to the library");
    return bound;
}

/* The variables a walker reads: positions and widths (0 numeric), as C arrays. */
typedef struct {
    Py_ssize_t count;
    int* indexes;
    int* widths;
    int maxWidth;
    char* text; /* one string value, maxWidth + 1 bytes */
} Selection;

static void SelectionFree(Selection* selection) {
    PyMem_Free(selection->indexes);
    PyMem_Free(selection->widths);
    PyMem_Free(selection->text);
    memset(selection, 0, sizeof *selection);
}

static int IntAt(PyObject* sequence, Py_ssize_t i, int* value) {
    long number = PyLong_AsLong(PySequence_Fast_GET_ITEM(sequence, i));
    if (number == -1 && PyErr_Occurred()) return 0;
    if (number < 0 || number > INT32_MAX) {
        PyErr_SetString(PyExc_ValueError, "a position or width outside 0..2**31-1");
        return 0;
    }
    *value = (int)number;
    return 1;
}

static int SelectionFrom(PyObject* indexes, PyObject* widths, Selection* selection) {
    memset(selection, 0, sizeof *selection);
    PyObject* fastIndexes = PySequence_Fast(indexes, "positions must be a sequence");
    if (!fastIndexes) return 0;
    PyObject* fastWidths = PySequence_Fast(widths, "widths must be a sequence");
    if (!fastWidths) {
        Py_DECREF(fastIndexes);
        return 0;
    }
    int ok = 0;
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(fastIndexes);
    if (count != PySequence_Fast_GET_SIZE(fastWidths)) {
        PyErr_SetString(PyExc_ValueError, "one width per position");
        goto done;
    }
    selection->count = count;
    selection->indexes = PyMem_New(int, count ? count : 1);
    selection->widths = PyMem_New(int, count ? count : 1);
    if (!selection->indexes || !selection->widths) {
        PyErr_NoMemory();
        goto done;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (!IntAt(fastIndexes, i, &selection->indexes[i]) ||
            !IntAt(fastWidths, i, &selection->widths[i]))
            goto done;
        if (selection->widths[i] > selection->maxWidth) selection->maxWidth = selection->widths[i];
    }
    selection->text = PyMem_Malloc((size_t)selection->maxWidth + 1);
    if (!selection->text) {
        PyErr_NoMemory();
        goto done;
    }
    ok = 1;
done:
    Py_DECREF(fastIndexes);
    Py_DECREF(fastWidths);
    if (!ok) SelectionFree(selection);
    return ok;
}

/* A string value without the blanks and zero bytes that pad it. */
static PyObject* TextOf(const char* bytes, size_t length) {
    while (length > 0 && (bytes[length - 1] == ' ' || bytes[length - 1] == '\0')) --length;
    const char* end = memchr(bytes, '\0', length);
    if (end) length = (size_t)(end - bytes);
    return PyUnicode_DecodeUTF8(bytes, (Py_ssize_t)length, "replace");
}

/* One value of the current case: a float, a str, or None when missing. */
static PyObject* CursorValue(Selection* selection, Py_ssize_t v, int userMissingIsMissing,
                             int* status) {
    int missing = 0;
    const int width = selection->widths[v];
    if (width == 0) {
        double value = 0;
        *status = api.GetNumericValue(selection->indexes[v], &value, &missing);
        if (*status) return NULL;
        if (IsMissing(missing, userMissingIsMissing)) Py_RETURN_NONE;
        return PyFloat_FromDouble(value);
    }
    char* target = selection->text;
    memset(selection->text, 0, (size_t)width + 1);
    *status = api.GetStringValue(selection->indexes[v], &target, width, &missing);
    if (*status) return NULL;
    if (IsMissing(missing, userMissingIsMissing)) Py_RETURN_NONE;
    return TextOf(selection->text, (size_t)width);
}

/* The current case as a tuple; NULL with *status set when a read failed,
 * NULL with a Python error when an object could not be made. */
static PyObject* CursorCase(Selection* selection, int userMissingIsMissing, int* status) {
    PyObject* values = PyTuple_New(selection->count);
    if (!values) return NULL;
    for (Py_ssize_t v = 0; v < selection->count; ++v) {
        PyObject* value = CursorValue(selection, v, userMissingIsMissing, status);
        if (!value) {
            Py_DECREF(values);
            return NULL;
        }
        PyTuple_SET_ITEM(values, v, value);
    }
    return values;
}

static PyObject* StatusAnd(int status, PyObject* value) {
    if (!value) return NULL;
    return Py_BuildValue("(iN)", status, value);
}

/* current_case(positions, widths, user_missing_is_missing) -> (status, tuple or None) */
static PyObject* CurrentCase(PyObject* self, PyObject* args) {
    (void)self;
    PyObject *indexes, *widths;
    int userMissing;
    if (!PyArg_ParseTuple(args, "OOp", &indexes, &widths, &userMissing) || !RequireBound())
        return NULL;
    Selection selection;
    if (!SelectionFrom(indexes, widths, &selection)) return NULL;
    int status = 0;
    PyObject* values = CursorCase(&selection, userMissing, &status);
    SelectionFree(&selection);
    if (!values && PyErr_Occurred()) return NULL;
    if (!values) return StatusAnd(status, Py_NewRef(Py_None));
    return StatusAnd(0, values);
}

/* next_cases(positions, widths, user_missing_is_missing, limit) -> (status, [tuple]):
 * steps to and reads up to `limit` cases. Status 0 when the limit was
 * reached, the end code once the cases are used up, else the failure. */
static PyObject* NextCases(PyObject* self, PyObject* args) {
    (void)self;
    PyObject *indexes, *widths;
    int userMissing;
    Py_ssize_t limit;
    if (!PyArg_ParseTuple(args, "OOpn", &indexes, &widths, &userMissing, &limit) || !RequireBound())
        return NULL;
    Selection selection;
    if (!SelectionFrom(indexes, widths, &selection)) return NULL;
    PyObject* cases = PyList_New(0);
    int status = 0;
    for (Py_ssize_t n = 0; cases && n < limit; ++n) {
        status = api.NextCase();
        if (status) break;
        PyObject* values = CursorCase(&selection, userMissing, &status);
        if (!values || PyList_Append(cases, values) < 0) {
            Py_XDECREF(values);
            if (PyErr_Occurred()) Py_CLEAR(cases);
            break;
        }
        Py_DECREF(values);
    }
    SelectionFree(&selection);
    return StatusAnd(status, cases);
}

/* A growing column: numbers in a bytearray of doubles (with a bytearray of
 * missing flags on request), texts in a list. */
typedef struct {
    PyObject* values;
    PyObject* flags;
    /* The bytearrays' storage, valid until they are resized. */
    double* numbers;
    char* flagBytes;
} Column;

/* A column of a million cases is megabytes of fresh memory: in huge pages
 * where the system offers them on request (as numpy's own arrays are), its
 * first writes fault once per 2 MiB instead of once per 4 KiB. Only the
 * whole pages inside the storage are advised; the advice is a hint, so a
 * refusal changes nothing. */
static void AdviseHugePages(void* storage, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    enum { kLarge = 4 << 20 };
    if (bytes < kLarge) return;
    const uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
    const uintptr_t first = ((uintptr_t)storage + page - 1) & ~(page - 1);
    const uintptr_t end = ((uintptr_t)storage + bytes) & ~(page - 1);
    if (end > first) (void)madvise((void*)first, end - first, MADV_HUGEPAGE);
#else
    (void)storage;
    (void)bytes;
#endif
}

static int GrowColumns(Column* columns, Selection* selection, Py_ssize_t capacity) {
    for (Py_ssize_t v = 0; v < selection->count; ++v) {
        if (selection->widths[v]) continue;
        if (PyByteArray_Resize(columns[v].values, capacity * (Py_ssize_t)sizeof(double)) < 0)
            return 0;
        if (columns[v].flags && PyByteArray_Resize(columns[v].flags, capacity) < 0) return 0;
        columns[v].numbers = (double*)PyByteArray_AS_STRING(columns[v].values);
        AdviseHugePages(columns[v].numbers, (size_t)capacity * sizeof(double));
        columns[v].flagBytes = columns[v].flags ? PyByteArray_AS_STRING(columns[v].flags) : NULL;
    }
    return 1;
}

static void FreeColumns(Column* columns, Py_ssize_t count) {
    for (Py_ssize_t v = 0; v < count; ++v) {
        Py_XDECREF(columns[v].values);
        Py_XDECREF(columns[v].flags);
    }
    PyMem_Free(columns);
}

/* Reads the current case into row `row` of the columns. */
static int ReadRow(Selection* selection, Column* columns, Py_ssize_t row, int userMissing,
                   int* status) {
    const double nan = NAN;
    for (Py_ssize_t v = 0; v < selection->count; ++v) {
        int missing = 0;
        if (selection->widths[v] == 0) {
            double value = 0;
            *status = api.GetNumericValue(selection->indexes[v], &value, &missing);
            if (*status) return 1;
            if (columns[v].flagBytes) {
                columns[v].numbers[row] = value;
                columns[v].flagBytes[row] = (char)missing;
            } else {
                columns[v].numbers[row] = IsMissing(missing, userMissing) ? nan : value;
            }
            continue;
        }
        PyObject* value = CursorValue(selection, v, userMissing, status);
        if (!value) return *status != 0;
        const int appended = PyList_Append(columns[v].values, value);
        Py_DECREF(value);
        if (appended < 0) return 0;
    }
    return 1;
}

/* read_columns(positions, widths, user_missing_is_missing, with_flags, capacity)
 *   -> (status, rows, [column], [flags or None])
 * Walks every remaining case of the open cursor. Numbers: NaN for missing
 * values, or the stored value with a flag byte per row (0, 1 user, 2 system)
 * when `with_flags`. */
static PyObject* ReadColumns(PyObject* self, PyObject* args) {
    (void)self;
    PyObject *indexes, *widths;
    int userMissing, withFlags;
    Py_ssize_t capacity;
    if (!PyArg_ParseTuple(args, "OOppn", &indexes, &widths, &userMissing, &withFlags, &capacity) ||
        !RequireBound())
        return NULL;
    Selection selection;
    if (!SelectionFrom(indexes, widths, &selection)) return NULL;
    if (capacity < 16) capacity = 16;
    Column* columns = PyMem_Calloc((size_t)(selection.count ? selection.count : 1), sizeof(Column));
    PyObject* result = NULL;
    if (!columns) {
        PyErr_NoMemory();
        goto done;
    }
    for (Py_ssize_t v = 0; v < selection.count; ++v) {
        columns[v].values =
            selection.widths[v] ? PyList_New(0) : PyByteArray_FromStringAndSize(NULL, 0);
        if (!columns[v].values) goto done;
        if (withFlags && selection.widths[v] == 0 &&
            !(columns[v].flags = PyByteArray_FromStringAndSize(NULL, 0)))
            goto done;
    }
    if (!GrowColumns(columns, &selection, capacity)) goto done;
    Py_ssize_t rows = 0;
    int status = 0;
    while ((status = api.NextCase()) == 0) {
        if (rows == capacity) {
            capacity *= 2;
            if (!GrowColumns(columns, &selection, capacity)) goto done;
        }
        if (!ReadRow(&selection, columns, rows, userMissing, &status)) goto done;
        if (status) break;
        ++rows;
    }
    if (IsEndOfCases(status)) status = 0;
    if (!GrowColumns(columns, &selection, rows)) goto done;
    PyObject* values = PyList_New(selection.count);
    PyObject* flags = PyList_New(selection.count);
    if (!values || !flags) {
        Py_XDECREF(values);
        Py_XDECREF(flags);
        goto done;
    }
    for (Py_ssize_t v = 0; v < selection.count; ++v) {
        PyList_SET_ITEM(values, v, columns[v].values);
        PyList_SET_ITEM(flags, v, columns[v].flags ? columns[v].flags : Py_NewRef(Py_None));
        columns[v].values = columns[v].flags = NULL;
    }
    result = Py_BuildValue("(inNN)", status, rows, values, flags);
done:
    if (columns) FreeColumns(columns, selection.count);
    SelectionFree(&selection);
    return result;
}

/* dataset_rows(dataset, first, stop, positions, widths, user_missing_is_missing)
 *   -> (status, [tuple]): rows first..stop-1 read through the data step's batches. */
static PyObject* DatasetRows(PyObject* self, PyObject* args) {
    (void)self;
    const char* dataset;
    int first, stop, userMissing;
    PyObject *indexes, *widths;
    if (!PyArg_ParseTuple(args, "yiiOOp", &dataset, &first, &stop, &indexes, &widths,
                          &userMissing) ||
        !RequireBound())
        return NULL;
    Selection selection;
    if (!SelectionFrom(indexes, widths, &selection)) return NULL;
    PyObject* rows = PyList_New(0);
    int status = 0;
    for (int row = first; rows && row < stop && !status; ++row) {
        PyObject* values = PyTuple_New(selection.count);
        for (Py_ssize_t v = 0; values && v < selection.count; ++v) {
            int missing = 0;
            PyObject* value = NULL;
            if (selection.widths[v] == 0) {
                const double number = api.GetNCellValueOptimize(dataset, row, selection.indexes[v],
                                                                &missing, &status);
                if (!status)
                    value = IsMissing(missing, userMissing) ? Py_NewRef(Py_None)
                                                            : PyFloat_FromDouble(number);
            } else {
                char* text = api.GetCCellValueOptimize(dataset, row, selection.indexes[v], &missing,
                                                       &status);
                if (!status) {
                    value = IsMissing(missing, userMissing)
                                ? Py_NewRef(Py_None)
                                : TextOf(text ? text : "", text ? strlen(text) : 0);
                }
                if (text) api.FreeString(text);
            }
            if (!value) {
                Py_CLEAR(values);
                break;
            }
            PyTuple_SET_ITEM(values, v, value);
        }
        if (!values) {
            if (PyErr_Occurred()) Py_CLEAR(rows);
            break;
        }
        const int appended = PyList_Append(rows, values);
        Py_DECREF(values);
        if (appended < 0) Py_CLEAR(rows);
    }
    SelectionFree(&selection);
    return StatusAnd(status, rows);
}

/* Columns to write: names, widths, and per column either a C-contiguous
 * float64 buffer or a sequence of bytes (None for blank). */
typedef struct {
    Py_ssize_t count;
    Py_ssize_t rows;
    const char** names;
    int* widths;
    Py_buffer* numbers; /* .buf null for a string column */
    PyObject** texts;   /* fast sequences for string columns */
    PyObject* nameList;
} Source;

static void SourceFree(Source* source) {
    for (Py_ssize_t v = 0; v < source->count; ++v) {
        if (source->numbers && source->numbers[v].buf) PyBuffer_Release(&source->numbers[v]);
        if (source->texts) Py_XDECREF(source->texts[v]);
    }
    PyMem_Free(source->names);
    PyMem_Free(source->widths);
    PyMem_Free(source->numbers);
    PyMem_Free(source->texts);
    Py_XDECREF(source->nameList);
    memset(source, 0, sizeof *source);
}

static int SourceColumn(Source* source, Py_ssize_t v, PyObject* column) {
    if (source->widths[v] == 0) {
        Py_buffer* view = &source->numbers[v];
        if (PyObject_GetBuffer(column, view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) return 0;
        if (view->itemsize != sizeof(double) || !view->format || strcmp(view->format, "d") != 0) {
            PyErr_SetString(PyExc_TypeError,
                            "a numeric column must be a contiguous float64 buffer");
            return 0;
        }
        const Py_ssize_t rows = view->len / (Py_ssize_t)sizeof(double);
        if (rows != source->rows) {
            PyErr_SetString(PyExc_ValueError, "columns of different lengths");
            return 0;
        }
        return 1;
    }
    source->texts[v] = PySequence_Fast(column, "a string column must be a sequence of bytes");
    if (!source->texts[v]) return 0;
    if (PySequence_Fast_GET_SIZE(source->texts[v]) != source->rows) {
        PyErr_SetString(PyExc_ValueError, "columns of different lengths");
        return 0;
    }
    return 1;
}

static int SourceFrom(PyObject* names, PyObject* widths, PyObject* columns, Py_ssize_t rows,
                      Source* source) {
    memset(source, 0, sizeof *source);
    source->rows = rows;
    source->nameList = PySequence_Fast(names, "names must be a sequence of bytes");
    if (!source->nameList) return 0;
    PyObject* fastWidths = PySequence_Fast(widths, "widths must be a sequence");
    PyObject* fastColumns =
        fastWidths ? PySequence_Fast(columns, "columns must be a sequence") : NULL;
    int ok = 0;
    if (!fastColumns) goto done;
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(source->nameList);
    if (PySequence_Fast_GET_SIZE(fastWidths) != count ||
        PySequence_Fast_GET_SIZE(fastColumns) != count) {
        PyErr_SetString(PyExc_ValueError, "one name, width and column per variable");
        goto done;
    }
    source->names = PyMem_Calloc((size_t)(count ? count : 1), sizeof(char*));
    source->widths = PyMem_Calloc((size_t)(count ? count : 1), sizeof(int));
    source->numbers = PyMem_Calloc((size_t)(count ? count : 1), sizeof(Py_buffer));
    source->texts = PyMem_Calloc((size_t)(count ? count : 1), sizeof(PyObject*));
    if (!source->names || !source->widths || !source->numbers || !source->texts) {
        PyErr_NoMemory();
        goto done;
    }
    source->count = count;
    for (Py_ssize_t v = 0; v < count; ++v) {
        source->names[v] = PyBytes_AsString(PySequence_Fast_GET_ITEM(source->nameList, v));
        if (!source->names[v] || !IntAt(fastWidths, v, &source->widths[v])) goto done;
        if (!SourceColumn(source, v, PySequence_Fast_GET_ITEM(fastColumns, v))) goto done;
    }
    ok = 1;
done:
    Py_XDECREF(fastWidths);
    Py_XDECREF(fastColumns);
    if (!ok) SourceFree(source);
    return ok;
}

/* A string cell's bytes; None is blank. Fails with a Python error for
 * anything but bytes and for a text wider than its variable. */
static int TextCell(Source* source, Py_ssize_t v, Py_ssize_t row, const char** bytes,
                    Py_ssize_t* length) {
    PyObject* item = PySequence_Fast_GET_ITEM(source->texts[v], row);
    if (item == Py_None) {
        *bytes = "";
        *length = 0;
        return 1;
    }
    if (PyBytes_AsStringAndSize(item, (char**)bytes, length) < 0) return 0;
    if (*length > source->widths[v]) {
        PyErr_Format(PyExc_ValueError, "row %zd of %s: %zd bytes for a string variable of width %d",
                     row, source->names[v], *length, source->widths[v]);
        return 0;
    }
    return 1;
}

/* write_current_cases(names, widths, columns, rows, system_missing) -> (status, rows_written)
 * Walks the write cursor's cases and commits the new variables' values of
 * each; NaN is system-missing. More cases than rows answers 99108; fewer
 * cases answer 99108 after the last. */
static PyObject* WriteCurrentCases(PyObject* self, PyObject* args) {
    (void)self;
    PyObject *names, *widths, *columns;
    Py_ssize_t rows;
    double systemMissing;
    if (!PyArg_ParseTuple(args, "OOOnd", &names, &widths, &columns, &rows, &systemMissing) ||
        !RequireBound())
        return NULL;
    Source source;
    if (!SourceFrom(names, widths, columns, rows, &source)) return NULL;
    int status = 0;
    Py_ssize_t row = 0;
    int failed = 0;
    while (!status && (status = api.NextCase()) == 0) {
        if (row >= rows) {
            status = BAD_ARGUMENT;
            break;
        }
        for (Py_ssize_t v = 0; v < source.count && !status; ++v) {
            if (source.widths[v] == 0) {
                const double value = ((const double*)source.numbers[v].buf)[row];
                status = api.SetValueNumeric(source.names[v], isnan(value) ? systemMissing : value);
            } else {
                const char* bytes;
                Py_ssize_t length;
                if (!TextCell(&source, v, row, &bytes, &length)) {
                    failed = 1;
                    break;
                }
                status = api.SetValueChar(source.names[v], bytes, (int)length);
            }
        }
        if (failed) break;
        if (!status) status = api.CommitCaseRecord();
        if (!status) ++row;
    }
    if (IsEndOfCases(status)) status = row == rows ? 0 : BAD_ARGUMENT;
    SourceFree(&source);
    if (failed) return NULL;
    return Py_BuildValue("(in)", status, row);
}

/* Packs rows first..first+count-1 into a malloc'ed block of cases: numbers
 * one cell, texts blank-padded over ceil(width / 8) cells. */
static void* PackCases(Source* source, Py_ssize_t first, Py_ssize_t count, size_t caseSize,
                       double systemMissing) {
    const size_t bytes = caseSize * (size_t)count;
    unsigned char* block = malloc(bytes ? bytes : 1);
    if (!block) {
        PyErr_NoMemory();
        return NULL;
    }
    unsigned char* cell = block;
    for (Py_ssize_t row = first; row < first + count; ++row) {
        for (Py_ssize_t v = 0; v < source->count; ++v) {
            if (source->widths[v] == 0) {
                const double value = ((const double*)source->numbers[v].buf)[row];
                const double stored = isnan(value) ? systemMissing : value;
                memcpy(cell, &stored, sizeof stored);
                cell += CELL_BYTES;
                continue;
            }
            const size_t span =
                ((size_t)source->widths[v] + CELL_BYTES - 1) / CELL_BYTES * CELL_BYTES;
            const char* bytes;
            Py_ssize_t length;
            if (!TextCell(source, v, row, &bytes, &length)) {
                free(block);
                return NULL;
            }
            memcpy(cell, bytes, (size_t)length);
            memset(cell + length, ' ', span - (size_t)length);
            cell += span;
        }
    }
    return block;
}

/* append_cases(names, widths, columns, rows, system_missing, chunk) -> (status, rows_sent)
 * Sends the rows as new cases of the write cursor, `chunk` cases per message. */
static PyObject* AppendCases(PyObject* self, PyObject* args) {
    (void)self;
    PyObject *names, *widths, *columns;
    Py_ssize_t rows, chunk;
    double systemMissing;
    if (!PyArg_ParseTuple(args, "OOOndn", &names, &widths, &columns, &rows, &systemMissing,
                          &chunk) ||
        !RequireBound())
        return NULL;
    if (chunk < 1) chunk = 1;
    Source source;
    if (!SourceFrom(names, widths, columns, rows, &source)) return NULL;
    size_t caseSize = 0;
    for (Py_ssize_t v = 0; v < source.count; ++v) {
        caseSize += source.widths[v] == 0
                        ? CELL_BYTES
                        : ((size_t)source.widths[v] + CELL_BYTES - 1) / CELL_BYTES * CELL_BYTES;
    }
    if (caseSize * (size_t)chunk > INT32_MAX)
        chunk = (Py_ssize_t)(INT32_MAX / (caseSize ? caseSize : 1));
    int status = 0;
    Py_ssize_t sent = 0;
    int failed = 0;
    while (!status && sent < rows && source.count > 0) {
        const Py_ssize_t count = rows - sent < chunk ? rows - sent : chunk;
        void* block = PackCases(&source, sent, count, caseSize, systemMissing);
        if (!block) {
            failed = 1;
            break;
        }
        status = api.CommitManyCases(source.names, source.widths, block, (int)source.count,
                                     (int)(caseSize * (size_t)count), (int)count);
        if (!status) sent += count;
    }
    SourceFree(&source);
    if (failed) return NULL;
    return Py_BuildValue("(in)", status, sent);
}

static PyMethodDef kMethods[] = {
    {"bind", Bind, METH_O, "Binds the library's functions: bind({name: address})."},
    {"current_case", CurrentCase, METH_VARARGS, "The cursor's current case: (status, tuple)."},
    {"next_cases", NextCases, METH_VARARGS,
     "Steps the cursor through up to `limit` cases: (status, [tuple])."},
    {"read_columns", ReadColumns, METH_VARARGS, "Reads the cursor's remaining cases into columns."},
    {"dataset_rows", DatasetRows, METH_VARARGS,
     "Rows of a dataset through the data step's batches."},
    {"write_current_cases", WriteCurrentCases, METH_VARARGS,
     "New variables' values for every case of a write cursor."},
    {"append_cases", AppendCases, METH_VARARGS, "Rows as new cases of a write cursor, in blocks."},
    {NULL, NULL, 0, NULL}};

static struct PyModuleDef kModule = {PyModuleDef_HEAD_INIT,
                                     "vexa._blocks",
                                     "Case blocks and batches walked in C.",
                                     -1,
                                     kMethods,
                                     NULL,
                                     NULL,
                                     NULL,
                                     NULL};

PyMODINIT_FUNC PyInit__blocks(void) { return PyModule_Create(&kModule); }
