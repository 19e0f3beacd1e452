#include "outputwriter.h"

#include <algorithm>
#include <new>
#include <string>
#include <string_view>

namespace vexapython {
namespace {

struct Writer {
    PyObject_HEAD std::string* pending;  // text after the last line feed posted
};

Writer* AsWriter(PyObject* object) { return reinterpret_cast<Writer*>(object); }

void PostPending(Writer* self, std::size_t length) {
    std::string text = self->pending->substr(0, length);
    self->pending->erase(0, std::min(length + 1, self->pending->size()));  // with the line feed
    // A refusing engine is no fault of the program that printed.
    PostOutput(text.data(), text.size());
}

PyObject* WriterNew(PyTypeObject* type, PyObject*, PyObject*) {
    Writer* self = reinterpret_cast<Writer*>(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    self->pending = new (std::nothrow) std::string;
    if (!self->pending) {
        Py_DECREF(self);
        return PyErr_NoMemory();
    }
    return reinterpret_cast<PyObject*>(self);
}

void WriterDealloc(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    delete AsWriter(object)->pending;
    type->tp_free(object);
    Py_DECREF(type);  // instances of a heap type hold their type
}

// Everything up to the last line feed goes out as one text, without that
// line feed; the rest waits for more text, a flush or the end of the block.
PyObject* WriterWrite(PyObject* object, PyObject* text) {
    if (!PyUnicode_Check(text)) {
        PyErr_Format(PyExc_TypeError, "write() argument must be str, not %.100s",
                     Py_TYPE(text)->tp_name);
        return nullptr;
    }
    PyObject* bytes = PyUnicode_AsEncodedString(text, "utf-8", "backslashreplace");
    if (!bytes) return nullptr;
    Writer* self = AsWriter(object);
    const std::size_t before = self->pending->size();
    try {
        self->pending->append(PyBytes_AS_STRING(bytes),
                              static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
    } catch (...) {
        Py_DECREF(bytes);
        return PyErr_NoMemory();
    }
    Py_DECREF(bytes);
    // Only the new text can hold a new line feed; a long line written in
    // pieces is not searched again for each piece.
    const std::size_t feed = std::string_view(*self->pending).substr(before).rfind('\n');
    if (feed != std::string_view::npos) {
        try {
            PostPending(self, before + feed);
        } catch (...) {
            return PyErr_NoMemory();
        }
    }
    return PyLong_FromSsize_t(PyUnicode_GET_LENGTH(text));
}

PyObject* WriterFlush(PyObject* object, PyObject*) {
    FlushWriter(object);
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
}

PyObject* ReturnFalse(PyObject*, PyObject*) { Py_RETURN_FALSE; }
PyObject* ReturnTrue(PyObject*, PyObject*) { Py_RETURN_TRUE; }

PyObject* GetEncoding(PyObject*, void*) { return PyUnicode_FromString("utf-8"); }
PyObject* GetErrors(PyObject*, void*) { return PyUnicode_FromString("backslashreplace"); }
PyObject* GetClosed(PyObject*, void*) { Py_RETURN_FALSE; }

PyMethodDef g_writerMethods[] = {
    {"write", WriterWrite, METH_O, "Write text; complete lines are posted to the engine's output."},
    {"flush", WriterFlush, METH_NOARGS, "Post the text written since the last line feed."},
    {"isatty", ReturnFalse, METH_NOARGS, nullptr},
    {"readable", ReturnFalse, METH_NOARGS, nullptr},
    {"seekable", ReturnFalse, METH_NOARGS, nullptr},
    {"writable", ReturnTrue, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef g_writerGetSet[] = {
    {"encoding", GetEncoding, nullptr, nullptr, nullptr},
    {"errors", GetErrors, nullptr, nullptr, nullptr},
    {"closed", GetClosed, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_writerSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(WriterNew)},
    {Py_tp_dealloc, reinterpret_cast<void*>(WriterDealloc)},
    {Py_tp_methods, g_writerMethods},
    {Py_tp_getset, g_writerGetSet},
    {Py_tp_doc, const_cast<char*>("Text stream posting to the engine's output.")},
    {0, nullptr},
};

PyType_Spec g_writerSpec = {"_vexaoutput.Writer", sizeof(Writer), 0, Py_TPFLAGS_DEFAULT,
                            g_writerSlots};

PyModuleDef g_module = {PyModuleDef_HEAD_INIT,
                        "_vexaoutput",
                        "Output streams of program blocks.",
                        -1,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr};

}  // namespace

PyObject* InitOutputModule() {
    PyObject* module = PyModule_Create(&g_module);
    if (!module) return nullptr;
    PyObject* type = PyType_FromSpec(&g_writerSpec);
    if (!type || PyModule_AddObject(module, "Writer", type) != 0) {
        Py_XDECREF(type);
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

PyObject* NewWriter() {
    PyObject* module = PyImport_ImportModule("_vexaoutput");
    if (!module) return nullptr;
    PyObject* type = PyObject_GetAttrString(module, "Writer");
    Py_DECREF(module);
    if (!type) return nullptr;
    PyObject* writer = PyObject_CallNoArgs(type);
    Py_DECREF(type);
    if (writer && !IsWriter(writer)) {
        Py_DECREF(writer);
        PyErr_SetString(PyExc_TypeError, "_vexaoutput.Writer was replaced");
        return nullptr;
    }
    return writer;
}

// Told apart by its deallocator, so a replaced module attribute can never
// make another object pass for a writer.
bool IsWriter(PyObject* object) { return object && Py_TYPE(object)->tp_dealloc == WriterDealloc; }

void FlushWriter(PyObject* writer) {
    if (!IsWriter(writer)) return;
    Writer* self = AsWriter(writer);
    if (self->pending->empty()) return;
    try {
        PostPending(self, self->pending->size());
    } catch (...) {
        PyErr_NoMemory();
    }
}

}  // namespace vexapython
