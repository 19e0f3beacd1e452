// Error codes of the reference engine's own, carried in a reply's error code.
// They sit apart from the library's codes (the 99100 range) and from errno.
#pragma once

namespace engine {

enum EngineCode : int {
    // The request's command action is not one this engine answers.
    kUnknownCommand = 9001,
    // The engine's data file or its dictionary file could not be read; sent
    // in the ready message.
    kDataFileUnreadable = 9002,
    // No variable at the requested position, or no multiple response set of
    // the requested name.
    kNoSuchItem = 9003,
    // A procedure-dataset question, or EndProcedure, while no procedure is open.
    kNoProcedureOpen = 9004,
    // StartProcedure while a procedure is open.
    kProcedureAlreadyOpen = 9005,
    // A SET command with a value it does not take (a width outside 40..255,
    // UNICODE other than ON or OFF, an empty language).
    kBadSetValue = 9006,
    // The output log named by -outputlog= cannot be opened; sent in the ready
    // message.
    kOutputLogUnwritable = 9007,
};

}  // namespace engine
