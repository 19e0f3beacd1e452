#include "transport/monitor.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "runtime/dxtracer.h"

namespace {

constexpr int kOpenAttempts = 20;
constexpr auto kOpenPause = std::chrono::milliseconds(100);
// A reader looks at its stop request this often while it waits.
constexpr unsigned kReaderSliceMs = 100;
constexpr int kReadBufferSize = 8192;

}  // namespace

MonitorThread::MonitorThread(const std::string& pipeName, int monitorType)
    : m_pipe(pipeName),
      m_pipeName(pipeName),
      m_partnerAlive(monitorType == kWriter),
      m_type(monitorType) {
    if (m_type == kReader) {
        if (m_pipe.CreatePipe() == 0) m_pipe.DisconnectPipe();
    } else if (m_type != kWriter) {
        DxTrace("Un_supported_monitorType");
    }
}

MonitorThread::~MonitorThread() {
    stop();
    // The thread must be gone before the pipe it uses.
    WaitForStop();
    m_pipe.ClosePipe();
}

void MonitorThread::stop() {
    if (!HasThread()) return;
    m_stopRequested = true;
    { std::lock_guard<std::mutex> guard(m_pauseLock); }
    m_pauseWake.notify_all();
    WaitForStop(kDefaultStopWait);
}

std::uint32_t MonitorThread::Run() {
    m_stopped = false;
    if (m_type == kWriter) {
        WriterLoop();
    } else if (m_type == kReader) {
        ReaderLoop();
    }
    m_stopped = true;
    if (!m_normalEnd && m_callback.load()) m_callback.load()();
    return 0;
}

void MonitorThread::WriterLoop() {
    for (int attempt = 0; attempt < kOpenAttempts && !m_stopRequested; ++attempt) {
        if (m_pipe.VEXACreateFile() == 0) break;
        std::this_thread::sleep_for(kOpenPause);
    }
    for (;;) {
        const bool ending = m_stopRequested.load();
        const std::int32_t word = ending ? kOrderlyEnd : kAlive;
        // A partner that was not there yet may have come since.
        if (!m_pipe.HasPipe()) m_pipe.VEXACreateFile();
        // The pipe end reports a broken connection as a plain write failure;
        // on an open connection that can only mean the reader is gone.
        const bool open = m_pipe.HasPipe();
        int written = 0;
        if (m_pipe.WriteData(&word, sizeof word, written) != 0 && open) m_stopRequested = true;
        if (ending || m_stopRequested) return;
        PauseBetweenBeats();
    }
}

void MonitorThread::ReaderLoop() {
    int connected = ETIMEDOUT;
    while (!m_stopRequested &&
           (connected = m_pipe.ConnectPipeWithin(kReaderSliceMs)) == ETIMEDOUT) {
    }
    if (connected) return;
    char buffer[kReadBufferSize];
    while (!m_stopRequested) {
        std::memset(buffer, 0, sizeof buffer);
        int count = 0;
        const int error = m_pipe.ReadDataWithin(sizeof buffer, buffer, count, kReaderSliceMs);
        if (error == ETIMEDOUT) continue;
        // Any other failure leaves nothing to hear the partner on.
        if (error) {
            m_normalEnd = false;
            m_partnerAlive = false;
            return;
        }
        if (count < static_cast<int>(sizeof(std::int32_t))) continue;
        std::int32_t word = 0;
        std::memcpy(&word, buffer, sizeof word);
        if (word == kAlive) {
            m_partnerAlive = true;
        } else if (word == kOrderlyEnd) {
            m_partnerAlive = false;
            return;
        }
    }
}

void MonitorThread::PauseBetweenBeats() {
    std::unique_lock<std::mutex> lock(m_pauseLock);
    m_pauseWake.wait_for(lock, std::chrono::milliseconds(kBeatIntervalMs),
                         [this] { return m_stopRequested.load(); });
}
