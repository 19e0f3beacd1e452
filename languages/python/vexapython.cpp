// The Python language: embeds CPython and runs each program block as module
// code in __main__, so the blocks of a process share one namespace, as in an
// interactive session. Output written while a block runs goes to the engine.
//
// Threads: the host calls the entry points from whichever thread runs a
// block. The interpreter's lock is free between calls and each entry point
// takes it, so a block that waits in a foreign call (ctypes lets go of the
// lock) while the engine runs a nested block of this language lets that
// nested execute_x run on another thread. Start and stop are serialised;
// the interpreter starts and ends on a thread of its own.
#include <Python.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hosting/vexalanguage.h"
#include "hostlink.h"
#include "outputwriter.h"

#define VEXAPYTHON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kFailed = 1;
constexpr const char* kStreamNames[] = {"stdout", "stderr"};

struct LanguageState {
    std::mutex lifecycle;  // guards ownsInterpreter and serialises start and stop
    std::atomic<bool> started{false};
    bool ownsInterpreter = false;
    vexalanguage::HostLink host;
};

// Never destroyed: a block's thread may still post after static destructors ran.
LanguageState& State() {
    static LanguageState* state = new LanguageState;
    return *state;
}

void Trace(const std::string& text) { State().host.trace(text); }

bool HasOutputRoute() { return State().host.hasOutputRoute(); }

class GilHold {
  public:
    GilHold() : m_state(PyGILState_Ensure()) {}
    ~GilHold() { PyGILState_Release(m_state); }
    GilHold(const GilHold&) = delete;
    GilHold& operator=(const GilHold&) = delete;

  private:
    PyGILState_STATE m_state;
};

std::string TextOf(PyObject* object) {
    PyObject* text = object ? PyObject_Str(object) : nullptr;
    const char* utf8 = text ? PyUnicode_AsUTF8(text) : nullptr;
    std::string result = utf8 ? utf8 : "<unprintable>";
    Py_XDECREF(text);
    PyErr_Clear();
    return result;
}

// Writers stand in for sys.stdout and sys.stderr for one block; the streams
// found before come back afterwards, so a nested block hands its enclosing
// block's writers back. Without an output route the streams stay as they are.
class BlockStreams {
  public:
    BlockStreams() {
        if (!HasOutputRoute()) return;
        for (int i = 0; i < 2; ++i) {
            PyObject* current = PySys_GetObject(kStreamNames[i]);  // borrowed
            // What an enclosing block wrote so far comes before this block's output.
            vexapython::FlushWriter(current);
            m_saved[i] = current;
            Py_XINCREF(current);
            m_writers[i] = vexapython::NewWriter();
            if (!m_writers[i] || PySys_SetObject(kStreamNames[i], m_writers[i]) != 0) {
                Py_CLEAR(m_writers[i]);
                PyErr_Clear();
            }
        }
    }

    ~BlockStreams() {
        PyObject* type = nullptr;
        PyObject* value = nullptr;
        PyObject* traceback = nullptr;
        PyErr_Fetch(&type, &value, &traceback);
        flush();
        for (int i = 0; i < 2; ++i) {
            if (m_writers[i]) {
                PySys_SetObject(kStreamNames[i], m_saved[i]);
                Py_DECREF(m_writers[i]);
            }
            Py_XDECREF(m_saved[i]);
        }
        PyErr_Restore(type, value, traceback);
    }

    BlockStreams(const BlockStreams&) = delete;
    BlockStreams& operator=(const BlockStreams&) = delete;

    void flush() {
        for (PyObject* writer : m_writers) vexapython::FlushWriter(writer);
        PyErr_Clear();
    }

    // A traceback or an exit text: after everything the block wrote before it.
    void postDiagnostic(std::string text) {
        flush();
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (HasOutputRoute()) {
            vexapython::PostOutput(text.data(), text.size());
        } else {
            PySys_FormatStderr("%s\n", text.c_str());
            PyErr_Clear();
        }
    }

  private:
    PyObject* m_saved[2] = {nullptr, nullptr};
    PyObject* m_writers[2] = {nullptr, nullptr};
};

