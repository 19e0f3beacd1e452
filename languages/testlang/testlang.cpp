// The test language: a small deterministic language that shows how a
// language library is written, and serves the tests of the hosts.
//
// Program text is lines of commands, run in order; each command's result is
// posted as one output text (through the function handed to
// set_post_vexa_output, else through callback 13, else on standard output):
//   post <text>                   posts the text as it is
//   status <n>                    ends the program with status n
//   call GetVariableCount         calls the API, posts "GetVariableCount <count> <err>"
//   callback <index> [<text>]     calls that entry of the callback table and
//                                 posts "callback <index> <result>"
//   feed <text>                   feeds the text ("\n" stands for a line feed)
//                                 through callback 7 to the language's input
//                                 thread, which takes it through callback 6;
//                                 posts "took <line>|<line>|..."
//   submit <text>                 submits the text ("\n" a line feed, "\\" a
//                                 backslash) to the engine, posts "submit <status>"
//   pid                           posts "pid <this process's id>"
//   cmdline                       posts "cmdline [<this process's command line>]"
//   getenv <name>                 posts "<name>=<value>", or "<name> unset"
//   args                          posts the arguments of init_embedded_x
//   wait <ms>                     waits that long (a block caught mid-command);
//                                 an interrupt (interrupt_x) ends the wait and
//                                 the program, which posts "interrupted" and
//                                 ends with status 2
//   die-after <ms>                returns at once; a detached thread SIGKILLs
//                                 this process that long afterwards
// An unknown command ends the program with status 1.
//
// Every entry point called is appended to a record that a test reads with
// vexatestlang_calls(). VEXATESTLANG_PRE_ACTION, when set, is the status of
// pre_action.
// VEXATESTLANG_EXIT_ON_LOAD=<code>[,<file>] makes the process that loads the
// library exit with <code> from the library's constructor, before any entry
// point runs. With <file>, only the one process that manages to remove that
// file exits, so a later process of the same engine lives.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hosting/vexalanguage.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "vexaxd_p.h"

#define TESTLANG_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct LanguageState {
    std::mutex lock;
    std::vector<std::string> calls;
    std::vector<std::string> arguments;
    VexaDxCallbacks* callbacks = nullptr;
    VexaPostOutputFn output = nullptr;
    std::string callRecord;
    // Set by interrupt_x while a program runs; a wait ends on it.
    std::mutex interruptLock;
    std::condition_variable interruptWake;
    bool interrupted = false;
};

LanguageState& State() {
    static LanguageState* state = new LanguageState;
    return *state;
}

void Record(std::string call) {
    std::lock_guard<std::mutex> guard(State().lock);
    State().calls.push_back(std::move(call));
}

int Post(const std::string& text) {
    LanguageState& state = State();
    if (state.output) return state.output(text.data(), static_cast<int>(text.size()));
    if (state.callbacks)
        return state.callbacks->postOutput(text.data(), static_cast<int>(text.size()));
    std::printf("%s\n", text.c_str());
    return 0;
}

// The runtime's input thread: takes every line handed over through callback
// 6 for the life of the process, as an interpreter reading its input does.
class InputThread {
  public:
    static InputThread& Instance(VexaDxCallbacks* callbacks) {
        static InputThread* thread = new InputThread(callbacks);
        return *thread;
    }

    // Lines taken since the last call.
    std::vector<std::string> Drain() {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<std::string> lines;
        lines.swap(m_lines);
        return lines;
    }

  private:
    explicit InputThread(VexaDxCallbacks* callbacks) {
        std::thread([this, callbacks] {
            char buffer[256];
            for (;;) {
                const int result = callbacks->takeLine(buffer, sizeof buffer);
                std::lock_guard<std::mutex> guard(m_lock);
                m_lines.push_back(result == 0 ? buffer : "(too long)");
            }
        }).detach();
    }

    std::mutex m_lock;
    std::vector<std::string> m_lines;
};

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\')) {
            out.push_back(text[i + 1] == 'n' ? '\n' : '\\');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

std::string Feed(VexaDxCallbacks* callbacks, const std::string& text) {
    InputThread& input = InputThread::Instance(callbacks);
    callbacks->feedLine(Unescape(text).c_str());
    // Feeding returns once the input thread took every line and the end
    // marker, so the lines are all there.
    std::string taken = "took ";
    const std::vector<std::string> lines = input.Drain();
    for (std::size_t i = 0; i < lines.size(); ++i)
        taken.append(i ? "|" : "").append(Escape(lines[i]));
    return taken;
}

std::string CallEntry(VexaDxCallbacks* cb, int index, const std::string& text) {
    const int length = static_cast<int>(text.size());
    std::ostringstream result;
    result << "callback " << index << ' ';
    switch (index) {
        case 0:
            result << cb->appMode();
            break;
        case 1:
            result << cb->isUtf8Mode();
            break;
        case 2:
            result << cb->version();
            break;
        case 3:
            result << cb->tempDirectory();
            break;
        case 4:
            result << cb->nestingIndex();
            break;
        case 5:
            cb->trace(text.c_str());
            result << "done";
            break;
        case 8:
            result << cb->openConsole();
            break;
        case 9:
            result << cb->closeConsole();
            break;
        case 10:
            result << cb->writeConsole(text.c_str(), length);
            break;
        case 11: {
            char line[256] = {};
            const int status = cb->readConsole(line, sizeof line - 1);
            result << status << ' ' << line;
            break;
        }
        case 12:
            cb->recordBrowserOutput(text.c_str(), length, nullptr);
            result << "done";
            break;
        case 13:
            result << cb->postOutput(text.c_str(), length);
            break;
        case 14:
            cb->raiseSubmitDepth();
            result << "done";
            break;
        case 15:
            result << cb->lowerSubmitDepth();
            break;
        default:
            result << "unknown";
            break;  // 6 and 7 go through "feed"
    }
    return result.str();
}

