// Drivers: each runs program text of one language through that language's
// host at one nesting level. DriveX is the base run (pre action, text, post
// action) on a thread of its own; VexaDX_P is the language-process driver
// that takes a block's text from the engine over the level's pipes and
// sends back its status; CmdVexaDX runs blocks on a thread the host program
// chooses, fed through the sync-syntax slot.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/pluginsynchevent.h"
#include "runtime/pluginthreadhot.h"

class StatisticsX;
class XConfigOptions;

class DriveX {
  public:
    DriveX(std::string languageName, StatisticsX* host, XConfigOptions* options);
    DriveX(const DriveX&) = delete;
    DriveX& operator=(const DriveX&) = delete;
    // Waits for the driver thread, which still uses the object.
    virtual ~DriveX();

    virtual int initializeX();
    virtual int invokeX();
    virtual int runX();
    virtual int ExecuteXLines(const std::vector<std::string>& lines);

    // 0, or VEXA_DRIVER_THREAD_FAILED when the thread cannot start.
    int startX();
    std::uint32_t getReturnValue() const;

    const std::string& XName() const { return m_name; }
    int getIndex() const { return m_index; }
    void setIndex(int index) { m_index = index; }
    void setSyntax(const std::vector<std::string>* lines) { m_syntax = lines; }
    bool isStopped() const { return !m_running.load(); }
    // Returns once the running flag is clear; woken by the driver's end.
    void awaitStopped() { m_stopped.WaitForSignal(); }
    // As awaitStopped, false when the flag is still set after the limit.
    bool awaitStopped(unsigned milliseconds) { return m_stopped.WaitForSignal(milliseconds); }
    // True once the driver thread (if any) has ended, false when it still
    // runs after the limit: the driver must then not be destroyed.
    bool awaitThreadEnd(unsigned milliseconds) {
        return !m_thread || m_thread->WaitForStop(milliseconds);
    }
    StatisticsX* host() const { return m_host; }

  protected:
    void setRunning(bool running) {
        m_running = running;
        running ? m_stopped.Unsignal() : m_stopped.Signal();
    }
    XConfigOptions* options() const { return m_options; }

  private:
    class DriveXThread : public PlugInThreadHot {
      public:
        explicit DriveXThread(DriveX& driver) : m_driver(driver) {}
        ~DriveXThread() override { WaitForStop(kWaitWithoutLimit); }

      protected:
        std::uint32_t Run() override { return static_cast<std::uint32_t>(m_driver.runX()); }

      private:
        static constexpr unsigned kWaitWithoutLimit = ~0u;
        DriveX& m_driver;
    };

    StatisticsX* m_host;
    XConfigOptions* m_options;
    std::string m_name;
    int m_index = 0;
    const std::vector<std::string>* m_syntax = nullptr;
    std::unique_ptr<DriveXThread> m_thread;
    std::atomic<bool> m_running{false};
    // Signalled while the running flag is clear (manual reset).
    PlugInSynchEvent m_stopped{true, true};
};

class VexaDX_P : public DriveX {
  public:
    using DriveX::DriveX;
    int runX() override;
    // R's runtime starts itself: the host is only marked and handed the table.
    int initR();

  private:
    int RunReceivedBlock(const std::vector<std::string>& lines);
};

class CmdVexaDX : public DriveX {
  public:
    using DriveX::DriveX;
    int initializeX() override;
    // Runs every block handed to the sync-syntax slot on the calling thread,
    // until the slot is stopped; the status of the last block.
    int invokeX() override;
};
