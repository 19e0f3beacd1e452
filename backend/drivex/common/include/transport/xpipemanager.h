// The pipes of language runs and their names. XPipes holds the four pipe ends
// of one nesting level; XPipeSuit holds every level of one language name;
// XPipeManager owns all suits of the process. No locks: suits and levels are
// changed by the thread that starts and stops runs, API threads only read the
// current level.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "transport/vexapipe.h"

class XPipes {
  public:
    static constexpr const char* SYNTAX_PIPE = "syntax";
    static constexpr const char* SYNTAX_RESULT_PIPE = "syntaxresult";
    static constexpr const char* XDAPI_PIPE = "xdapi";
    static constexpr const char* XDAPI_RESULT_PIPE = "xdapiresult";
    static constexpr int PIPE_BUF_SIZE = VexaPipe::PIECE_SIZE;

    explicit XPipes(std::string levelPrefix);
    XPipes(const XPipes&) = delete;
    XPipes& operator=(const XPipes&) = delete;

    VexaPipe* GetSyntaxPipe() { return Ensure(m_syntax, SYNTAX_PIPE); }
    VexaPipe* GetSyntaxResultPipe() { return Ensure(m_syntaxResult, SYNTAX_RESULT_PIPE); }
    VexaPipe* GetXDAPIPipe() { return Ensure(m_xdapi, XDAPI_PIPE); }
    VexaPipe* GetXDAPIResultPipe() { return Ensure(m_xdapiResult, XDAPI_RESULT_PIPE); }
    const std::string& prefix() const { return m_prefix; }

  private:
    VexaPipe* Ensure(std::unique_ptr<VexaPipe>& pipe, const char* constant);

    std::string m_prefix;
    std::unique_ptr<VexaPipe> m_syntax;
    std::unique_ptr<VexaPipe> m_syntaxResult;
    std::unique_ptr<VexaPipe> m_xdapi;
    std::unique_ptr<VexaPipe> m_xdapiResult;
};

class XPipeManager;
class MonitorThread;
class DXCmdDispatcher;

class XPipeSuit {
  public:
    XPipeSuit(std::string name, XPipeManager& manager);
    XPipeSuit(const XPipeSuit&) = delete;
    XPipeSuit& operator=(const XPipeSuit&) = delete;
    ~XPipeSuit();

    const std::string& XName() const { return m_name; }
    int getIndex() const { return m_pipe_index; }
    std::string getPipeNamePrefix() const;

    void increaseIndex();
    // Leaving a level with none entered is a caller error and changes nothing.
    void decreaseIndex();
    // The current level's set, or null before the first level.
    XPipes* getXPipes();
    XPipes* getXPipes(int level);

    // Flag true: the reader of "<prefix>P2C"; false: the writer of
    // "<prefix>C2P". Created and started on first use; the callback (a
    // function without arguments) is called should a reader lose its partner.
    MonitorThread* startMonitor(bool reader, void (*partnerLost)());
    // Asks that monitor to stop and waits for it; the object stays.
    int stopMonitor(bool reader);
    MonitorThread* getMonitor(bool reader);
    // One per suit, made on first use with the flag as its server role.
    DXCmdDispatcher* getCmdDispatcher(bool isServer);

  private:
    std::string m_name;
    XPipeManager& m_manager;
    int m_pipe_index = -1;
    std::vector<std::unique_ptr<XPipes>> m_pipeSets;
    std::unique_ptr<DXCmdDispatcher> m_dispatcher;
    std::unique_ptr<MonitorThread> m_readerMonitor;
    std::unique_ptr<MonitorThread> m_writerMonitor;
};

class XPipeManager {
  public:
    XPipeManager(std::string pipePath, std::string pipePid)
        : m_pipePath(std::move(pipePath)), m_pipePid(std::move(pipePid)) {}
    XPipeManager(const XPipeManager&) = delete;
    XPipeManager& operator=(const XPipeManager&) = delete;
    ~XPipeManager() { cleanup(); }

    const std::string& getPipePath() const { return m_pipePath; }
    void setPipePath(const std::string& path) { m_pipePath = path; }
    const std::string& getPipePid() const { return m_pipePid; }
    void setPipePid(const std::string& pid) { m_pipePid = pid; }

    XPipeSuit* getPipeSuit(const std::string& name);
    // Whether the suit is one of this manager's (and so still alive).
    bool holds(const XPipeSuit* suit) const;
    void removePipeSuit(const std::string& name);
    void cleanup();

  private:
    std::string m_pipePath;
    std::string m_pipePid;
    std::vector<std::unique_ptr<XPipeSuit>> m_suits;
};

namespace transport {

// Directory of every pipe name, followed by "/".
std::string PipeNameRoot();
// A language name as it may appear in a pipe name: bytes other than letters,
// digits, "_" and "-" become "_", so no name can leave the pipe directory.
std::string PipeSafeName(const std::string& name);

}  // namespace transport
