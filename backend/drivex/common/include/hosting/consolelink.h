// The link to the console program, a separate process through which a
// language runtime talks to its user: text written to it is shown, and it
// answers an input request with one line that the user typed. The link has a
// pipe suite of its own, named after the language with "Console" appended.
// At most one link per process (ConsoleLinks); used from one thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "codec/protocol.h"
#include "platform/process.h"

class VexaPipe;
class XPipeManager;

namespace hosting {

class ConsoleLink {
  public:
    static constexpr int kCloseRequest = protocol::kFarewellValue;
    static constexpr int kInputRequest = protocol::kConsoleInputRequest;
    static constexpr const char* PROGRAM_NAME = "DOzerido";

    // Results of the operations besides the transport codes of the pipes.
    static constexpr int kNotOpen = 1;
    static constexpr int kConsoleNotStarted = 2;
    static constexpr int kReplyPipeFailed = 3;
    static constexpr int kConsoleGone = 4;

    explicit ConsoleLink(std::string languageName);
    ConsoleLink(const ConsoleLink&) = delete;
    ConsoleLink& operator=(const ConsoleLink&) = delete;
    ~ConsoleLink();

    const std::string& Name() const { return m_name; }
    bool IsOpen() const { return m_open; }
    int ConsoleProcessId() const { return m_process.pid(); }

    // Starts the console and waits for its ready message; 0 when already open.
    int Open();
    // Asks the console to end and takes the link down.
    int Close();
    int Write(const char* text, int length);
    // At most `size` bytes of the user's line; not NUL-terminated when it
    // fills them. kConsoleGone, with the link taken down, when the console
    // no longer answers.
    int Read(char* buffer, int size);

  private:
    int StartConsole(XPipeManager& manager);
    int WaitForReady();
    int SendRequest(int control);
    // Stops the console process and gives the suite back to the manager.
    void TakeDown();

    std::string m_name;
    bool m_open = false;
    VexaPipe* m_request = nullptr;
    VexaPipe* m_reply = nullptr;
    platform::ChildProcess m_process;
};

// The process's one link, created on demand by Open and Write, destroyed by
// Close. Each function runs under one lock, so a forgotten link is never
// used by another thread.
class ConsoleLinks {
  public:
    static int Open();
    static int Close();
    static int Write(const char* text, int length);
    static int Read(char* buffer, int size);
    // The console's process id, -1 without a link.
    static int ConsoleProcessId();
    static bool IsOpen();

  private:
    static std::mutex& Lock();
    static std::unique_ptr<ConsoleLink>& Link();
    static int OpenLocked();
};

}  // namespace hosting
