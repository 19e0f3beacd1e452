#include "hosting/consolelink.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "codec/clexdsmb.h"
#include "hosting/dxapibridge.h"
#include "hosting/dxstartup.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "transport/sendreceive.h"
#include "transport/xpipemanager.h"

namespace hosting {

namespace {

// The console must connect within this time; it is checked on every slice,
// so a console that died is noticed at once instead of being waited for.
constexpr auto kReadyLimit = std::chrono::seconds(10);
constexpr unsigned kReadySliceMs = 50;
// An orderly console ends right after answering the close request.
constexpr unsigned kEndWaitMs = 2000;

}  // namespace

ConsoleLink::ConsoleLink(std::string languageName) : m_name(std::move(languageName) + "Console") {}

ConsoleLink::~ConsoleLink() {
    if (m_request || m_reply || m_process.IsActive()) TakeDown();
}

int ConsoleLink::Open() {
    if (m_open) return 0;
    XPipeManager* manager = GetXPipeManager();
    if (!manager) {
        DxTrace("The console link needs the pipe manager; the library is not initialised.");
        return kReplyPipeFailed;
    }
    XPipeSuit* suit = manager->getPipeSuit(m_name);
    suit->increaseIndex();
    XPipes* pipes = suit->getXPipes(suit->getIndex());
    if (!pipes) {
        TakeDown();
        return kReplyPipeFailed;
    }
    m_reply = pipes->GetSyntaxResultPipe();
    m_request = pipes->GetSyntaxPipe();
    if (m_reply->CreatePipe() != 0) {
        TakeDown();
        return kReplyPipeFailed;
    }
    m_reply->DisconnectPipe();
    if (int status = StartConsole(*manager)) {
        TakeDown();
        return status;
    }
    int status = WaitForReady();
    if (status == 0) {
        m_open = true;
    } else {
        TakeDown();
    }
    return status;
}

int ConsoleLink::StartConsole(XPipeManager& manager) {
    std::string program = GetVEXAHOME();
    DecoratePathEnd(program);
    program += platform::ExecutableFileName(PROGRAM_NAME);
    // Started from an argument vector, so every argument goes as it is.
    std::vector<std::string> argv{program, manager.getPipePath(), manager.getPipePid(),
                                  m_name,  GetVEXAHOME(),         BridgeOutputLanguage()};
    if (int error = platform::ChildProcess::Spawn(argv, m_process)) {
        DxTraceError("Starting the console " + program + " failed", error);
        return kConsoleNotStarted;
    }
    return 0;
}

int ConsoleLink::WaitForReady() {
    const auto deadline = std::chrono::steady_clock::now() + kReadyLimit;
    int error = 0;
    while ((error = m_reply->ConnectPipeWithin(kReadySliceMs)) == ETIMEDOUT) {
        if (!m_process.IsActive() || std::chrono::steady_clock::now() >= deadline) {
            DxTrace("The console ended or did not connect before its ready message.");
            return kConsoleNotStarted;
        }
    }
    if (error) return error;
    CleXDSmb ready;
    return ReceiveData(*m_reply, ready, true);
}

int ConsoleLink::SendRequest(int control) {
    CleXDSmb request;
    request.SetLong(control);
    return SendData(*m_request, request, false);
}

int ConsoleLink::Close() {
    if (!m_open) return 0;
    int status = SendRequest(kCloseRequest);
    if (status == 0) {
        CleXDSmb reply;
        status = ReceiveData(*m_reply, reply, true);
    }
    TakeDown();
    return status;
}

int ConsoleLink::Write(const char* text, int length) {
    if (!m_open) return kNotOpen;
    CleXDSmb message;
    if (int error = message.SetString(text, length)) return error;
    int status = SendData(*m_request, message, false);
    message.CleanUpAllData();
    if (status) return status;
    CleXDSmb reply;
    return ReceiveData(*m_reply, reply, true);
}

int ConsoleLink::Read(char* buffer, int size) {
    if (!m_open) return kNotOpen;
    CleXDSmb reply;
    int status = SendRequest(kInputRequest);
    if (status == 0) status = ReceiveData(*m_reply, reply, true);
    if (status) {
        if (buffer && size > 0) buffer[0] = '\0';
        TakeDown();
        return kConsoleGone;
    }
    if (buffer && size > 0) {
        const std::string line = reply.GetSingleString();
        const std::size_t room = static_cast<std::size_t>(size);
        std::memset(buffer, 0, room);
        std::memcpy(buffer, line.data(), std::min(room, line.size()));
    }
    return 0;
}

void ConsoleLink::TakeDown() {
    m_open = false;
    m_request = nullptr;
    m_reply = nullptr;
    if (XPipeManager* manager = GetXPipeManager()) {
        XPipeSuit* suit = manager->getPipeSuit(m_name);
        suit->decreaseIndex();
        // Closes both ends and removes the reply pipe's socket file.
        manager->removePipeSuit(m_name);
    }
    if (m_process.started() && !m_process.WaitFor(kEndWaitMs)) m_process.Kill();
}

std::mutex& ConsoleLinks::Lock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::unique_ptr<ConsoleLink>& ConsoleLinks::Link() {
    static auto* link = new std::unique_ptr<ConsoleLink>;
    return *link;
}

int ConsoleLinks::OpenLocked() {
    std::unique_ptr<ConsoleLink>& link = Link();
    if (!link) link = std::make_unique<ConsoleLink>(GetXName());
    return link->Open();
}

int ConsoleLinks::Open() {
    std::lock_guard<std::mutex> guard(Lock());
    return OpenLocked();
}

int ConsoleLinks::Close() {
    std::lock_guard<std::mutex> guard(Lock());
    std::unique_ptr<ConsoleLink>& link = Link();
    if (!link) return 0;
    int status = link->Close();
    link.reset();
    return status;
}

int ConsoleLinks::Write(const char* text, int length) {
    std::lock_guard<std::mutex> guard(Lock());
    if (!Link()) {
        if (int status = OpenLocked()) return status;
    }
    return Link()->Write(text, length);
}

int ConsoleLinks::Read(char* buffer, int size) {
    std::lock_guard<std::mutex> guard(Lock());
    return Link() ? Link()->Read(buffer, size) : ConsoleLink::kNotOpen;
}

int ConsoleLinks::ConsoleProcessId() {
    std::lock_guard<std::mutex> guard(Lock());
    return Link() ? Link()->ConsoleProcessId() : -1;
}

bool ConsoleLinks::IsOpen() {
    std::lock_guard<std::mutex> guard(Lock());
    return Link() && Link()->IsOpen();
}

}  // namespace hosting
