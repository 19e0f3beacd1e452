#include "transport/vexapipe.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/channelwait.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"

namespace {

constexpr int kOpenReadAttempts = 101;
constexpr std::chrono::milliseconds kOpenReadPause{100};

// A stale socket file without a listener is a pipe no process serves yet.
bool IsNotCreatedYet(int error) { return error == ENOENT || error == ECONNREFUSED; }

}  // namespace

VexaPipe::~VexaPipe() {
    if (HasPipe()) ClosePipe();
}

const char* VexaPipe::GetPipeName(int& length) const {
    length = static_cast<int>(m_name.size());
    return m_name.c_str();
}

void VexaPipe::Trace(const char* operation, int code) const {
    DxTraceError(m_name + operation, code);
}

int VexaPipe::CreatePipe() {
    if (m_name.empty()) return VEXA_PIPE_WITHOUT_NAME;
    if (m_name.size() > platform::MaxChannelPathLength()) {
        Trace(" CreateNamedPipe", ENAMETOOLONG);
        return VEXA_PIPE_WITHOUT_NAME;
    }
    int error = platform::EnsurePipeDirectory();
    if (!error) error = platform::ChannelListener::Listen(m_name, m_listener);
    if (error) {
        Trace(" CreateNamedPipe", error);
        return VEXA_PIPE_FAILED;
    }
    m_created = true;
    return 0;
}

int VexaPipe::ConnectPipe() { return Connect(nullptr, -1); }

int VexaPipe::ConnectPipe(const VexaPipe& request) { return Connect(&request.m_connection, -1); }

int VexaPipe::ConnectPipeWithin(unsigned milliseconds, int watchedProcess) {
    return Connect(nullptr, static_cast<int>(milliseconds), watchedProcess);
}

int VexaPipe::Connect(const platform::ChannelConnection* watched, int milliseconds,
                      int watchedProcess) {
    if (m_connectAttempted) return 0;
    int error = milliseconds < 0
                    ? m_listener.Accept(m_connection, watched)
                    : m_listener.AcceptWithin(m_connection, static_cast<unsigned>(milliseconds),
                                              watchedProcess);
    if (milliseconds >= 0 && error == ETIMEDOUT) return error;
    // A partner that is gone leaves the end ready for a later writer.
    if (!((watched || watchedProcess >= 0) && error == EPIPE)) m_connectAttempted = true;
    if (error) {
        Trace(" ConnectPipe", error);
        return error;
    }
    m_writeConnected = true;
    return 0;
}

int VexaPipe::DisconnectPipe() {
    if (!m_writeConnected && !m_connectAttempted) return 0;
    if (m_listener.valid()) m_connection.close();
    m_writeConnected = false;
    m_connectAttempted = false;
    return 0;
}

// The directory is checked on the writer's side too, so that a writer never
// hands its data to a pipe planted by another user.
int VexaPipe::OpenClient(const char* operation, unsigned waitMs) {
    m_connection.close();
    if (m_name.empty()) return VEXA_PIPE_WITHOUT_NAME;
    if (m_name.size() > platform::MaxChannelPathLength()) {
        Trace(operation, ENAMETOOLONG);
        return VEXA_PIPE_WITHOUT_NAME;
    }
    int error = platform::EnsurePipeDirectory();
    if (error) {
        Trace(operation, error);
        return VEXA_PIPE_FAILED;
    }
    return waitMs ? platform::ConnectChannelWithin(m_name, m_connection, waitMs)
                  : platform::ChannelConnection::Connect(m_name, m_connection);
}

int VexaPipe::VEXACreateFile() {
    int error = OpenClient(" VEXACreateFile");
    if (error >= VEXA_PIPE_FAILED) return error;
    if (error) {
        Trace(" VEXACreateFile", error);
        return VEXA_PIPE_FAILED;
    }
    return 0;
}

int VexaPipe::VEXACreateFileWithin(unsigned milliseconds) {
    int error = OpenClient(" VEXACreateFile", milliseconds);
    if (!error || error >= VEXA_PIPE_FAILED) return error;
    Trace(" VEXACreateFile", error);
    return VEXA_PIPE_FAILED;
}