std::string FormatException(PyObject* type, PyObject* value, PyObject* traceback) {
    std::string text;
    PyObject* module = PyImport_ImportModule("traceback");
    PyObject* lines =
        module ? PyObject_CallMethod(module, "format_exception", "OOO", type,
                                     value ? value : Py_None, traceback ? traceback : Py_None)
               : nullptr;
    PyObject* empty = lines ? PyUnicode_FromString("") : nullptr;
    PyObject* joined = empty ? PyUnicode_Join(empty, lines) : nullptr;
    const char* utf8 = joined ? PyUnicode_AsUTF8(joined) : nullptr;
    if (utf8) {
        text = utf8;
    } else {
        PyErr_Clear();
        text = std::string(reinterpret_cast<PyTypeObject*>(type)->tp_name) + ": " + TextOf(value);
    }
    Py_XDECREF(joined);
    Py_XDECREF(empty);
    Py_XDECREF(lines);
    Py_XDECREF(module);
    return text;
}

// SystemExit ends the block, never the process: its code is the status.
int ExitStatus(PyObject* value, BlockStreams& streams) {
    PyObject* code = value ? PyObject_GetAttrString(value, "code") : nullptr;
    PyErr_Clear();
    int status = 0;
    if (code && code != Py_None) {
        int overflow = 0;
        const long number = PyLong_Check(code) ? PyLong_AsLongAndOverflow(code, &overflow) : 0;
        if (!PyLong_Check(code)) {
            streams.postDiagnostic(TextOf(code));
            status = kFailed;
        } else if (overflow || number < INT_MIN || number > INT_MAX) {
            status = kFailed;
        } else {
            status = static_cast<int>(number);
        }
    }
    Py_XDECREF(code);
    PyErr_Clear();
    return status;
}

// Reports the exception that ended a block and returns the block's status.
int ReportFailure(BlockStreams& streams) {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (!type) return kFailed;
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value && traceback) PyException_SetTraceback(value, traceback);
    int status = kFailed;
    if (PyErr_GivenExceptionMatches(type, PyExc_SystemExit)) {
        status = ExitStatus(value, streams);
    } else {
        streams.postDiagnostic(FormatException(type, value, traceback));
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    PyErr_Clear();
    return status;
}

int RunBlock(const char* text) {
    PyObject* main = PyImport_AddModule("__main__");  // borrowed
    BlockStreams streams;
    if (!main) return ReportFailure(streams);
    PyObject* globals = PyModule_GetDict(main);  // borrowed
    PyObject* code = Py_CompileString(text, "<program block>", Py_file_input);
    PyObject* result = code ? PyEval_EvalCode(code, globals, globals) : nullptr;
    Py_XDECREF(code);
    if (!result) return ReportFailure(streams);
    Py_DECREF(result);
    return 0;
}

// Extension modules (math, _ctypes, ...) are built to find libpython's
// symbols in the global scope, but the hosts load this library, and so
// libpython, with local symbols.
void PromoteLibpython() {
    if (!dlopen(VEXAPYTHON_LIBPYTHON_SONAME, RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL)) {
        const char* error = dlerror();
        Trace(std::string("vexapython: cannot make libpython global: ") +
              (error ? error : VEXAPYTHON_LIBPYTHON_SONAME));
    }
}

bool CheckStatus(const PyStatus& status, const char* step) {
    if (!PyStatus_Exception(status)) return true;
    Trace(std::string("vexapython: ") + step + ": " + (status.err_msg ? status.err_msg : "failed"));
    return false;
}

bool InitializeInterpreter(const std::vector<std::string>& arguments) {
    PyPreConfig preconfig;
    PyPreConfig_InitPythonConfig(&preconfig);
    // The locale belongs to the host process; text is UTF-8 whatever it says.
    preconfig.configure_locale = 0;
    preconfig.utf8_mode = 1;
    preconfig.parse_argv = 0;
    if (!CheckStatus(Py_PreInitialize(&preconfig), "pre-initialisation")) return false;

    PyConfig config;
    PyConfig_InitPythonConfig(&config);
    // Signals, C stdio and the command line belong to the host process; the
    // arguments given become sys.argv as they are.
    config.parse_argv = 0;
    config.install_signal_handlers = 0;
    config.configure_c_stdio = 0;
    bool ok =
        CheckStatus(PyConfig_SetBytesString(&config, &config.program_name, VEXAPYTHON_PROGRAM_NAME),
                    "program name");
    if (ok && !arguments.empty()) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        ok = CheckStatus(
            PyConfig_SetBytesArgv(&config, static_cast<Py_ssize_t>(argv.size()), argv.data()),
            "arguments");
    }
    if (ok) ok = CheckStatus(Py_InitializeFromConfig(&config), "initialisation");
    PyConfig_Clear(&config);
    return ok;
}

