#include "outputlog.h"

namespace engine {
namespace {

const char* PrefixOf(OutputLog::Kind kind) {
    switch (kind) {
        case OutputLog::Kind::kCommand:
            return "command: ";
        case OutputLog::Kind::kOutput:
            return "output: ";
        case OutputLog::Kind::kGraphic:
            return "graphic: ";
        case OutputLog::Kind::kLabels:
            return "labels: ";
        case OutputLog::Kind::kLanguage:
            return "language: ";
        case OutputLog::Kind::kError:
            return "error: ";
    }
    return "";
}

void AppendEscaped(std::string_view text, std::string& line) {
    for (char c : text) {
        switch (c) {
            case '\n':
                line += "\\n";
                break;
            case '\r':
                line += "\\r";
                break;
            case '\t':
                line += "\\t";
                break;
            case '\0':
                line += "\\0";
                break;
            case '\\':
                line += "\\\\";
                break;
            default:
                line += c;
        }
    }
}

}  // namespace

bool OutputLog::AppendTo(const std::string& path) {
    m_file.open(path, std::ios::out | std::ios::app | std::ios::binary);
    return m_file.is_open();
}

void OutputLog::Add(Kind kind, std::string text, std::string second) {
    m_entries.push_back({kind, std::move(text), std::move(second)});
    if (m_file.is_open()) m_file << LineOf(m_entries.back()) << '\n' << std::flush;
}

std::string OutputLog::LineOf(const Entry& entry) {
    std::string line = PrefixOf(entry.kind);
    AppendEscaped(entry.text, line);
    if (entry.kind == Kind::kLabels) {
        line += '\t';
        AppendEscaped(entry.second, line);
    }
    return line;
}

}  // namespace engine
