// The Python language: embeds CPython and runs each program block as module
// code in __main__, so the blocks of a process share one namespace, as in an
// interactive session. Output written while a block runs goes to the engine.
//
// Threads: the host calls the entry points from whichever thread runs a
// block. The interpreter starts and ends on a thread of its own, Python's
// main thread, and a block is handed to that thread whenever it is free:
// only there does an interrupt break a blocking call such as a sleep. A
// block that waits in a foreign call (ctypes lets go of the interpreter's
// lock) while the engine runs a nested block of this language keeps that
// thread, so the nested block runs on the caller's thread. Start and stop
// are serialised.
#include <Python.h>
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>

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

// For a set-up step whose failure the process outlives: the pending
// exception goes to the trace, prefixed by what is lost, and is cleared.
void TraceAndDropError(const std::string& lost) {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    Trace("vexapython: " + lost + ": " + TextOf(value));
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
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
        TraceAndDropError("output stays on the process's streams");
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

// The signal that breaks a blocking call of a block on the interpreter's
// main thread. Python sees it through a handler of its own, so the call's
// EINTR path runs that handler; the signals the host uses stay the host's.
int WakeSignal() { return SIGRTMIN + 5; }

// Where an interrupt goes: the innermost block that runs. On the
// interpreter's main thread that is the wake signal, whose handler raises
// KeyboardInterrupt when an interrupt is pending; elsewhere CPython raises
// an asynchronous KeyboardInterrupt at the thread's next bytecode.
class BlockInterrupts {
  public:
    struct Block {
        unsigned long pythonThread = 0;
        bool onMain = false;
    };

    // Called on the main thread once its handler is installed, and again
    // with `ready` false before the interpreter ends.
    void SetMainThread(bool ready) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_main = ::pthread_self();
        m_signalReady = ready;
    }

    // The block on the calling thread is the innermost; returns the one it encloses.
    Block Enter(bool onMain) {
        std::lock_guard<std::mutex> lock(m_lock);
        const Block outer = m_innermost;
        m_innermost = {PyThread_get_thread_ident(), onMain && m_signalReady};
        m_pending = false;
        return outer;
    }

    // A wake signal that arrives after this finds nothing pending.
    void Leave(const Block& outer) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_innermost = outer;
        m_pending = false;
    }

    void Interrupt() {
        unsigned long thread = 0;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (!m_innermost.pythonThread) return;
            if (m_innermost.onMain) {
                m_pending = true;
                ::pthread_kill(m_main, WakeSignal());
                return;
            }
            thread = m_innermost.pythonThread;
        }
        // Taken outside m_lock: a block leaving holds the interpreter's lock
        // while it waits for m_lock.
        GilHold gil;
        PyThreadState_SetAsyncExc(thread, PyExc_KeyboardInterrupt);
    }

    // The handler's question: is the signal an interrupt of the block in hand?
    bool TakePending() { return m_pending.exchange(false); }

  private:
    std::mutex m_lock;  // guards the fields but m_pending
    pthread_t m_main{};
    bool m_signalReady = false;
    Block m_innermost;
    std::atomic<bool> m_pending{false};
};

// Never destroyed, as the state.
BlockInterrupts& Interrupts() {
    static BlockInterrupts* interrupts = new BlockInterrupts;
    return *interrupts;
}

class BlockThread {
  public:
    explicit BlockThread(bool onMain) : m_outer(Interrupts().Enter(onMain)) {}
    ~BlockThread() { Interrupts().Leave(m_outer); }
    BlockThread(const BlockThread&) = delete;
    BlockThread& operator=(const BlockThread&) = delete;

  private:
    BlockInterrupts::Block m_outer;
};

PyObject* WakeHandler(PyObject*, PyObject*) {
    if (Interrupts().TakePending()) {
        PyErr_SetNone(PyExc_KeyboardInterrupt);
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyMethodDef g_wakeHandler = {"_vexa_block_interrupt", WakeHandler, METH_VARARGS, nullptr};

// `handler` null sets the wake signal aside: ignored, never the default
// action, which would end the process, and left so by Python's finalisation.
bool SetWakeHandler(bool install) {
    PyObject* module = PyImport_ImportModule("signal");
    PyObject* handler = nullptr;
    if (module)
        handler = install ? PyCFunction_New(&g_wakeHandler, nullptr)
                          : PyObject_GetAttrString(module, "SIG_IGN");
    PyObject* previous =
        handler ? PyObject_CallMethod(module, "signal", "iO", WakeSignal(), handler) : nullptr;
    const bool ok = previous != nullptr;
    if (!ok) {
        TraceAndDropError("a sleeping block cannot be interrupted");
    }
    Py_XDECREF(previous);
    Py_XDECREF(handler);
    Py_XDECREF(module);
    return ok;
}

int RunRegisteredBlock(const char* text, bool onMain) {
    BlockThread running(onMain);
    return RunBlock(text);
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

    // Runs a block on the interpreter's thread and gives its status; false,
    // with nothing run, while that thread is busy with an enclosing block.
    bool RunOnMain(const char* text, int& status) {
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_phase != Phase::kRunning || m_job) return false;
        m_job = text;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_job == nullptr; });
        status = m_jobStatus;
        return true;
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
            Interrupts().SetMainThread(SetWakeHandler(true));
            mainState = PyEval_SaveThread();
        } else if (Py_IsInitialized()) {
            Py_FinalizeEx();
        }
        std::unique_lock<std::mutex> lock(m_lock);
        m_phase = ok ? Phase::kRunning : Phase::kFailed;
        m_changed.notify_all();
        if (!ok) return;
        for (;;) {
            m_changed.wait(lock, [this] { return m_phase == Phase::kStopping || m_job; });
            if (!m_job) break;
            const char* text = m_job;
            lock.unlock();
            PyEval_RestoreThread(mainState);
            const int status =
                vexalanguage::Guarded([text] { return RunRegisteredBlock(text, true); });
            mainState = PyEval_SaveThread();
            lock.lock();
            m_jobStatus = status;
            m_job = nullptr;
            m_changed.notify_all();
        }
        lock.unlock();
        PyEval_RestoreThread(mainState);
        Interrupts().SetMainThread(false);
        SetWakeHandler(false);
        m_finalizeStatus = Py_FinalizeEx();
    }

    std::mutex m_lock;  // guards m_phase and the job
    std::condition_variable m_changed;
    Phase m_phase = Phase::kStarting;
    const char* m_job = nullptr;  // the block handed over, until it has run
    int m_jobStatus = 0;
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

VEXAPYTHON_EXPORT int execute_x(const char* text) {
    return vexalanguage::Guarded([&] {
        if (!text || !State().started) return kFailed;
        int status = 0;
        if (Interpreter().RunOnMain(text, status)) return status;
        GilHold gil;
        return RunRegisteredBlock(text, false);
    });
}

// The innermost block gets KeyboardInterrupt, as from a Ctrl-C: on the
// interpreter's main thread also out of a sleep or another blocking call
// Python makes interruptible; elsewhere at its next bytecode, after a
// foreign call has returned.
VEXAPYTHON_EXPORT void interrupt_x(void) {
    try {
        if (State().started) Interrupts().Interrupt();
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