// "_vexaoutput" goes straight into sys.modules: that works as well in an
// interpreter this library did not start, and again after a restart.
bool InstallOutputModule() {
    PyObject* module = vexapython::InitOutputModule();
    const bool ok =
        module && PyDict_SetItemString(PyImport_GetModuleDict(), "_vexaoutput", module) == 0;
    Py_XDECREF(module);
    if (!ok) {
        PyObject* type = nullptr;
        PyObject* value = nullptr;
        PyObject* traceback = nullptr;
        PyErr_Fetch(&type, &value, &traceback);
        Trace("vexapython: output stays on the process's streams: " + TextOf(value));
        Py_XDECREF(type);
        Py_XDECREF(value);
        Py_XDECREF(traceback);
    }
    return ok;
}

// The engine home's package directory comes first, as the language
// process's PYTHONPATH has it; a language loaded into another process has
// no such PYTHONPATH.
void AddEnginePackages() {
    const char* home = std::getenv("VEXA_HOME");
    if (!home || !*home) return;
    std::string directory = home;
    if (directory.back() != '/') directory += '/';
    directory += "Python/Lib/site-packages";
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) return;
    PyObject* path = PySys_GetObject("path");  // borrowed
    PyObject* entry = PyUnicode_DecodeFSDefault(directory.c_str());
    if (path && entry && PyList_Check(path) && PySequence_Contains(path, entry) == 0)
        PyList_Insert(path, 0, entry);
    Py_XDECREF(entry);
    PyErr_Clear();
}

void FlushStandardStreams() {
    for (const char* name : kStreamNames) {
        PyObject* stream = PySys_GetObject(name);  // borrowed
        if (!stream || stream == Py_None) continue;
        PyObject* result = PyObject_CallMethod(stream, "flush", nullptr);
        Py_XDECREF(result);
    }
    PyErr_Clear();
}

// The thread that starts the interpreter keeps its main thread state until
// the end and finalises it. The threads that call the entry points come and
// go (a language process runs each block on a thread of its own); had one of
// them started the interpreter, its state would outlive it, and Python's
// shutdown, run on another thread, would wait for that dead "main thread"
// for ever.
class InterpreterThread {
  public:
    // Starts the interpreter on the new thread; true once it runs there.
    bool Start(std::vector<std::string> arguments) {
        std::unique_lock<std::mutex> lock(m_lock);
        m_phase = Phase::kStarting;
        m_thread = std::thread(&InterpreterThread::Run, this, std::move(arguments));
        m_changed.wait(lock, [this] { return m_phase != Phase::kStarting; });
        if (m_phase == Phase::kRunning) return true;
        lock.unlock();
        m_thread.join();
        return false;
    }

    // Ends the interpreter and its thread; the finalisation's status.
    int Stop() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_phase = Phase::kStopping;
        }
        m_changed.notify_all();
        m_thread.join();
        return m_finalizeStatus;
    }

  private:
    enum class Phase { kStarting, kRunning, kFailed, kStopping };

    void Run(std::vector<std::string> arguments) {
        bool ok = InitializeInterpreter(arguments);
        PyThreadState* mainState = nullptr;
        if (ok) {
            InstallOutputModule();
            AddEnginePackages();
            // Imported here, "threading" takes this thread as the main one.
            PyObject* threading = PyImport_ImportModule("threading");
            Py_XDECREF(threading);
            PyErr_Clear();
            mainState = PyEval_SaveThread();
        } else if (Py_IsInitialized()) {
            Py_FinalizeEx();
        }
        std::unique_lock<std::mutex> lock(m_lock);
        m_phase = ok ? Phase::kRunning : Phase::kFailed;
        m_changed.notify_all();
        if (!ok) return;
        m_changed.wait(lock, [this] { return m_phase == Phase::kStopping; });
        lock.unlock();
        PyEval_RestoreThread(mainState);
        m_finalizeStatus = Py_FinalizeEx();
    }

    std::mutex m_lock;  // guards m_phase
    std::condition_variable m_changed;
    Phase m_phase = Phase::kStarting;
    std::thread m_thread;
    int m_finalizeStatus = 0;  // written by the thread before it ends
};

