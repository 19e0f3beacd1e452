#include "datafilecommands.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "commandtext.h"
#include "datafile.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

// A run of letters, upper-cased; empty when none starts the text.
std::string TakeKeyword(std::string_view& text) {
    text = TrimStart(text);
    std::size_t end = 0;
    while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
    std::string word = Upper(text.substr(0, end));
    text.remove_prefix(end);
    return word;
}

// A quoted text or a bare value up to the next blank or '/'.
bool TakeValue(std::string_view& text, std::string& value) {
    text = TrimStart(text);
    value.clear();
    if (!text.empty() && (text.front() == '\'' || text.front() == '"')) {
        const char quote = text.front();
        for (std::size_t i = 1; i < text.size(); ++i) {
            if (text[i] != quote) {
                value += text[i];
            } else if (i + 1 < text.size() && text[i + 1] == quote) {
                value += quote;
                ++i;
            } else {
                text.remove_prefix(i + 1);
                return true;
            }
        }
        return false;
    }
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != '/') ++end;
    value = std::string(text.substr(0, end));
    text.remove_prefix(end);
    return !value.empty();
}

}  // namespace

DataFileParse ParseDataFileCommand(const std::string& command, DataFileCommand& out) {
    std::string_view text = Trim(command);
    if (text.empty() || text.back() != '.') return DataFileParse::kOtherCommand;
    text.remove_suffix(1);
    DataFileCommand parsed;
    const std::string first = TakeKeyword(text);
    if (first == "GET") {
        if (TakeKeyword(text) != "DATA") return DataFileParse::kOtherCommand;
    } else if (first == "SAVE") {
        parsed.kind = DataFileCommand::Kind::kSave;
    } else {
        return DataFileParse::kOtherCommand;
    }
    bool csv = false;
    bool malformed = false;
    bool hasFile = false;
    for (text = TrimStart(text); !text.empty(); text = TrimStart(text)) {
        if (text.front() != '/') {
            malformed = true;
            break;
        }
        text.remove_prefix(1);
        const std::string key = TakeKeyword(text);
        text = TrimStart(text);
        std::string value;
        if (text.empty() || text.front() != '=') {
            malformed = true;
            break;
        }
        text.remove_prefix(1);
        if (!TakeValue(text, value)) {
            malformed = true;
            break;
        }
        if (key == "TYPE") {
            csv = Upper(value) == "CSV";
        } else if (key == "FILE") {
            parsed.path = value;
            hasFile = true;
        } else {
            malformed = true;
        }
    }
    if (!csv) return DataFileParse::kOtherCommand;
    if (malformed || !hasFile || parsed.path.empty()) return DataFileParse::kRefused;
    out = std::move(parsed);
    return DataFileParse::kDone;
}

std::optional<CommandOutcome> RunDataFileCommand(const std::string& command,
                                                 TransferContext& state) {
    DataFileCommand parsed;
    const DataFileParse result = ParseDataFileCommand(command, parsed);
    if (result == DataFileParse::kOtherCommand) return std::nullopt;
    if (result == DataFileParse::kRefused)
        return CommandOutcome::Failed(kBadDataFileCommand,
                                      "GET DATA and SAVE with /TYPE=CSV need /FILE='<path>'");
    if (parsed.kind == DataFileCommand::Kind::kSave) {
        std::string error;
        if (!SaveDataFile(parsed.path, state.active, error))
            return CommandOutcome::Failed(kDataFileUnwritable, error);
        return CommandOutcome::Done();
    }
    if (state.output.IsOpen())
        return CommandOutcome::Failed(kActiveDatasetInUse, "a procedure reads the active dataset");
    Dataset read;
    CsvImportReport report;
    if (!LoadDataFile(parsed.path, read, report))
        return CommandOutcome::Failed(kDataFileUnreadable, report.error);
    for (const std::string& note : report.notes)
        state.log.Add(OutputLog::Kind::kOutput, "Note: " + note);
    read.SetName(state.active.name());
    state.active = std::move(read);
    return CommandOutcome::Done();
}

}  // namespace engine
