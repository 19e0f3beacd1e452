// Runs program blocks of external languages for the engine, through the
// library's host registry: each language gets one host, kept until the
// engine stops: out of process (a language process started by "startx" on
// the first block), or, when its section says INNER_PROCESS=true, its library
// loaded into the engine (one such language per engine: the engine's API
// connection serves it). A block runs one nesting level above the
// language's current one; while it runs, a thread serves the block's API
// calls on that level's pipes. Blocks nest: a block's own submission runs
// its inner block on the serving thread of the outer one. JAVAEXTENSION
// blocks differ: each runs in a Java process of its own that ends with the
// block (see javablocks.h); its calls are served on level 0 of the
// JAVAEXTENSION pipes, and such blocks do not nest.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "commandtable.h"
#include "enginestate.h"
#include "programblock.h"
#include "transport/xpipemanager.h"

class StatisticsX;
class InpStatisticsX;

namespace engine {

struct JavaBlockMessage;
class JavaBlockRun;

class LanguageBlocks {
  public:
    // The global library state must be initialised first (InitDxGlobal).
    explicit LanguageBlocks(const CommandTable& commands) : m_commands(commands) {}

    // Called with the engine lock held; lets go of it while the language
    // runs. The block's status: the language's, or the code of what failed.
    int Run(const ProgramBlock& block, EngineState& state);

    // The client's own language, when the configuration names it: the client
    // hosts it itself, so its blocks run in the client's process and start
    // one level above the client's own. False for any other language.
    bool AdoptClientLanguage(const std::string& language);
    // Joins the command channel of the adopted language once the client
    // knows the engine is ready. 0 or the channel's code.
    int ConnectClientLanguage();

    // From any thread: hands an interrupt to the language process of the
    // block that runs, if any, and marks the block, whose status becomes
    // kBlockInterrupted. Between blocks nothing happens.
    void Interrupt();

  private:
    // A language process that ended (killed, or crashed) is replaced by a
    // new one at the next outermost block.
    void ForgetEndedLanguage(const std::string& language);
    int RunJavaBlock(const ProgramBlock& block, EngineState& state);
    int ServeJavaProgram(StatisticsX& host, const std::string& language,
                         const JavaBlockMessage& message, EngineState& state, JavaBlockRun& run);

    const CommandTable& m_commands;
    std::string m_clientLanguage;
    // The language process of the innermost block that runs, or 0; for a
    // language loaded in the engine, its host instead.
    std::atomic<int> m_blockProcess{0};
    std::atomic<InpStatisticsX*> m_blockHostHere{nullptr};
    std::atomic<bool> m_interrupted{false};
    // The engine's ends of the API pipes, per language and level.
    std::map<std::string, std::vector<std::unique_ptr<XPipes>>> m_apiPipes;
    bool m_javaRunning = false;
};

}  // namespace engine
