#include "startoptions.h"

#include <algorithm>

namespace api {
namespace {

// Takes "<option><value>," off the text: everything up to and including the
// first comma behind the option goes (all of it when there is none).
bool TakeCommaOption(std::string& text, const std::string& option, std::string& value) {
    std::size_t at = text.find(option);
    if (at == std::string::npos) return false;
    std::size_t start = at + option.size();
    std::size_t comma = text.find(',', start);
    value = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    text.erase(0, comma == std::string::npos ? std::string::npos : comma + 1);
    return true;
}

// Takes "-temppath", one separator, the value and one following character.
void TakeTempPathOption(std::string& text) {
    const std::string option = "-temppath";
    std::size_t at = text.find(option);
    if (at == std::string::npos) return;
    std::size_t start = std::min(text.size(), at + option.size() + 1);
    std::size_t end = text.find(' ', start);
    std::size_t valueLength = (end == std::string::npos ? text.size() : end) - start;
    text.erase(at, valueLength + option.size() + 2);
}

}  // namespace

StartOptions ParseStartArguments(const char* arguments) {
    StartOptions options;
    std::string text = arguments ? arguments : "";
    options.hasEngineHome = TakeCommaOption(text, "-vexahome=", options.engineHome);
    std::string language;
    TakeCommaOption(text, "-language=", language);
    TakeTempPathOption(text);
    if (text.empty() || text[0] != ' ') text = " " + text;
    options.remaining = std::move(text);
    return options;
}

}  // namespace api
