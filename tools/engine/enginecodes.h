// Error codes of the reference engine's own, carried in a reply's error code.
// They sit apart from the library's codes (the 99100 range) and from errno.
#pragma once

namespace engine {

enum EngineCode : int {
    // The request's command action is not one this engine answers.
    kUnknownCommand = 9001,
    // The engine's data file could not be read; sent in the ready message.
    kDataFileUnreadable = 9002,
};

}  // namespace engine
