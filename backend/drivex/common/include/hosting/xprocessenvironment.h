// The environment and the argument vectors with which the out-of-process host
// starts a language process: the launcher for ordinary languages, the Java
// runtime for the Java extension. Everything but CurrentLaunchInputs and
// XModeArgument is a pure function of its arguments, so the lists can be
// checked without touching the process state. A child gets its environment
// as a block of its own: the starting process's environment never changes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "runtime/xcmdargument.h"

class XConfigOptions;

namespace hosting {

// True and the value when the variable is set; false and the value unchanged
// otherwise.
using EnvironmentLookup = std::function<bool(const std::string& name, std::string& value)>;

// What a process start needs besides the language's options.
struct XLaunchInputs {
    std::string engineHome;  // without a trailing separator
    std::string tempDir;     // the pipe manager's temp directory
    std::string pidText;     // the pipe manager's process id text
    // From the Java extension message: a ";"-separated list of directories.
    std::string extensionPath;
    std::string commandName;
    bool packageMode = false;
    // The environment of the process that starts the child.
    EnvironmentLookup lookupEnv = platform::GetEnvironment;
};

// Engine home, temp directory and process id text from the process state
// (the last two empty without a pipe manager), with the given Java extension
// fields and the real environment.
XLaunchInputs CurrentLaunchInputs(std::string extensionPath = {}, std::string commandName = {},
                                  bool packageMode = false);

// The environment list of a language process: "NAME=VALUE" entries, the
// options' own variables first, then the defaults of the language. A name may
// occur twice; the later entry is the one that counts.
XCmdArgument pushEnv(const XConfigOptions& options, const XLaunchInputs& inputs);

// A child's environment block: `current` ("NAME=VALUE" entries) with every
// entry of the list set over it in list order, each split at its first "=";
// an entry without "=" or without a name is skipped. A name already in
// `current` keeps its place; new names follow in list order.
std::vector<std::string> ChildEnvironment(const XCmdArgument& entries,
                                          const std::vector<std::string>& current);

// "LOCAL" for application mode 1, "REMOTE" for 0, otherwise the file name of
// the running executable.
std::string XModeArgument(int appMode);

// argv of the launcher ("startx", or "startx32" for WorkOn32) under the
// engine home; argv[0] is the program path.
std::vector<std::string> XLauncherArgv(const XConfigOptions& options, const XLaunchInputs& inputs,
                                       int appMode);

// argv of the Java runtime under the engine home, for the extension whose
// listening socket has `port`.
std::vector<std::string> JavaExtensionArgv(const XLaunchInputs& inputs, int appMode, int port);

}  // namespace hosting
