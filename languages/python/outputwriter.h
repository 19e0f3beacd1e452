// The module "_vexaoutput": a text-stream type whose objects stand in for
// sys.stdout and sys.stderr while a block runs and post what is written to
// the engine's output, one text per run of complete lines. Every function
// here needs the GIL; the buffer of a writer is guarded by it.
#pragma once

#include <Python.h>

#include <cstddef>

namespace vexapython {

// Posts one text to the engine's output; defined with the entry points,
// which know the output route. Returns the route's status.
int PostOutput(const char* text, std::size_t length);

// The module's init function, for PyImport_AppendInittab.
PyObject* InitOutputModule();

// A new writer (a new reference), or null with a Python error set.
PyObject* NewWriter();

bool IsWriter(PyObject* object);

// Posts what the writer holds; nothing when it holds nothing.
void FlushWriter(PyObject* writer);

}  // namespace vexapython
