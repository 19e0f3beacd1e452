// What carrying out one submitted command came to: 0, or an engine code and
// the cause in words, which the engine puts into its output. Plain value.
#pragma once

#include <string>
#include <utility>

namespace engine {

struct CommandOutcome {
    int code = 0;
    std::string cause;

    static CommandOutcome Done() { return {}; }
    static CommandOutcome Failed(int code, std::string cause) { return {code, std::move(cause)}; }
    bool ok() const { return code == 0; }
};

}  // namespace engine
