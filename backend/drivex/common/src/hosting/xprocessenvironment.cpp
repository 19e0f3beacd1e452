#include "hosting/xprocessenvironment.h"

#include <initializer_list>
#include <map>
#include <utility>

#include "hosting/dxstartup.h"
#include "runtime/dxglobal.h"
#include "runtime/stringutil.h"
#include "runtime/xconfigoptions.h"
#include "transport/xpipemanager.h"

namespace hosting {

namespace {

constexpr const char* kDefaultCprlmxHost = "127.0.0.1";
constexpr const char* kDefaultPort = "0";

constexpr const char* kListSeparator = ":";
constexpr const char* kExtensionPathSeparator = ";";
constexpr const char* kJavaMainClass = "com.kor.statistics.plugin.Extension";

// Empty pieces are left out: an empty entry of PATH, PYTHONPATH or CLASSPATH
// means the current directory, which a child must never search by accident.
std::string JoinList(std::initializer_list<std::string> pieces) {
    std::string joined;
    for (const std::string& piece : pieces) {
        if (piece.empty()) continue;
        if (!joined.empty()) joined += kListSeparator;
        joined += piece;
    }
    return joined;
}

std::string LookupOrEmpty(const XLaunchInputs& inputs, const std::string& name) {
    std::string value;
    if (inputs.lookupEnv) inputs.lookupEnv(name, value);
    return value;
}

// The option HOME without one trailing separator; a lone root stays, as for
// the engine home.
std::string LanguageHome(const XConfigOptions& options) {
    const std::string* home = options.FindOption(XConfigOptions::KEY_HOME);
    if (!home) return {};
    std::string result = *home;
    if (result.size() > 1 && (result.back() == '/' || result.back() == '\\')) result.pop_back();
    return result;
}

// The extension jars as one ":"-separated list. In package mode each
// directory holds the command's jar.
std::string ExtensionJars(const XLaunchInputs& inputs) {
    std::string joined;
    for (std::string piece :
         textutil::GetListFromDelims(inputs.extensionPath, kExtensionPathSeparator)) {
        if (piece.empty()) continue;
        if (inputs.packageMode) {
            DecoratePathEnd(piece);
            piece += inputs.commandName + ".jar";
        }
        joined = JoinList({joined, piece});
    }
    return joined;
}

class EnvironmentList {
  public:
    EnvironmentList(const XConfigOptions& options, const XLaunchInputs& inputs)
        : m_options(options), m_inputs(inputs) {}

    bool Defines(const std::string& name) const { return m_options.GetXEnvVars().count(name) != 0; }

    std::string Current(const std::string& name) const { return LookupOrEmpty(m_inputs, name); }
    bool CurrentIfSet(const std::string& name, std::string& value) const {
        return m_inputs.lookupEnv && m_inputs.lookupEnv(name, value);
    }

    void Push(const std::string& name, const std::string& value) {
        m_list.pushArgument(name + "=" + value, true);
    }
    void PushUnlessDefined(const std::string& name, const std::string& value) {
        if (!Defines(name)) Push(name, value);
    }

    XCmdArgument Take() { return std::move(m_list); }