// The status of a program whose wait was interrupted.
constexpr int kInterruptedStatus = 2;

// Runs one command; false ends the program with `status`.
bool RunCommand(const std::string& line, int& status) {
    const std::size_t blank = line.find(' ');
    const std::string command = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    VexaDxCallbacks* callbacks = State().callbacks;
    if (command.empty()) return true;
    if (command == "post") {
        Post(rest);
    } else if (command == "status") {
        status = std::atoi(rest.c_str());
        return false;
    } else if (command == "call" && rest == "GetVariableCount") {
        int err = 0;
        const int count = GetVariableCount(&err);
        std::ostringstream answer;
        answer << "GetVariableCount " << count << ' ' << err;
        Post(answer.str());
    } else if (command == "callback" && callbacks) {
        const std::size_t textStart = rest.find(' ');
        const std::string text = textStart == std::string::npos ? "" : rest.substr(textStart + 1);
        Post(CallEntry(callbacks, std::atoi(rest.c_str()), text));
    } else if (command == "feed" && callbacks) {
        Post(Feed(callbacks, rest));
    } else if (command == "submit") {
        const std::string text = Unescape(rest);
        std::ostringstream answer;
        answer << "submit " << Submit(text.data(), static_cast<int>(text.size()));
        Post(answer.str());
    } else if (command == "pid") {
        std::ostringstream answer;
        answer << "pid " << getpid();
        Post(answer.str());
    } else if (command == "cmdline") {
        Post("cmdline [" + platform::CurrentCommandLine() + "]");
    } else if (command == "getenv") {
        const char* value = std::getenv(rest.c_str());
        Post(value ? rest + "=" + value : rest + " unset");
    } else if (command == "wait") {
        LanguageState& state = State();
        std::unique_lock<std::mutex> guard(state.interruptLock);
        if (state.interruptWake.wait_for(guard, std::chrono::milliseconds(std::atoi(rest.c_str())),
                                         [&state] { return state.interrupted; })) {
            guard.unlock();
            Post("interrupted");
            status = kInterruptedStatus;
            return false;
        }
    } else if (command == "die-after") {
        const int milliseconds = std::atoi(rest.c_str());
        std::thread([milliseconds] {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            platform::KillCurrentProcess();
        }).detach();
    } else if (command == "args") {
        std::string text = "args";
        for (const std::string& argument : State().arguments) text += " " + argument;
        Post(text);
    } else {
        status = 1;
        return false;
    }
    return true;
}

// The input thread of the line feed lives as long as the process, and a test
// reads the record of calls after the host has unloaded the library: its code
// and its record stay mapped.
__attribute__((constructor)) void StayLoaded() {
    static const char kHere = 0;
    platform::KeepLibraryLoaded(&kHere);
}

__attribute__((constructor)) void ExitOnLoadWhenAsked() {
    const char* value = std::getenv("VEXATESTLANG_EXIT_ON_LOAD");
    if (!value || !*value) return;
    const std::string setting = value;
    const std::size_t comma = setting.find(',');
    if (comma != std::string::npos && std::remove(setting.substr(comma + 1).c_str()) != 0) return;
    _exit(std::atoi(setting.c_str()));
}

}  // namespace

TESTLANG_EXPORT int init_embedded_x(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc && argv; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
    std::ostringstream call;
    call << "init_embedded_x(" << argc;
    for (const std::string& argument : arguments) call << ' ' << argument;
    call << ')';
    Record(call.str());
    State().arguments = std::move(arguments);
    return 0;
}

TESTLANG_EXPORT int execute_x(const char* text) {
    Record(std::string("execute_x(") + (text ? text : "") + ")");
    {
        // An interrupt meant for an earlier program is not this one's.
        std::lock_guard<std::mutex> guard(State().interruptLock);
        State().interrupted = false;
    }
    std::istringstream lines(text ? text : "");
    std::string line;
    int status = 0;
    while (std::getline(lines, line)) {
        if (!RunCommand(line, status)) break;
    }
    return status;
}

TESTLANG_EXPORT int stop_embedded_x(void) {
    Record("stop_embedded_x");
    return 0;
}

TESTLANG_EXPORT int pre_action(void) {
    Record("pre_action");
    const char* status = std::getenv("VEXATESTLANG_PRE_ACTION");
    return status ? std::atoi(status) : 0;
}

#ifndef VEXATESTLANG_WITHOUT_POST_ACTION
TESTLANG_EXPORT int post_action(void) {
    Record("post_action");
    return 0;
}
#endif

#ifndef VEXATESTLANG_WITHOUT_OPTIONAL
TESTLANG_EXPORT void interrupt_x(void) {
    LanguageState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.interruptLock);
        state.interrupted = true;
    }
    state.interruptWake.notify_all();
}

TESTLANG_EXPORT void setup_dxcallback(VexaDxCallbacks* table) {
    Record("setup_dxcallback");
    State().callbacks = table;
}

TESTLANG_EXPORT void set_post_vexa_output(VexaPostOutputFn output) {
    Record("set_post_vexa_output");
    State().output = output;
}
#endif

// The entry points called so far, in order, separated by ";".
TESTLANG_EXPORT const char* vexatestlang_calls(void) {
    LanguageState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.callRecord.clear();
    for (std::size_t i = 0; i < state.calls.size(); ++i) {
        state.callRecord.append(i ? ";" : "").append(state.calls[i]);
    }
    return state.callRecord.c_str();
}
