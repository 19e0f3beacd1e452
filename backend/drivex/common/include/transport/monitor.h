// A heartbeat between two processes on a pipe of its own: the writer sends
// the word 1 about once a second and 3 when it ends in order; the reader
// notices a partner that vanished without the word 3 and then calls the
// partner-lost callback once, on its own thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "runtime/pluginthreadhot.h"
#include "transport/vexapipe.h"

class MonitorThread : public PlugInThreadHot {
  public:
    enum Type : int { kWriter = 0, kReader = 1 };
    static constexpr std::int32_t kAlive = 1;
    static constexpr std::int32_t kOrderlyEnd = 3;
    static constexpr unsigned kBeatIntervalMs = 1000;
    using PartnerLostCallback = void (*)();

    // A reader creates its pipe at once, so the writer can open it.
    MonitorThread(const std::string& pipeName, int monitorType);
    ~MonitorThread() override;

    void setPartnerLostCallback(PartnerLostCallback callback) { m_callback = callback; }
    // Asks the thread to end and waits up to 3000 ms; a writer says 3 first.
    void stop();

    bool isStopped() const { return m_stopped.load(); }
    bool isPartnerAlive() const { return m_partnerAlive.load(); }
    bool isNormalEnd() const { return m_normalEnd.load(); }
    int monitorType() const { return m_type; }
    const std::string& pipeName() const { return m_pipeName; }

  protected:
    std::uint32_t Run() override;

  private:
    void WriterLoop();
    void ReaderLoop();
    // Sleeps one beat interval; a stop request cuts it short.
    void PauseBetweenBeats();

    VexaPipe m_pipe;
    std::string m_pipeName;
    std::atomic<bool> m_normalEnd{true};
    std::atomic<bool> m_partnerAlive;
    std::atomic<bool> m_stopped{true};
    std::atomic<bool> m_stopRequested{false};
    const int m_type;
    std::atomic<PartnerLostCallback> m_callback{nullptr};
    std::mutex m_pauseLock;
    std::condition_variable m_pauseWake;
};
