#include "transfergate.h"

#include <algorithm>

namespace api {

void TransferGate::Enter() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_inFlight;
}

void TransferGate::Cancel() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_inFlight == 0) m_ended.notify_all();
}

void TransferGate::Adopt() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_transferThreads.push_back(std::this_thread::get_id());
}

void TransferGate::Leave() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::erase(m_transferThreads, std::this_thread::get_id());
    if (--m_inFlight == 0) m_ended.notify_all();
}

bool TransferGate::IdleFor(std::thread::id caller) const {
    if (m_inFlight == 0) return true;
    return std::find(m_transferThreads.begin(), m_transferThreads.end(), caller) !=
           m_transferThreads.end();
}

void TransferGate::WaitForTransfers() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::thread::id caller = std::this_thread::get_id();
    m_ended.wait(lock, [&] { return IdleFor(caller); });
}

bool TransferGate::WaitForTransfers(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::thread::id caller = std::this_thread::get_id();
    return m_ended.wait_for(lock, limit, [&] { return IdleFor(caller); });
}

}  // namespace api
