#include "languageblocks.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "bulktransport.h"
#include "enginecodes.h"
#include "engineserver.h"
#include "hosting/dxcmddispatcher.h"
#include "hosting/outpstatisticsx.h"
#include "hosting/xmanager.h"
#include "runtime/dxstartup.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "runtime/vexadxconfigreader.h"
#include "runtime/xcmdargument.h"
#include "runtime/xconfigoptions.h"
#include "transport/xpipemanager.h"

namespace engine {
namespace {

// The engine starts language processes for its own use: application mode 1.
constexpr int kLocalMode = 1;
// The client joins the command channel right after the ready message.
constexpr auto kClientChannelLimit = std::chrono::seconds(10);

// Lets go of the engine lock for the scope; the caller holds it.
class Unlocked {
public:
    explicit Unlocked(std::mutex& lock) : m_lock(lock) { m_lock.unlock(); }
    ~Unlocked() { m_lock.lock(); }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

private:
    std::mutex& m_lock;
};

// The level one above the language's current one, for the life of a block.
class BlockLevel {
public:
    explicit BlockLevel(XPipeSuit& suit) : m_suit(suit) { m_suit.increaseIndex(); }
    ~BlockLevel() { m_suit.decreaseIndex(); }
    BlockLevel(const BlockLevel&) = delete;
    BlockLevel& operator=(const BlockLevel&) = delete;
    XPipes& pipes() { return *m_suit.getXPipes(); }

private:
    XPipeSuit& m_suit;
};

// Serves the block's API calls on its level's pipes from a thread of its own.
class BlockApiThread {
public:
    BlockApiThread(XPipes& pipes, const CommandTable& commands, EngineState& state)
        : m_server(&pipes), m_thread([this, &commands, &state] { m_server.ServeBlock(commands, state, m_stop); }) {}
    ~BlockApiThread() {
        m_stop = true;
        m_thread.join();
    }
    BlockApiThread(const BlockApiThread&) = delete;
    BlockApiThread& operator=(const BlockApiThread&) = delete;

private:
    EngineServer m_server;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The language's host, made and started on its first block.
StatisticsX* HostFor(const std::string& language, int& status) {
    VexaDXConfigReader* config = VexaDXConfigReader::GetInstance();
    XManager* registry = GetXManager();
    if (!registry || !config->IsSupportLanguage(language)) {
        DxTrace("Unsupported external language:" + language);
        status = VEXA_UNSUPPORTED_LANGUAGE;
        return nullptr;
    }
    StatisticsX* host = registry->getStatisticsX(language);
    if (!host) {
        host = new OutpStatisticsX(config->GetOptions(language), kLocalMode, true);
        registry->addStatisticsX(language, host);
    }
    status = 0;
    return host;
}

int StartLanguage(StatisticsX& host, XConfigOptions& options) {
    if (host.isIntialized()) return 0;
    const std::string* args = options.FindOption(XConfigOptions::KEY_ARGS);
    XCmdArgument arguments = args && !args->empty() ? XCmdArgument(*args) : XCmdArgument();
    return host.init_embedded_x(arguments.argc(), arguments.argv());
}

std::string BlockText(const ProgramBlock& block) {
    std::string text;
    for (const std::string& line : block.lines) text.append(line).append("\n");
    return text;
}

}  // namespace

int LanguageBlocks::Run(const ProgramBlock& block, EngineState& state) {
    int status = 0;
    StatisticsX* host = HostFor(block.language, status);
    if (!host) return status;
    XPipeSuit& suit = *GetXPipeManager()->getPipeSuit(block.language);
    BlockLevel level(suit);
    // Made before the language can call, so that its first call finds it.
    if (int created = level.pipes().GetXDAPIPipe()->IsPipeCreated() ? 0 : level.pipes().GetXDAPIPipe()->CreatePipe()) {
        return created;
    }
    // The serving thread takes the lock for each call, so it must be joined
    // before the lock is taken back.
    Unlocked unlocked(state.lock);
    BlockApiThread api(level.pipes(), m_commands, state);
    if (int started = StartLanguage(*host, *VexaDXConfigReader::GetInstance()->GetOptions(block.language))) {
        return started;
    }
    status = host->pre_action();
    if (status) return status;
    const std::string text = BlockText(block);
    status = host->execute_x(text.c_str());
    const int ended = host->post_action();
    return status ? status : ended;
}

bool LanguageBlocks::AdoptClientLanguage(const std::string& language) {
    VexaDXConfigReader* config = VexaDXConfigReader::GetInstance();
    XManager* registry = GetXManager();
    if (!registry || !config->IsSupportLanguage(language)) return false;
    XPipeSuit& suit = *GetXPipeManager()->getPipeSuit(language);
    suit.increaseIndex();
    // Made now, so that the client finds the channel's reply pipe.
    suit.getCmdDispatcher(false);
    registry->addStatisticsX(language, new OutpStatisticsX(config->GetOptions(language), kLocalMode, false));
    m_clientLanguage = language;
    return true;
}

int LanguageBlocks::ConnectClientLanguage() {
    if (m_clientLanguage.empty()) return 0;
    const auto deadline = std::chrono::steady_clock::now() + kClientChannelLimit;
    DXCmdDispatcher* channel = GetXPipeManager()->getPipeSuit(m_clientLanguage)->getCmdDispatcher(false);
    return channel->connectPeer([deadline] { return std::chrono::steady_clock::now() < deadline; });
}

int RunSubmittedText(const std::string& text, EngineState& state) {
    std::vector<SubmittedPiece> pieces;
    if (!SplitProgramBlocks(text, pieces)) {
        state.log.Add(OutputLog::Kind::kCommand, text);
        return kIncompleteProgramBlock;
    }
    for (const SubmittedPiece& piece : pieces) {
        int status = 0;
        if (!piece.block) {
            status = RunSubmittedCommand(piece.commandText, state);
        } else if (!state.languages) {
            status = kNoLanguageHosting;
        } else {
            state.log.Add(OutputLog::Kind::kCommand, "BEGIN PROGRAM " + piece.block->language + ".");
            status = state.languages->Run(*piece.block, state);
            state.log.Add(OutputLog::Kind::kCommand, "END PROGRAM.");
        }
        if (status) return status;
    }
    return 0;
}

}  // namespace engine
