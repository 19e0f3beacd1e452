// The R language: embeds R and runs each program block in its global
// environment, so the blocks of a process share their objects, as in one
// session. What a block prints, and its warnings and errors, go to the
// engine's output as whole lines.
//
// Threads: R has a single interpreter state and no lock of its own. The host
// runs one block of a language at a time, and a nested block runs (on
// another thread) only while the enclosing block waits inside an API call
// for the engine, which waits for the nested block. So exactly one thread is
// in R at any time; R's stack check is switched off because those threads
// differ.
#define R_NO_REMAP 1
#define R_INTERFACE_PTRS 1
#define CSTACK_DEFNS 1
#include <R.h>
#include <Rembedded.h>
#include <Rinterface.h>
#include <Rinternals.h>
// Needs SEXP from Rinternals.h.
#include <R_ext/Parse.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "hosting/vexalanguage.h"
#include "hostlink.h"

#define VEXAR_EXPORT extern "C" __attribute__((visibility("default")))

// R's own flag of a pending user interrupt, which its evaluator looks at
// regularly (declared among R's graphics device headers).
extern "C" int R_interrupts_pending;

namespace {

constexpr int kFailed = 1;
constexpr const char* kProgramName = "R";

// The block runner, in R: parse errors, errors and warnings are reported as
// lines of their own, the value of a visible top-level expression is printed
// as R's console prints it, and the first error ends the block.
constexpr const char* kRunnerSource = R"R(
function(text) {
    report <- function(kind, condition) {
        call <- conditionCall(condition)
        # A condition raised by the block's own top level names the runner's eval.
        if (identical(call, quote(eval(expression, envir = globalenv())))) call <- NULL
        where <- if (is.null(call)) "" else paste0(" in ", deparse(call, nlines = 1L))
        cat(kind, where, ": ", conditionMessage(condition), "\n", sep = "", file = stderr())
    }
    expressions <- tryCatch(parse(text = text, keep.source = FALSE),
                            error = function(e) { report("Error", e); NULL })
    if (is.null(expressions)) return(1L)
    for (expression in expressions) {
        ok <- tryCatch(withCallingHandlers({
            result <- withVisible(eval(expression, envir = globalenv()))
            if (result$visible) print(result$value)
            TRUE
        }, warning = function(w) {
            report("Warning", w)
            invokeRestart("muffleWarning")
        }), error = function(e) { report("Error", e); FALSE })
        if (!isTRUE(ok)) return(1L)
    }
    0L
}
)R";

// Adds the engine home's package library, and VEXA_RPACKAGES_PATH's
// directories, before R's own, so that library(vexa) finds the engine's
// package in a language process.
constexpr const char* kLibraryPathsSource = R"R(
local({
    home <- Sys.getenv("VEXA_HOME")
    extra <- strsplit(Sys.getenv("VEXA_RPACKAGES_PATH"), ":", fixed = TRUE)[[1]]
    wanted <- c(if (nzchar(home)) file.path(home, "R", "library"), extra)
    wanted <- wanted[nzchar(wanted) & dir.exists(wanted)]
    if (length(wanted)) .libPaths(c(wanted, .libPaths()))
})
)R";

struct LanguageState {
    std::mutex lifecycle;  // serialises start and stop
    std::atomic<bool> started{false};
    bool ended = false;     // R cannot start twice in one process
    SEXP runner = nullptr;  // preserved while R runs
    vexalanguage::HostLink host;
    std::mutex pendingLock;
    std::string pending;  // console text after the last line feed
};

// Never destroyed: a late console write may still come during exit.
LanguageState& State() {
    static LanguageState* state = new LanguageState;
    return *state;
}

void Trace(const std::string& text) { State().host.trace(text); }

