// Keeps the caller's calls off the pipes while a bulk transfer's thread
// submits its commands on them: the pipes carry one request and reply at a
// time, and the caller cannot see when the engine has answered the transfer.
// A call from the caller's thread waits until every transfer has ended; the
// transfer threads themselves pass. Shared by the caller's thread and the
// transfer threads; guarded by its mutex.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace api {

class TransferGate {
  public:
    // On the caller's thread, before a transfer's thread starts.
    void Enter();
    // For a transfer whose thread did not start.
    void Cancel();
    // First and last steps of a transfer's thread.
    void Adopt();
    void Leave();

    // Returns once no transfer of another thread is in flight.
    void WaitForTransfers();
    // The same within `limit`; false when a transfer is still in flight.
    bool WaitForTransfers(std::chrono::milliseconds limit);

  private:
    bool IdleFor(std::thread::id caller) const;

    std::mutex m_mutex;
    std::condition_variable m_ended;
    int m_inFlight = 0;
    std::vector<std::thread::id> m_transferThreads;
};

}  // namespace api
