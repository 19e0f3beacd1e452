#include "platform/process.h"

namespace platform {
namespace {

std::string Quoted(const std::string& argument) {
    const bool quote = argument.empty() || (argument.front() != '"' && argument.front() != '\'' &&
                                            argument.find(' ') != std::string::npos);
    if (!quote) return argument;
    std::string quoted = "\"" + argument;
    if (!argument.empty() && argument.back() == '\\') quoted += '\\';
    return quoted + "\"";
}

}  // namespace

std::string CommandLine(const std::vector<std::string>& argv) {
    std::string line;
    for (std::size_t i = 1; i < argv.size(); ++i) line += " " + Quoted(argv[i]);
    return line;
}

}  // namespace platform
