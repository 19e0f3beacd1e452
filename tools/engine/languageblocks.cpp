#include "languageblocks.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "bulktransport.h"
#include "enginecodes.h"
#include "engineserver.h"
#include "hosting/dxapibridge.h"
#include "hosting/dxcallbacks.h"
#include "hosting/dxstartup.h"
#include "hosting/inpstatisticsx.h"
#include "hosting/javastatisticsx.h"
#include "hosting/outpstatisticsx.h"
#include "hosting/xmanager.h"
#include "javablocks.h"
#include "outputfiles.h"
#include "platform/signalrelay.h"
#include "platform/wakeevent.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "runtime/vexadxconfigreader.h"
#include "runtime/xcmdargument.h"
#include "runtime/xconfigoptions.h"
#include "transport/dxcmddispatcher.h"
#include "transport/xpipemanager.h"
#include "vexaxd_p.h"

namespace engine {
namespace {

// The engine starts language processes for its own use: application mode 1.
constexpr int kLocalMode = 1;
// The client joins the command channel right after the ready message.
constexpr auto kClientChannelLimit = std::chrono::seconds(10);
constexpr const char* kJavaExtension = "JAVAEXTENSION";
// How long a language process whose channel broke gets to finish dying.
constexpr unsigned kBrokenLanguageWaitMs = 2000;
// What a driver passes to the Java extension's host (DriveX::initializeX):
// it makes the out-of-process host start the Java runtime.
constexpr const char* kJavaExtensionArgument = "JavaExtension";

// Lets go of the engine lock for the scope; the caller holds it.
class Unlocked {
  public:
    explicit Unlocked(std::timed_mutex& lock) : m_lock(lock) { m_lock.unlock(); }
    ~Unlocked() { m_lock.lock(); }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

  private:
    std::timed_mutex& m_lock;
};

// The caller's depth comes back once a block is over: the block's own calls
// set it to theirs meanwhile.
class CallerDepth {
  public:
    explicit CallerDepth(SessionState& state) : m_state(state), m_depth(state.callerDepth) {}
    ~CallerDepth() { m_state.callerDepth = m_depth; }
    CallerDepth(const CallerDepth&) = delete;
    CallerDepth& operator=(const CallerDepth&) = delete;
    int block() const { return m_depth + 1; }

  private:
    SessionState& m_state;
    int m_depth;
};

// The level one above the language's current one, for the life of a block.
class BlockLevel {
  public:
    explicit BlockLevel(XPipeSuit& suit) : m_suit(suit) { m_suit.increaseIndex(); }
    ~BlockLevel() { m_suit.decreaseIndex(); }
    BlockLevel(const BlockLevel&) = delete;
    BlockLevel& operator=(const BlockLevel&) = delete;

  private:
    XPipeSuit& m_suit;
};

// The engine's own ends of a level's API pipes. A language hosted in the
// engine uses the suit's ends of the same pipes, so the engine's are apart.
// Level 0 keeps its ends for the next block, as the language process keeps
// its own; deeper levels are made anew for each block, as there.
class BlockApiPipes {
  public:
    BlockApiPipes(std::vector<std::unique_ptr<XPipes>>& levels, XPipeSuit& suit)
        : m_levels(levels), m_level(suit.getIndex()) {
        if (static_cast<int>(m_levels.size()) <= m_level)
            m_levels.resize(static_cast<std::size_t>(m_level) + 1);
        auto& pipes = m_levels[static_cast<std::size_t>(m_level)];
        if (!pipes)
            pipes = std::make_unique<XPipes>(suit.getPipeNamePrefix() + std::to_string(m_level));
    }
    ~BlockApiPipes() {
        if (m_level > 0) m_levels[static_cast<std::size_t>(m_level)].reset();
    }
    BlockApiPipes(const BlockApiPipes&) = delete;
    BlockApiPipes& operator=(const BlockApiPipes&) = delete;
    XPipes& pipes() { return *m_levels[static_cast<std::size_t>(m_level)]; }

  private:
    std::vector<std::unique_ptr<XPipes>>& m_levels;
    int m_level;
};

// Serves the block's API calls on its level's pipes from a thread of its own,
// which the end of the block wakes at once. Without a descriptor for that
// (none left) no thread runs, and the block's calls find no server.
class BlockApiThread {
  public:
    BlockApiThread(XPipes& pipes, int depth, const CommandTable& commands, EngineState& state)
        : m_server(&pipes, depth) {
        if (int error = platform::WakeEvent::Open(m_stop)) {
            DxTraceError("No server for the block's calls", error);
            return;
        }
        m_thread = std::thread([this, &commands, &state] {
            m_server.ServeBlock(commands, state, m_stop.descriptor());
        });
    }
    ~BlockApiThread() {
        m_stop.Set();
        if (m_thread.joinable()) m_thread.join();
    }
    BlockApiThread(const BlockApiThread&) = delete;
    BlockApiThread& operator=(const BlockApiThread&) = delete;