int VexaPipe::VEXACreateFileR() {
    for (int attempt = 1;; ++attempt) {
        int error = OpenClient(" VEXACreateFileR");
        if (!error || error >= VEXA_PIPE_FAILED) return error;
        if (attempt == kOpenReadAttempts) return VEXA_PIPE_FAILED;
        Trace(" VEXACreateFileR", error);
        if (!IsNotCreatedYet(error)) return error;
        std::this_thread::sleep_for(kOpenReadPause);
    }
}

// Unlike a bare open-and-hope, a failed open is reported: callers otherwise
// learn of it only from the next write.
int VexaPipe::OpenPipeToWrite() {
    int error = OpenClient(" OpenPipeToWrite");
    if (error >= VEXA_PIPE_FAILED) return error;
    if (error) {
        Trace(" OpenPipeToWrite", error);
        return VEXA_PIPE_FAILED;
    }
    m_writeConnected = true;
    return 0;
}

int VexaPipe::WriteData(const void* buffer, int length, int& written) {
    return WriteData(buffer, length, nullptr, 0, written);
}

int VexaPipe::WriteData(const void* head, int headLength, const void* tail, int tailLength,
                        int& written) {
    written = 0;
    if (headLength < 0 || tailLength < 0 || (headLength > 0 && head == nullptr) ||
        (tailLength > 0 && tail == nullptr)) {
        return VEXA_BAD_ARGUMENT;
    }
    const char* parts[2] = {static_cast<const char*>(head), static_cast<const char*>(tail)};
    int left[2] = {headLength, tailLength};
    int part = left[0] > 0 ? 0 : 1;
    while (part < 2 && left[part] > 0) {
        // A piece may straddle the end of the head: its two runs go out as one packet.
        const int first = std::min(left[part], PIECE_SIZE);
        const int second = part == 0 ? std::min(left[1], PIECE_SIZE - first) : 0;
        if (int error = m_connection.Send(parts[part], static_cast<std::size_t>(first), parts[1],
                                          static_cast<std::size_t>(second))) {
            Trace(" WriteData", error);
            return VEXA_PIPE_FAILED;
        }
        written = first + second;
        parts[part] += first;
        left[part] -= first;
        parts[1] += second;
        left[1] -= second;
        if (left[part] == 0) ++part;
    }
    return 0;
}

int VexaPipe::ReadData(int size, void* buffer, int& bytesRead) {
    bytesRead = 0;
    if (size <= 0 || buffer == nullptr) return VEXA_BAD_ARGUMENT;
    std::size_t received = 0;
    int error = m_connection.valid() ? 0 : (HasPipe() ? ENOTCONN : EBADF);
    if (!error && m_watchedProcess >= 0)
        error = m_connection.WaitReadableWatching(m_watchedProcess);
    if (!error) error = m_connection.Receive(buffer, static_cast<std::size_t>(size), received);
    bytesRead = static_cast<int>(received);
    if (error) Trace(" ReadData", error);
    return error;
}

int VexaPipe::WaitReadable(unsigned milliseconds) const {
    return m_connection.WaitReadable(milliseconds);
}

int VexaPipe::ReadDataWithin(int size, void* buffer, int& bytesRead, unsigned milliseconds) {
    bytesRead = 0;
    if (m_connection.valid() && WaitReadable(milliseconds) == ETIMEDOUT) return ETIMEDOUT;
    return ReadData(size, buffer, bytesRead);
}

int VexaPipe::ChangeReadMode() {
    if (HasPipe()) return 0;
    Trace(" ChangeReadMode", EBADF);
    return VEXA_PIPE_FAILED;
}

int VexaPipe::ChangeToUnBlockMode() {
    int error = m_connection.valid() ? m_connection.SetNonBlocking() : EBADF;
    if (!error) return 0;
    Trace(" ChangeToUnBlockMode", error);
    return VEXA_PIPE_FAILED;
}

int VexaPipe::ClosePipe() {
    if (!HasPipe()) return 0;
    m_connection.close();
    m_listener.close();
    m_writeConnected = false;
    m_connectAttempted = false;
    m_created = false;
    Trace(" ClosePipe", 0);
    return 0;
}
