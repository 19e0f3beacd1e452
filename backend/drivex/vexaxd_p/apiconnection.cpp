#include "apiconnection.h"

#include <cstdio>

#include "callframe.h"
#include "codec/protocol.h"
#include "hosting/dxstartup.h"
#include "hosting/xmanager.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "runtime/vexadxconfigreader.h"
#include "transport/xpipemanager.h"

namespace api {
namespace {

// An engine told that the library goes away gets this long to save its
// output and end before the launcher's owner kills it.
constexpr unsigned kFarewellGraceMs = 5000;

}  // namespace

ApiConnection& ApiConnection::Construct() {
    static ApiConnection connection;
    return connection;
}

ApiConnection& ApiConnection::Instance() {
    static ApiConnection& connection = Construct();
    return connection;
}

ApiConnection::~ApiConnection() {
    // A transfer still submitting uses the pipes torn down below. Bounded, so
    // that an engine that never answers cannot hold the unload.
    m_transfers.WaitForTransfers(std::chrono::milliseconds(3000));
    // A host that ended the global state itself (a launcher, an engine that
    // loaded a language) took the suit with it.
    XPipeManager* manager = GetXPipeManager();
    if (!m_suit || !manager || !manager->holds(m_suit)) return;
    try {
        XPipes* pipes = m_suit->getXPipes();
        if (!pipes) return;
        // An engine this process started is driven from here whether or not
        // IsXDriven was ever asked; without the farewell it would be killed.
        const bool startedHere = m_launcher.started() && m_launcher.IsActive();
        if ((m_running && m_xDriven) || startedHere) {
            CleXDSmb farewell;
            farewell.SetLong(protocol::kFarewellValue);
            if (SendRequest(*pipes, farewell) == 0 && m_launcher.started())
                m_launcher.WaitFor(kFarewellGraceMs);
        }
        // A socket file, unlike a named pipe, outlives its process: remove ours.
        pipes->GetXDAPIResultPipe()->ClosePipe();
    } catch (...) {
    }
}

std::string ChooseTempDirectory() {
    for (const char* name : {"VEXADXTEMP", "TEMP", "TMP", "tmp", "TMPDIR"}) {
        std::string value;
        if (platform::GetEnvironment(name, value) && !value.empty()) return value;
    }
    return "/tmp";
}

void ApiConnection::setNames(std::string languageName, std::string engineHome) {
    m_languageName = std::move(languageName);
    m_engineHome = std::move(engineHome);
}

void ApiConnection::Attach() {
    if (!IsDXGlobalInit()) {
        m_tempDirectory = ChooseTempDirectory();
        DecoratePathEnd(m_tempDirectory);
        char pid[16];
        std::snprintf(pid, sizeof pid, "%04x", static_cast<unsigned>(platform::CurrentProcessId()));
        m_pidText = pid;
        InitDxGlobal(m_tempDirectory, m_pidText, m_languageName, m_engineHome);
        m_languageName = GetXName();
    }
    if (m_languageName.empty()) {
        m_languageName = GetXName();
    } else {
        SetXName(m_languageName);
    }
    XPipeManager* manager = GetXPipeManager();
    // The global state may have been set up by the host rather than by us.
    if (m_pidText.empty()) m_pidText = manager->getPipePid();
    if (m_tempDirectory.empty()) m_tempDirectory = manager->getPipePath();
    m_suit = manager->getPipeSuit(m_languageName);
    if (m_suit->getIndex() >= 0) return;
    // A language the configuration knows is hosted here as well: the engine
    // can then run program blocks of it in this process. Its driver takes
    // the first level.
    if (VexaDXConfigReader::GetInstance()->IsSupportLanguage(m_languageName) &&
        CreateLanguageX(m_languageName, false) == 0) {
        m_hosted = true;
    }
    if (m_suit->getIndex() < 0) m_suit->increaseIndex();
}

int ApiConnection::AcquirePipes(XPipes*& pipes) {
    if (!m_suit) Attach();
    pipes = m_suit ? m_suit->getXPipes() : nullptr;
    if (!pipes) {
        DxTrace("m_pipe_index >= 0");
        return VEXA_PIPE_FAILED;
    }
    VexaPipe* result = pipes->GetXDAPIResultPipe();
    if (!result->IsPipeCreated()) {
        int created = result->CreatePipe();
        DxTraceError(result->GetPipeName() + " created:", created);
        if (created) return created;
    }
    return 0;
}

void ApiConnection::Reset() {
    m_running = false;
    m_xDriven = false;
    m_hosted = false;
    m_commandThread.Reset();
    m_sharedResults.Clear();
    m_launcher.Reset();
    m_pidText.clear();
    m_tempDirectory.clear();
    m_languageName.clear();
    m_engineHome.clear();
    m_rTempFolder.clear();
    m_suit = nullptr;
    m_recordBrowserFile.Close();
    m_caseData.Clear();
    m_datastepBatch.Clear();
}

}  // namespace api