  private:
    EngineServer m_server;
    platform::WakeEvent m_stop;
    std::thread m_thread;
};

// A language loaded into the engine. Its API calls go through this
// process's connection, which is pointed at the language's suit, so that
// they travel on the block's level like those of a language process.
StatisticsX* MakeInProcessHost(const std::string& language, XConfigOptions* options) {
    SetXNameAndSHome(language.c_str(), GetVEXAHOME());
    SetVexaRunning(true);
    auto* host = new InpStatisticsX(options, true);
    host->setup_dxcallback(hosting::GetDxCallBackTable());
    host->set_post_vexa_output(&hosting::BridgePostOutput);
    return host;
}

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
        XConfigOptions* options = config->GetOptions(language);
        // The Java extension only ever runs in a Java process.
        if (language == kJavaExtension) {
            host = new hosting::JavaStatisticsX(options, kLocalMode, true);
        } else if (options->IsInnerProcess()) {
            host = MakeInProcessHost(language, options);
        } else {
            host = new OutpStatisticsX(options, kLocalMode, true);
        }
        registry->addStatisticsX(language, host);
    }
    status = 0;
    return host;
}

int StartLanguage(StatisticsX& host, XConfigOptions& options) {
    if (host.isIntialized()) return 0;
    const std::string* args = options.FindOption(XConfigOptions::KEY_ARGS);
    XCmdArgument arguments = args && !args->empty() ? XCmdArgument(*args)
                             : options.XName() == kJavaExtension
                                 ? XCmdArgument(kJavaExtensionArgument)
                                 : XCmdArgument();
    return host.init_embedded_x(arguments.argc(), arguments.argv());
}

// The language process a block runs in, for the length of the block; the
// outer block's again afterwards.
class RunningBlockProcess {
  public:
    RunningBlockProcess(std::atomic<int>& slot, std::atomic<InpStatisticsX*>& hostSlot,
                        StatisticsX& host)
        : m_slot(slot),
          m_hostSlot(hostSlot),
          m_outer(slot.exchange(ProcessOf(host))),
          m_outerHost(hostSlot.exchange(dynamic_cast<InpStatisticsX*>(&host))) {}
    ~RunningBlockProcess() {
        m_slot = m_outer;
        m_hostSlot = m_outerHost;
    }
    RunningBlockProcess(const RunningBlockProcess&) = delete;
    RunningBlockProcess& operator=(const RunningBlockProcess&) = delete;

  private:
    static int ProcessOf(StatisticsX& host) {
        auto* process = dynamic_cast<hosting::ProcessHost*>(&host);
        return process && process->isVexaDrive() ? process->processId() : 0;
    }
    std::atomic<int>& m_slot;
    std::atomic<InpStatisticsX*>& m_hostSlot;
    int m_outer;
    InpStatisticsX* m_outerHost;
};

std::string BlockText(const ProgramBlock& block) {
    std::string text;
    for (const std::string& line : block.lines) text.append(line).append("\n");
    return text;
}

// A process whose channel broke is on its way out, though it may not have
// ended yet when the break is seen (its descriptors close before it exits).
// Once it is gone, the next block starts a new one rather than being sent to
// the dying one. Returns `result`.
int SettleBrokenLanguage(StatisticsX& host, int result) {
    if (result == EPIPE || result == VEXA_PIPE_FAILED) {
        if (auto* process = dynamic_cast<hosting::ProcessHost*>(&host))
            process->awaitXProcessEnd(kBrokenLanguageWaitMs);
    }
    return result;
}

}  // namespace

void LanguageBlocks::ForgetEndedLanguage(const std::string& language) {
    XManager* registry = GetXManager();
    auto* host = registry ? dynamic_cast<hosting::ProcessHost*>(registry->getStatisticsX(language))
                          : nullptr;
    XPipeSuit* suit = GetXPipeManager()->getPipeSuit(language);
    // Only between blocks: an outer block of the language still owns them.
    if (!host || host->isXProcessActive() || suit->getIndex() >= 0) return;
    DxTrace("The language process of " + language + " has ended; the next block starts a new one.");
    registry->destoryStatisticsX(language);
    // Its pipes and command channel were connected to the process that ended.
    GetXPipeManager()->removePipeSuit(language);
    m_apiPipes.erase(language);
}

// The engine lock is held while the Java process starts, so that the
// environment it inherits stays as set; it is let go while the program runs,
// as the program may call the engine on level 0 of its language's pipes.
int LanguageBlocks::RunJavaBlock(const ProgramBlock& block, EngineState& state) {
    if (m_javaRunning) return kJavaBlockRunning;
    JavaBlockMessage message;
    if (int refused = ParseJavaBlock(block, message)) return refused;
    JavaBlockRun run(message, state.tempDirectory);
    if (int unprepared = run.Prepare()) return unprepared;
    int status = 0;
    StatisticsX* host = HostFor(block.language, status);
    if (!host) return status;
    m_javaRunning = true;
    status = ServeJavaProgram(*host, block.language, message, state, run);
    m_javaRunning = false;
    auto* java = dynamic_cast<hosting::JavaStatisticsX*>(host);
    const int exitStatus = status == 0 && java ? java->exitStatus() : 0;
    if (exitStatus != 0) status = kJavaProgramFailed;
    // The host ends with its Java process (killing one that is left), so the
    // next block makes a fresh host that starts a fresh process, which makes
    // fresh API pipes.
    GetXManager()->destoryStatisticsX(block.language);
    m_apiPipes.erase(block.language);
    run.PostOutput(state.log, exitStatus);
    return status;
}

