// The settings of one language section: every pair as read, and apart from
// them the pairs that are environment variables for the language, with
// references to earlier variables expanded. Filled once by the configuration
// reader, then only read; no lock. GetOption and the GetX* accessors insert an
// absent key, so a shared object must not be read that way from two threads
// at once (the hosts work on copies).
#pragma once

#include <cstddef>
#include <map>
#include <string>

class XConfigOptions {
  public:
    static const std::string KEY_LIB_NAME;
    static const std::string KEY_HOME;
    static const std::string KEY_ARGS;
    static const std::string KEY_X;
    static const std::string KEY_VEXADX_VERSION;
    static const std::string KEY_VEXADX_VERSION_MAJOR;
    static const std::string KEY_VEXADX_VERSION_MINOR;
    static const std::string KEY_VEXADX_VERSION_PATCH;
    static const std::string KEY_VEXADX_VERSION_BUGFIX;
    static const std::string KEY_TRACE;
    static const std::string KEY_INNER_PROCESS;
    static const std::string KEY_NESTABLE;
    static const std::string KEY_WORK_ON_32;

    // Expansion of one value stops after this many replacements, or before a
    // replacement would make it longer than kMaxExpandedLength bytes. Only a
    // reference cycle reaches either limit; the value then keeps its
    // remaining references unexpanded.
    static constexpr int kMaxReplacements = 256;
    static constexpr std::size_t kMaxExpandedLength = 64 * 1024;

    explicit XConfigOptions(const std::string& xname);
    XConfigOptions(const XConfigOptions&) = default;
    XConfigOptions& operator=(const XConfigOptions&) = default;
    virtual ~XConfigOptions() = default;

    const std::string& XName() const { return m_xname; }

    // An absent key is added with an empty value.
    std::string& GetOption(const std::string& key);
    // Read-only lookup: null when the key is absent.
    const std::string* FindOption(const std::string& key) const;
    // Keys that are not defined keys also become environment variables.
    void PutOption(const std::string& key, const std::string& value);
    const std::map<std::string, std::string>& GetXEnvVars() const { return m_envVars; }

    std::string& GetXHome() { return GetOption(KEY_HOME); }
    std::string& GetXLibName() { return GetOption(KEY_LIB_NAME); }
    std::string& GetXArgs() { return GetOption(KEY_ARGS); }

    // Flags are true only for the exact text "true".
    bool IsInnerProcess() const;
    bool IsNestable() const;
    bool WorkOn32() const;

    // Exact, case-sensitive.
    static bool IsDefinedKey(const std::string& key);

  private:
    bool FlagIsTrue(const std::string& key) const;
    bool FindUserEnv(const std::string& name, std::string& value) const;
    bool ExpandEnvVars(const std::string& input, std::string& output) const;

    std::map<std::string, std::string> m_options;
    std::map<std::string, std::string> m_envVars;
    std::string m_xname;
};
