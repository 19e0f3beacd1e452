// Everything a request can read or change in the engine.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "bulktransport.h"
#include "casecursor.h"
#include "commandrunner.h"
#include "dataset.h"
#include "datasetstore.h"
#include "outputdocument.h"
#include "outputlog.h"
// XPath documents and engine settings: add their includes below.
#include "xpathstore.h"

namespace engine {

class LanguageBlocks;
class OutputFiles;

struct EngineState {
    // Held by whichever thread runs a request: the client's, or the thread
    // that serves a program block's calls. A block lets go of it while the
    // language runs, so that the block's own calls can be served.
    // Timed, so that an engine whose client has gone can save its output
    // without waiting for ever on a request in hand.
    std::timed_mutex lock;
    // Runs program blocks; null where the engine hosts no languages.
    LanguageBlocks* languages = nullptr;
    Dataset active;
    // Passed through for the client: SetXDriveMode and SetMode store them,
    // GetXDriveMode hands them back in that order.
    int xDriveMode = 0;
    int mode = 0;
    // The nesting depth of the caller whose request runs: 0 for the program
    // that started the engine, 1 for a program block it submitted, 2 for a
    // block submitted by that block, and so on. Set by the serving thread
    // for each request.
    int callerDepth = 0;
    // Set by the stop command: the loop ends once its reply is out.
    bool stopRequested = false;
    OutputSettings settings;
    CommandAssembler pendingCommand;
    OutputLog log;
    // Procedures with their pivot tables and text blocks, in order. The
    // procedure's dataset is the active one; the procedure-dataset questions
    // are answered only while a procedure is open.
    OutputDocument output;
    // Where the documents are kept on disk; null when nowhere.
    OutputFiles* outputFiles = nullptr;
    // XPath documents and engine settings: add their members below.
    // Documents under their handles: dictionaries and finished procedures.
    XPathStore documents;
    // The host application's identity, replaced by its Set commands.
    std::string hostName = "StartXD";
    std::string hostVersion = "1.0";
    std::string hostCopyright = "StartXD reference engine, free to use with the vexaxd_p library";
    // 0 local or 1 server (SetPlexorServerMode); only handed back.
    int serverMode = 0;
    // The walk over the procedure's dataset, the case cursor made on it and
    // the changes its writes gather.
    CaseCursor cases;
    // The named datasets besides the active one and the data step.
    DatasetStore datasets;
    // Where temp files go: the directory the engine was started with.
    std::string tempDirectory = "/tmp";
    // A GET DATA from a socket waits here for the EXECUTE that runs it.
    std::optional<PendingTransfer> pendingTransfer;
};

// The case walk of the open procedure (a procedure's number is the count of
// those before it); a walk left by an earlier procedure starts over. For
// use while a procedure is open.
inline CaseCursor& ProcedureCases(EngineState& state) {
    state.cases.Follow(state.output.procedures().size());
    return state.cases;
}

}  // namespace engine