// Never destroyed, as the state: its thread may run until the process ends.
InterpreterThread& Interpreter() {
    static InterpreterThread* interpreter = new InterpreterThread;
    return *interpreter;
}

int StartLanguage(int argc, char** argv) {
    LanguageState& state = State();
    std::lock_guard<std::mutex> guard(state.lifecycle);
    if (state.started) return 0;
    if (Py_IsInitialized()) {
        // This process is itself a Python program: its blocks run in its
        // interpreter, which it alone ends.
        GilHold gil;
        InstallOutputModule();
        AddEnginePackages();
        state.ownsInterpreter = false;
        state.started = true;
        return 0;
    }
    std::vector<std::string> arguments;
    for (int i = 0; argv && i < argc; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
    PromoteLibpython();
    if (!Interpreter().Start(std::move(arguments))) return kFailed;
    state.ownsInterpreter = true;
    state.started = true;
    return 0;
}

int StopLanguage() {
    LanguageState& state = State();
    std::lock_guard<std::mutex> guard(state.lifecycle);
    if (!state.started) return 0;
    state.started = false;
    if (!state.ownsInterpreter) {
        GilHold gil;
        FlushStandardStreams();
        return 0;
    }
    return Interpreter().Stop();
}

}  // namespace

int vexapython::PostOutput(const char* text, std::size_t length) {
    int status = 0;
    State().host.post(text, length, status);
    return status;
}

VEXAPYTHON_EXPORT void setup_dxcallback(VexaDxCallbacks* table) {
    State().host.setCallbacks(table);
}

VEXAPYTHON_EXPORT void set_post_vexa_output(VexaPostOutputFn output) {
    State().host.setOutput(output);
}

VEXAPYTHON_EXPORT int init_embedded_x(int argc, char** argv) {
    return vexalanguage::Guarded([&] { return StartLanguage(argc, argv); });
}

namespace {

// The Python thread of the innermost block that runs, or 0: an interrupt is
// raised there.
std::atomic<unsigned long> g_blockThread{0};

class BlockThread {
  public:
    BlockThread() : m_outer(g_blockThread.exchange(PyThread_get_thread_ident())) {}
    ~BlockThread() { g_blockThread = m_outer; }
    BlockThread(const BlockThread&) = delete;
    BlockThread& operator=(const BlockThread&) = delete;

  private:
    unsigned long m_outer;
};

}  // namespace

VEXAPYTHON_EXPORT int execute_x(const char* text) {
    return vexalanguage::Guarded([&] {
        if (!text || !State().started) return kFailed;
        GilHold gil;
        BlockThread running;
        return RunBlock(text);
    });
}

// The block's thread gets KeyboardInterrupt at its next bytecode, as from a
// Ctrl-C; a block waiting in a foreign call gets it once the call returns.
VEXAPYTHON_EXPORT void interrupt_x(void) {
    try {
        const unsigned long thread = g_blockThread.load();
        if (!thread || !State().started) return;
        GilHold gil;
        PyThreadState_SetAsyncExc(thread, PyExc_KeyboardInterrupt);
    } catch (...) {
    }
}

VEXAPYTHON_EXPORT int stop_embedded_x(void) { return vexalanguage::Guarded(StopLanguage); }

// VEXAPYTHON_PRE_ACTION, when it holds an integer, is the answer: 1 makes
// the host skip the block.
VEXAPYTHON_EXPORT int pre_action(void) {
    const char* value = std::getenv("VEXAPYTHON_PRE_ACTION");
    if (!value || !*value) return 0;
    char* end = nullptr;
    errno = 0;
    const long status = std::strtol(value, &end, 10);
    if (*end || errno || status < INT_MIN || status > INT_MAX) return 0;
    return static_cast<int>(status);
}

VEXAPYTHON_EXPORT int post_action(void) {
    try {
        if (!State().started) return 0;
        GilHold gil;
        FlushStandardStreams();
    } catch (...) {
    }
    return 0;
}
