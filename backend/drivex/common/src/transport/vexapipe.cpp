#include "transport/vexapipe.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
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
    if (m_listener.valid()) {
        m_connection.close();
        m_held.clear();
    }
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
    if (headLength < 0 || tailLength < 0) return VEXA_BAD_ARGUMENT;
    const codec::ByteRun runs[2] = {{head, static_cast<std::size_t>(headLength)},
                                    {tail, static_cast<std::size_t>(tailLength)}};
    return WriteRuns(runs, 2, written);
}

int VexaPipe::WriteRuns(const codec::ByteRun* runs, std::size_t count, int& written) {
    written = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (runs[i].size > 0 && runs[i].data == nullptr) return VEXA_BAD_ARGUMENT;
    }
    std::size_t run = 0;
    std::size_t offset = 0;
    auto skipEmpty = [&] {
        while (run < count && offset == runs[run].size) {
            ++run;
            offset = 0;
        }
    };
    skipEmpty();
    // Pieces go out a batch at a time; a gathered piece ends its batch, so
    // the one gathering buffer is never shared by two pending pieces.
    std::array<platform::PacketParts, PIECES_PER_CALL> batch;
    std::size_t pending = 0;
    auto flush = [&]() -> int {
        const int error = m_connection.SendBatch(batch.data(), pending);
        pending = 0;
        if (error == 0) return 0;
        Trace(" WriteData", error);
        return VEXA_PIPE_FAILED;
    };
    unsigned char gathered[PIECE_SIZE];
    while (run < count) {
        // The parts of the next piece: up to PIECE_SIZE bytes from the runs.
        codec::ByteRun parts[2];
        std::size_t partCount = 0;
        std::size_t piece = 0;
        bool joined = false;
        while (run < count && piece < static_cast<std::size_t>(PIECE_SIZE)) {
            const std::size_t take =
                std::min(runs[run].size - offset, static_cast<std::size_t>(PIECE_SIZE) - piece);
            const unsigned char* from = static_cast<const unsigned char*>(runs[run].data) + offset;
            if (partCount == 2 && !joined) {
                // A third run in one piece: the parts so far move into one buffer.
                std::memcpy(gathered, parts[0].data, parts[0].size);
                std::memcpy(gathered + parts[0].size, parts[1].data, parts[1].size);
                parts[0] = {gathered, parts[0].size + parts[1].size};
                partCount = 1;
                joined = true;
            }
            if (joined) {
                std::memcpy(gathered + piece, from, take);
                parts[0].size += take;
            } else {
                parts[partCount++] = {from, take};
            }
            piece += take;
            offset += take;
            skipEmpty();
        }
        batch[pending++] = {parts[0].data, parts[0].size, partCount > 1 ? parts[1].data : nullptr,
                            partCount > 1 ? parts[1].size : 0};
        if (joined || pending == batch.size() || run == count) {
            if (int error = flush()) return error;
            written = static_cast<int>(piece);
        }
    }
    return 0;
}

std::size_t VexaPipe::ReadHeld(std::size_t size, void* buffer) {
    HeldPacket packet = std::move(m_held.front());
    m_held.pop_front();
    std::memcpy(buffer, packet.bytes.data(), std::min(size, packet.bytes.size()));
    return packet.length;
}

int VexaPipe::WaitForPiece() const {
    const int error = m_connection.valid() ? 0 : (HasPipe() ? ENOTCONN : EBADF);
    if (error || m_watchedProcess < 0) return error;
    return m_connection.WaitReadableWatching(m_watchedProcess);
}

int VexaPipe::ReadData(int size, void* buffer, int& bytesRead) {
    bytesRead = 0;
    if (size <= 0 || buffer == nullptr) return VEXA_BAD_ARGUMENT;
    std::size_t received = 0;
    if (!m_held.empty()) {
        // As a receive: a packet larger than the read is cut to it.
        received = ReadHeld(static_cast<std::size_t>(size), buffer);
        bytesRead = static_cast<int>(std::min(received, static_cast<std::size_t>(size)));
        return received > static_cast<std::size_t>(size) ? EMSGSIZE : 0;
    }
    int error = WaitForPiece();
    if (!error) error = m_connection.Receive(buffer, static_cast<std::size_t>(size), received);
    bytesRead = static_cast<int>(received);
    if (error) Trace(" ReadData", error);
    return error;
}

int VexaPipe::ReadPieces(int size, void* buffer, std::size_t* pieceLengths, std::size_t& pieces) {
    pieces = 0;
    if (size <= 0 || buffer == nullptr || pieceLengths == nullptr) return VEXA_BAD_ARGUMENT;
    const auto total = static_cast<std::size_t>(size);
    auto* into = static_cast<unsigned char*>(buffer);
    if (!m_held.empty()) {
        pieceLengths[0] = ReadHeld(std::min<std::size_t>(total, PIECE_SIZE), into);
        pieces = 1;
        return 0;
    }
    // Every slot holds a whole piece, so that a piece behind the message's
    // end is taken whole: a short rest of `size` is received aside first.
    const std::size_t full = std::min<std::size_t>(total / PIECE_SIZE, PIECES_PER_CALL);
    const std::size_t rest = full < PIECES_PER_CALL ? total - full * PIECE_SIZE : 0;
    unsigned char aside[PIECE_SIZE];
    std::array<platform::PacketSlot, PIECES_PER_CALL> slots;
    for (std::size_t i = 0; i < full; ++i) slots[i] = {into + i * PIECE_SIZE, PIECE_SIZE};
    const std::size_t count = full + (rest > 0 ? 1 : 0);
    if (rest > 0) slots[full] = {aside, PIECE_SIZE};

    int error = WaitForPiece();
    std::size_t taken = 0;
    if (!error) error = m_connection.ReceiveBatch(slots.data(), count, pieceLengths, taken);
    if (error) {
        Trace(" ReadData", error);
        return error;
    }
    pieces = taken;
    for (std::size_t i = 0; i < taken; ++i) {
        const std::size_t slot = i < full ? PIECE_SIZE : rest;
        if (pieceLengths[i] == slot) continue;
        pieces = i + 1;
        for (std::size_t j = i + 1; j < taken; ++j) {
            const auto* bytes = static_cast<const unsigned char*>(slots[j].data);
            const std::size_t kept = std::min<std::size_t>(pieceLengths[j], PIECE_SIZE);
            m_held.push_back({std::vector<unsigned char>(bytes, bytes + kept), pieceLengths[j]});
        }
        break;
    }
    if (pieces > full)
        std::memcpy(into + full * PIECE_SIZE, aside, std::min(rest, pieceLengths[full]));
    return 0;
}

int VexaPipe::WaitReadable(unsigned milliseconds) const {
    return m_held.empty() ? m_connection.WaitReadable(milliseconds) : 0;
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
    m_held.clear();
    m_listener.close();
    m_writeConnected = false;
    m_connectAttempted = false;
    m_created = false;
    Trace(" ClosePipe", 0);
    return 0;
}