// One text to the engine's output; the process's own stream without a route.
void Post(const std::string& text) {
    int status = 0;
    if (State().host.post(text.data(), text.size(), status)) return;
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Posts the complete lines held; with `everything`, the unfinished one too.
void FlushConsole(bool everything) {
    LanguageState& state = State();
    std::string lines;
    {
        std::lock_guard<std::mutex> guard(state.pendingLock);
        // Without a line feed rfind gives npos, and npos + 1 is 0.
        const std::size_t end = everything ? state.pending.size() : state.pending.rfind('\n') + 1;
        if (end == 0) return;
        lines = state.pending.substr(0, end);
        state.pending.erase(0, end);
    }
    if (!lines.empty() && lines.back() == '\n') lines.pop_back();
    Post(lines);
}

void WriteConsole(const char* text, int length, int /*kind*/) {
    if (!text || length <= 0) return;
    {
        std::lock_guard<std::mutex> guard(State().pendingLock);
        State().pending.append(text, static_cast<std::size_t>(length));
    }
    FlushConsole(false);
}

// A block cannot read from the console: reading ends at once.
int ReadConsole(const char* /*prompt*/, unsigned char* buffer, int size, int /*history*/) {
    if (buffer && size > 0) buffer[0] = '\0';
    return 0;
}

// Parses and evaluates R source text; null when it failed.
SEXP EvaluateSource(const char* source) {
    ParseStatus parsed = PARSE_NULL;
    SEXP text = PROTECT(Rf_mkString(source));
    SEXP expressions = PROTECT(R_ParseVector(text, -1, &parsed, R_NilValue));
    SEXP value = nullptr;
    if (parsed == PARSE_OK) {
        for (R_xlen_t i = 0; i < Rf_xlength(expressions); ++i) {
            int error = 0;
            value = R_tryEval(VECTOR_ELT(expressions, i), R_GlobalEnv, &error);
            if (error) {
                value = nullptr;
                break;
            }
        }
    }
    UNPROTECT(2);
    return value;
}

bool StartR(const std::vector<std::string>& arguments) {
    // R finds its own files through R_HOME; the language process's
    // environment has it from the language's section.
    if (!std::getenv("R_HOME")) setenv("R_HOME", VEXAR_DEFAULT_R_HOME, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(kProgramName));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    // Signals belong to the host process.
    R_SignalHandlers = 0;
    if (Rf_initialize_R(static_cast<int>(argv.size()), argv.data()) != 0) return false;
    R_Interactive = FALSE;
    R_CStackLimit = static_cast<uintptr_t>(-1);
    R_Outputfile = nullptr;
    R_Consolefile = nullptr;
    ptr_R_WriteConsole = nullptr;
    ptr_R_WriteConsoleEx = &WriteConsole;
    ptr_R_ReadConsole = &ReadConsole;
    setup_Rmainloop();
    EvaluateSource(kLibraryPathsSource);
    SEXP runner = EvaluateSource(kRunnerSource);
    if (!runner || !Rf_isFunction(runner)) {
        Trace("vexar: the block runner did not evaluate");
        Rf_endEmbeddedR(0);
        return false;
    }
    R_PreserveObject(runner);
    State().runner = runner;
    return true;
}

int StartLanguage(int argc, char** argv) {
    LanguageState& state = State();
    std::lock_guard<std::mutex> guard(state.lifecycle);
    if (state.started) return 0;
    if (state.ended) {
        Trace("vexar: R ended in this process and cannot start again");
        return kFailed;
    }
    std::vector<std::string> arguments;
    for (int i = 0; argv && i < argc; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
    if (!StartR(arguments)) {
        state.ended = true;
        return kFailed;
    }
    state.started = true;
    return 0;
}

int StopLanguage() {
    LanguageState& state = State();
    std::lock_guard<std::mutex> guard(state.lifecycle);
    if (!state.started) return 0;
    FlushConsole(true);
    R_ReleaseObject(state.runner);
    state.runner = nullptr;
    Rf_endEmbeddedR(0);
    state.started = false;
    state.ended = true;
    return 0;
}

int RunBlock(const char* text) {
    // What an enclosing block printed so far comes before this block's output.
    FlushConsole(true);
    SEXP call = PROTECT(Rf_lang2(State().runner, Rf_mkString(text)));
    int error = 0;
    SEXP result = R_tryEval(call, R_GlobalEnv, &error);
    const int status =
        !error && Rf_isInteger(result) && Rf_length(result) == 1 ? INTEGER(result)[0] : kFailed;
    UNPROTECT(1);
    FlushConsole(true);
    return status;
}

}  // namespace

VEXAR_EXPORT void setup_dxcallback(VexaDxCallbacks* table) { State().host.setCallbacks(table); }

VEXAR_EXPORT void set_post_vexa_output(VexaPostOutputFn output) { State().host.setOutput(output); }

VEXAR_EXPORT int init_embedded_x(int argc, char** argv) {
    return vexalanguage::Guarded([&] { return StartLanguage(argc, argv); });
}

namespace {

// Set while a block runs: an interrupt between blocks would hit the next one.
std::atomic<bool> g_blockRuns{false};

}  // namespace

VEXAR_EXPORT int execute_x(const char* text) {
    return vexalanguage::Guarded([&] {
        if (!text || !State().started) return kFailed;
        const bool outer = g_blockRuns.exchange(true);
        const int status = RunBlock(text);
        g_blockRuns = outer;
        return status;
    });
}

// As a Ctrl-C in an R session: the evaluator raises its interrupt at its next
// check, and the block ends with it.
VEXAR_EXPORT void interrupt_x(void) {
    if (g_blockRuns.load()) R_interrupts_pending = 1;
}

VEXAR_EXPORT int stop_embedded_x(void) { return vexalanguage::Guarded(StopLanguage); }

VEXAR_EXPORT int pre_action(void) { return 0; }

VEXAR_EXPORT int post_action(void) {
    FlushConsole(true);
    return 0;
}
