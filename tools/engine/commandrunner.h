// What the engine does with command text: gathers queued command parts into
// complete commands, logs every complete command, and carries out the SET
// commands it knows (WIDTH, OLANG, UNICODE); any other command succeeds
// without effect. One thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "outputlog.h"

namespace engine {

struct OutputSettings {
    int width = 80;
    std::string language = "English";
    // Text travels as UTF-8 unless SET UNICODE=OFF.
    bool unicode = true;
};

inline constexpr int kMinOutputWidth = 40;
inline constexpr int kMaxOutputWidth = 255;

class CommandAssembler {
public:
    // The complete command once the gathered parts, trimmed of trailing
    // blanks and line ends, end with '.'; parts are joined by a line end.
    std::optional<std::string> Add(std::string_view part);
    bool HasPending() const { return m_pending; }

private:
    std::string m_gathered;
    bool m_pending = false;
};

// Logs `command` and carries it out: 0, or the engine code of a SET command
// with a value it does not take (nothing of that command applied then).
int RunCommand(const std::string& command, OutputSettings& settings, OutputLog& log);

// Sets the output language and logs the change; kBadSetValue for "".
int ChangeLanguage(const std::string& language, OutputSettings& settings, OutputLog& log);

}  // namespace engine
