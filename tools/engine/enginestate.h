// Everything a request can read or change in the engine.
#pragma once

#include <string>

#include "commandrunner.h"
#include "dataset.h"
#include "outputlog.h"

namespace engine {

struct ProcedureState {
    bool open = false;
    std::string name;
};

struct EngineState {
    Dataset active;
    // Passed through for the client: SetXDriveMode and SetMode store them,
    // GetXDriveMode hands them back in that order.
    int xDriveMode = 0;
    int mode = 0;
    // Programs started by the engine run one level deeper; the client that
    // drives the engine is always at level 0.
    int nestDepth = 0;
    // Set by the stop command: the loop ends once its reply is out.
    bool stopRequested = false;
    // The procedure's dataset is the active one; the procedure commands ask
    // about it only while a procedure is open.
    ProcedureState procedure;
    OutputSettings settings;
    CommandAssembler pendingCommand;
    OutputLog log;
};

}  // namespace engine
