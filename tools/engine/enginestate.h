// Everything a request can read or change in the engine, in four parts by
// what they serve. A handler is given the one part it works on, or a context
// of references into the parts it reads, never the whole state: only the
// serving loop and whatever runs submitted syntax hold all of it.
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
#include "xpathstore.h"

namespace engine {

class LanguageBlocks;
class OutputFiles;

// The datasets and the cursors over them.
struct DataState {
    Dataset active;
    // The walk over the procedure's dataset, the case cursor made on it and
    // the changes its writes gather.
    CaseCursor cases;
    // The named datasets besides the active one and the data step.
    DatasetStore datasets;
    // A GET DATA from a socket waits here for the EXECUTE that runs it.
    std::optional<PendingTransfer> pendingTransfer;
};

// The output document, its procedures and what is made of them.
struct OutputState {
    OutputLog log;
    // Procedures with their pivot tables and text blocks, in order. The
    // procedure's dataset is the active one; the procedure-dataset questions
    // are answered only while a procedure is open.
    OutputDocument output;
    // Where the documents are kept on disk; null when nowhere.
    OutputFiles* outputFiles = nullptr;
    // Documents under their handles: dictionaries and finished procedures.
    XPathStore documents;
};

// What the client and the syntax set, and the engine's fixed surroundings.
struct SettingsState {
    // Passed through for the client: SetXDriveMode and SetMode store them,
    // GetXDriveMode hands them back in that order.
    int xDriveMode = 0;
    int mode = 0;
    OutputSettings settings;
    // The host application's identity, replaced by its Set commands.
    std::string hostName = "StartXD";
    std::string hostVersion = "1.0";
    std::string hostCopyright = "StartXD reference engine, free to use with the vexaxd_p library";
    // 0 local or 1 server (SetPlexorServerMode); only handed back.
    int serverMode = 0;
    // Where temp files go: the directory the engine was started with.
    std::string tempDirectory = "/tmp";
};

// Who is calling and how the conversation goes on.
struct SessionState {
    // Held by whichever thread runs a request: the client's, or the thread
    // that serves a program block's calls. A block lets go of it while the
    // language runs, so that the block's own calls can be served.
    // Timed, so that an engine whose client has gone can save its output
    // without waiting for ever on a request in hand.
    std::timed_mutex lock;
    // The nesting depth of the caller whose request runs: 0 for the program
    // that started the engine, 1 for a program block it submitted, 2 for a
    // block submitted by that block, and so on. Set by the serving thread
    // for each request.
    int callerDepth = 0;
    // Set by the stop command: the loop ends once its reply is out.
    bool stopRequested = false;
    CommandAssembler pendingCommand;
    // Runs program blocks; null where the engine hosts no languages.
    LanguageBlocks* languages = nullptr;
};

struct EngineState : SessionState, SettingsState, DataState, OutputState {};

// What the dataset, dictionary and cursor commands see: the data, and the
// output only to ask whether a procedure is open and which one it is, since
// that decides what they may read and change.
struct DataContext {
    explicit DataContext(EngineState& state)
        : active(state.active),
          cases(state.cases),
          datasets(state.datasets),
          output(state.output) {}

    Dataset& active;
    CaseCursor& cases;
    DatasetStore& datasets;
    const OutputDocument& output;
};

// What GET DATA, SAVE and EXECUTE see: the active dataset they save or
// replace, the transfer that waits, the log their notes go to, and whether a
// procedure is open, which forbids replacing the dataset.
struct TransferContext {
    explicit TransferContext(EngineState& state)
        : active(state.active),
          pendingTransfer(state.pendingTransfer),
          log(state.log),
          output(state.output) {}

    Dataset& active;
    std::optional<PendingTransfer>& pendingTransfer;
    OutputLog& log;
    const OutputDocument& output;
};

// The case walk of the open procedure (a procedure's number is the count of
// those before it); a walk left by an earlier procedure starts over. For
// use while a procedure is open.
inline CaseCursor& ProcedureCases(DataContext& state) {
    state.cases.Follow(state.output.procedures().size());
    return state.cases;
}

}  // namespace engine
