// The connection of this process to the engine: one set per process, used by
// every exported function. No lock: API calls of a process are made from one
// thread at a time.
#pragma once

#include <string>

#include "casecursorstate.h"
#include "datasetstate.h"
#include "datastepbatch.h"
#include "enginelauncher.h"
#include "hostedcommandthread.h"
#include "recordbrowserfile.h"
#include "sharedresults.h"
#include "transfergate.h"

class XPipeSuit;
class XPipes;

namespace api {

class ApiConnection {
  public:
    static ApiConnection& Instance();

    bool running() const { return m_running; }
    void setRunning(bool running) { m_running = running; }
    bool xDriven() const { return m_xDriven; }
    void setXDriven(bool driven) { m_xDriven = driven; }
    bool hosted() const { return m_hosted; }
    // Set while the engine has a procedure or a data step open; survives the
    // connection reset.
    bool stepOpen() const { return m_stepOpen; }
    void setStepOpen(bool open) { m_stepOpen = open; }

    const std::string& languageName() const { return m_languageName; }
    const std::string& engineHome() const { return m_engineHome; }
    const std::string& tempDirectory() const { return m_tempDirectory; }
    const std::string& pidText() const { return m_pidText; }
    void setNames(std::string languageName, std::string engineHome);
    void setEngineHome(std::string home) { m_engineHome = std::move(home); }

    const char* rTempFolder() const { return m_rTempFolder.c_str(); }
    void setRTempFolder(const char* folder) { m_rTempFolder = folder ? folder : ""; }

    // Joins the global state and the pipe suit of the language name.
    void Attach();
    // The request and result pipes of the current level; the result pipe is
    // created here on first use. 0 or a pipe code.
    int AcquirePipes(XPipes*& pipes);
    XPipeSuit* suit() const { return m_suit; }
    void forgetSuit() { m_suit = nullptr; }

    // The engine process started here.
    EngineLauncher& launcher() { return m_launcher; }
    RecordBrowserFile& recordBrowserFile() { return m_recordBrowserFile; }
    // The local case cursor and the case-writing buffer.
    CaseCursorState& caseData() { return m_caseData; }
    // The named datasets of a data step; survives the connection reset.
    DatasetState& datasets() { return m_datasets; }
    // The data-step batch; dropped by the connection reset.
    DatastepBatch& datastepBatch() { return m_datastepBatch; }
    // Bulk transfers whose threads use the pipes.
    TransferGate& transfers() { return m_transfers; }
    // Serves the engine's commands for program blocks of the language hosted
    // here.
    HostedCommandThread& commandThread() { return m_commandThread; }

    // The single string and the wide text results the caller reads in place.
    SharedResults& sharedResults() { return m_sharedResults; }

    // Back to the detached state of a freshly loaded library.
    void Reset();

  private:
    ApiConnection() = default;
    // The first lookup's construction, out of line: inlined into Instance it
    // made every lookup save and restore six registers.
    [[gnu::noinline]] static ApiConnection& Construct();
    // The farewell at unload: an engine started here and still running is told
    // that the library goes away.
    ~ApiConnection();

    bool m_running = false;
    bool m_xDriven = false;
    bool m_hosted = false;
    bool m_stepOpen = false;
    std::string m_languageName;
    std::string m_engineHome;
    std::string m_tempDirectory;
    std::string m_pidText;
    std::string m_rTempFolder;
    XPipeSuit* m_suit = nullptr;
    EngineLauncher m_launcher;
    SharedResults m_sharedResults;
    RecordBrowserFile m_recordBrowserFile;
    CaseCursorState m_caseData;
    DatasetState m_datasets;
    DatastepBatch m_datastepBatch;
    TransferGate m_transfers;
    HostedCommandThread m_commandThread;
};

inline ApiConnection& Connection() { return ApiConnection::Instance(); }

// First of the temp-directory variables that is set and not empty, else "/tmp".
std::string ChooseTempDirectory();

}  // namespace api
