// The session settings that commands change, the gathering of queued
// command parts into complete commands, and the SET (WIDTH, OLANG, UNICODE,
// LOCALE) and FILE HANDLE commands. One thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commandoutcome.h"
#include "outputlog.h"

namespace engine {

inline constexpr const char* kDefaultEngineLocale = "en_US.UTF-8";
// Present in every glibc, so the client's setlocale works on any machine.
inline constexpr const char* kDefaultCLocale = "C.UTF-8";

// The file handles FILE HANDLE commands define. Names compare without regard
// to case; defining a name again replaces that definition (spelling and path)
// where it stands.
class FileHandles {
  public:
    using Entry = std::pair<std::string, std::string>;  // name, path

    void Define(std::string name, std::string path);
    // Null when the name is not defined.
    const std::string* Find(const std::string& name) const;
    // In the order the names were first defined.
    const std::vector<Entry>& entries() const { return m_entries; }

  private:
    std::vector<Entry> m_entries;
};

// What the commands the engine carries out change.
struct OutputSettings {
    int width = 80;
    std::string language = "English";
    // Text travels as UTF-8 unless SET UNICODE=OFF; then it is ISO-8859-1.
    bool unicode = true;
    // Set by SET LOCALE; until then each locale has its default.
    std::optional<std::string> locale;
    FileHandles fileHandles;

    std::string EngineLocale() const { return locale.value_or(kDefaultEngineLocale); }
    // The name a client hands to setlocale.
    std::string CLocale() const { return locale.value_or(kDefaultCLocale); }
};

inline constexpr int kMinOutputWidth = 40;
inline constexpr int kMaxOutputWidth = 255;

class CommandAssembler {
  public:
    // The gathered text once its last command is complete: ended by a full
    // stop at the end of a line or by a blank line, outside a comment.
    // Parts are joined by a line end.
    std::optional<std::string> Add(std::string_view part);
    bool HasPending() const { return m_pending; }

  private:
    std::string m_gathered;
    bool m_pending = false;
};

// The SET and FILE HANDLE commands, given what follows their name. A SET
// that names a keyword the engine does not know or gives a value it does
// not take, and a FILE HANDLE without its name or path, change nothing.
CommandOutcome RunSet(std::string_view rest, OutputSettings& settings, OutputLog& log);
CommandOutcome RunFileHandle(std::string_view rest, OutputSettings& settings);

// Sets the output language and logs the change; kBadSetValue for "".
int ChangeLanguage(const std::string& language, OutputSettings& settings, OutputLog& log);

}  // namespace engine