int LanguageBlocks::ServeJavaProgram(StatisticsX& host, const std::string& language,
                                     const JavaBlockMessage& message, EngineState& state,
                                     JavaBlockRun& run) {
    XPipeSuit& suit = *GetXPipeManager()->getPipeSuit(language);
    BlockLevel level(suit);
    BlockApiPipes apiPipes(m_apiPipes[language], suit);
    VexaPipe& request = *apiPipes.pipes().GetXDAPIPipe();
    int status = request.IsPipeCreated() ? 0 : request.CreatePipe();
    if (status == 0)
        status = StartLanguage(host, *VexaDXConfigReader::GetInstance()->GetOptions(language));
    run.Started();
    if (status != 0) return status;
    // Restored after the lock is taken back.
    CallerDepth depth(state);
    // The serving thread takes the lock for each call, so it is joined
    // before the lock is taken back.
    Unlocked unlocked(state.lock);
    BlockApiThread api(apiPipes.pipes(), depth.block(), m_commands, state);
    status = host.pre_action();
    if (status == 0) {
        status = host.execute_x(message.data.c_str());
        const int ended = host.post_action();
        if (status == 0) status = ended;
    }
    return status;
}

int LanguageBlocks::Run(const ProgramBlock& block, EngineState& state) {
    if (block.language == kJavaExtension) return RunJavaBlock(block, state);
    ForgetEndedLanguage(block.language);
    int status = 0;
    StatisticsX* host = HostFor(block.language, status);
    if (!host) return status;
    XPipeSuit& suit = *GetXPipeManager()->getPipeSuit(block.language);
    BlockLevel level(suit);
    BlockApiPipes apiPipes(m_apiPipes[block.language], suit);
    // Made before the language can call, so that its first call finds it.
    VexaPipe& request = *apiPipes.pipes().GetXDAPIPipe();
    if (int created = request.IsPipeCreated() ? 0 : request.CreatePipe()) return created;
    // Restored after the lock is taken back.
    CallerDepth depth(state);
    // The serving thread takes the lock for each call, so it must be joined
    // before the lock is taken back.
    Unlocked unlocked(state.lock);
    BlockApiThread api(apiPipes.pipes(), depth.block(), m_commands, state);
    if (int started =
            StartLanguage(*host, *VexaDXConfigReader::GetInstance()->GetOptions(block.language))) {
        return started;
    }
    status = host->pre_action();
    if (status) return SettleBrokenLanguage(*host, status);
    const std::string text = BlockText(block);
    {
        RunningBlockProcess running(m_blockProcess, m_blockHostHere, *host);
        status = host->execute_x(text.c_str());
    }
    const int ended = host->post_action();
    int result = status ? status : ended;
    if (m_interrupted.exchange(false)) result = kBlockInterrupted;
    return SettleBrokenLanguage(*host, result);
}

bool LanguageBlocks::AdoptClientLanguage(const std::string& language) {
    VexaDXConfigReader* config = VexaDXConfigReader::GetInstance();
    XManager* registry = GetXManager();
    if (!registry || !config->IsSupportLanguage(language)) return false;
    XPipeSuit& suit = *GetXPipeManager()->getPipeSuit(language);
    suit.increaseIndex();
    // Made now, so that the client finds the channel's reply pipe.
    suit.getCmdDispatcher(false);
    registry->addStatisticsX(language,
                             new OutpStatisticsX(config->GetOptions(language), kLocalMode, false));
    m_clientLanguage = language;
    return true;
}

int LanguageBlocks::ConnectClientLanguage() {
    if (m_clientLanguage.empty()) return 0;
    DXCmdDispatcher* channel =
        GetXPipeManager()->getPipeSuit(m_clientLanguage)->getCmdDispatcher(false);
    return channel->connectPeer(
        static_cast<int>(std::chrono::milliseconds(kClientChannelLimit).count()));
}

void LanguageBlocks::Interrupt() {
    // A language loaded here is interrupted through its library, from this
    // (the listener's) thread; the block's thread stays in its language.
    if (InpStatisticsX* here = m_blockHostHere.load()) {
        m_interrupted = true;
        if (!here->interruptText())
            DxTrace("The language loaded in the engine cannot be interrupted");
        return;
    }
    const int process = m_blockProcess.load();
    if (process <= 0) return;
    m_interrupted = true;
    if (int error = platform::SendInterrupt(process))
        DxTraceError("The block's interrupt was not sent", error);
}

}  // namespace engine