  private:
    const XConfigOptions& m_options;
    const XLaunchInputs& m_inputs;
    XCmdArgument m_list;
};

void PushRRows(EnvironmentList& env, const std::string& home) {
    env.Push("R_HOME", home);
    env.PushUnlessDefined("PATH", JoinList({home + "/bin", env.Current("PATH")}));
    env.PushUnlessDefined("VEXA_RPACKAGES_PATH", env.Current("VEXA_RPACKAGES_PATH"));
    env.PushUnlessDefined("DISPLAY", env.Current("DISPLAY"));
}

void PushPythonRows(EnvironmentList& env, const XConfigOptions& options,
                    const XLaunchInputs& inputs, const std::string& home) {
    env.PushUnlessDefined("PYTHONHOME", home);

    // The options' own value replaces the inherited one, even when empty.
    const auto& own = options.GetXEnvVars();
    auto ownPath = own.find("PYTHONPATH");
    std::string tail = ownPath != own.end() ? ownPath->second : env.Current("PYTHONPATH");
    env.Push("PYTHONPATH", JoinList({inputs.engineHome + "/Python/Lib/site-packages", tail}));

    env.PushUnlessDefined("PATH", JoinList({home, env.Current("PATH")}));
    env.PushUnlessDefined("BACKEND_PYTHON_SCRIPT", "True");

    if (!(env.Defines("CPRLMX_HOST") && env.Defines("CPRLMX_PORT"))) {
        std::string host, port;
        const bool inherited =
            env.CurrentIfSet("CPRLMX_HOST", host) && env.CurrentIfSet("CPRLMX_PORT", port);
        env.Push("CPRLMX_HOST", inherited ? host : std::string(kDefaultCprlmxHost));
        env.Push("CPRLMX_PORT", inherited ? port : std::string(kDefaultPort));
    }

    std::string clientPort;
    const bool clientPortSet = env.CurrentIfSet("JAVA_CLIENT_PORT", clientPort);
    env.PushUnlessDefined("JAVA_CLIENT_PORT",
                          clientPortSet ? clientPort : std::string(kDefaultPort));
}

void PushJavaExtensionRows(EnvironmentList& env, const XLaunchInputs& inputs) {
    env.Push("CLASSPATH", JoinList({inputs.engineHome + "/vexajavaplugin.jar",
                                    ExtensionJars(inputs), env.Current("CLASSPATH")}));
}

}  // namespace

XLaunchInputs CurrentLaunchInputs(std::string extensionPath, std::string commandName,
                                  bool packageMode) {
    XLaunchInputs inputs;
    inputs.engineHome = GetVEXAHOME();
    if (XPipeManager* manager = GetXPipeManager()) {
        inputs.tempDir = manager->getPipePath();
        inputs.pidText = manager->getPipePid();
    }
    inputs.extensionPath = std::move(extensionPath);
    inputs.commandName = std::move(commandName);
    inputs.packageMode = packageMode;
    return inputs;
}

XCmdArgument pushEnv(const XConfigOptions& options, const XLaunchInputs& inputs) {
    EnvironmentList env(options, inputs);
    for (const auto& [name, value] : options.GetXEnvVars()) env.Push(name, value);

    env.PushUnlessDefined("VEXA_HOME", inputs.engineHome);
    env.PushUnlessDefined("VEXADXTEMP", inputs.tempDir);
    env.PushUnlessDefined("VEXA_EXTENSIONS_PATH", env.Current("VEXA_EXTENSIONS_PATH"));

    const std::string& language = options.XName();
    if (language == "R") {
        PushRRows(env, LanguageHome(options));
    } else if (language == "PYTHON") {
        PushPythonRows(env, options, inputs, LanguageHome(options));
    } else if (language == "JAVAEXTENSION") {
        PushJavaExtensionRows(env, inputs);
    }
    return env.Take();
}

std::vector<std::string> ChildEnvironment(const XCmdArgument& entries,
                                          const std::vector<std::string>& current) {
    std::vector<std::string> block = current;
    std::map<std::string, std::size_t> places;
    for (std::size_t i = 0; i < block.size(); ++i)
        places.emplace(block[i].substr(0, block[i].find('=')), i);
    for (int i = 0; i < entries.argc(); ++i) {
        std::string entry = entries.argumentAt(i);
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        auto [place, added] = places.emplace(entry.substr(0, equals), block.size());
        if (added) {
            block.push_back(std::move(entry));
        } else {
            block[place->second] = std::move(entry);
        }
    }
    return block;
}

std::string XModeArgument(int appMode) {
    if (appMode == 1) return "LOCAL";
    if (appMode == 0) return "REMOTE";
    std::string path = platform::CurrentExecutablePath();
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> XLauncherArgv(const XConfigOptions& options, const XLaunchInputs& inputs,
                                       int appMode) {
    std::string program = inputs.engineHome;
    DecoratePathEnd(program);
    program += platform::ExecutableFileName(options.WorkOn32() ? "startx32" : "startx");

    // A Windows command line is one string, so there the temp directory and
    // the Python home are quoted to survive the split at blanks. Here every
    // argument is its own vector entry and reaches the launcher as it is;
    // quotes would become part of the directory names.
    std::vector<std::string> argv{std::move(program), XModeArgument(appMode), inputs.tempDir,
                                  inputs.pidText, options.XName()};
    if (options.XName() == "PYTHON") {
        const std::string* home = options.FindOption(XConfigOptions::KEY_HOME);
        argv.push_back(home ? *home : std::string());
    }
    return argv;
}

std::vector<std::string> JavaExtensionArgv(const XLaunchInputs& inputs, int appMode, int port) {
    std::string program = inputs.engineHome;
    DecoratePathEnd(program);
    program += "JRE/bin/java";
    return {std::move(program), kJavaMainClass, XModeArgument(appMode), std::to_string(port),
            inputs.commandName};
}

}  // namespace hosting
