// The options StartVexa takes off the front of its argument text.
#pragma once

#include <string>

namespace api {

struct StartOptions {
    bool hasEngineHome = false;
    std::string engineHome;
    // What is passed on to the engine, always beginning with a blank.
    std::string remaining;
};

// "-vexahome=<dir>," then "-language=<name>," then "-temppath <dir> ".
StartOptions ParseStartArguments(const char* arguments);

}  // namespace api
