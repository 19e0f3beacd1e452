#include "hosting/linefeedslot.h"

#include <cstring>

namespace hosting {

namespace {

constexpr const char* kSubmitCall = "vexapkg.Submit";

}  // namespace

LineFeedSlot& LineFeedSlot::Instance() {
    static LineFeedSlot* slot = new LineFeedSlot;
    return *slot;
}

std::string LineFeedSlot::TakeHandOver() {
    m_request.WaitForSignal();
    m_request.Unsignal();
    std::string line = m_line;
    m_done.Signal();
    return line;
}

int LineFeedSlot::TakeLine(char* buffer, int size) {
    for (;;) {
        m_request.WaitForSignal();
        m_request.Unsignal();
        const std::string line = m_line;
        if (line == END_MARKER) {
            m_done.Signal();
            continue;
        }
        int result = 0;
        if (buffer && size > 0) std::memset(buffer, 0, static_cast<std::size_t>(size));
        if (buffer && size > 0 && line.size() < static_cast<std::size_t>(size)) {
            std::memcpy(buffer, line.c_str(), line.size() + 1);
        } else {
            result = 1;
        }
        m_done.Signal();
        return result;
    }
}

void LineFeedSlot::HandOver(const std::string& line) {
    m_line = line;
    m_request.Signal();
    m_done.WaitForSignal();
    m_done.Unsignal();
}

int LineFeedSlot::FeedText(const char* text) {
    std::string rest = text ? text : "";
    if (rest.empty() || rest.back() != '\n') rest.push_back('\n');
    int snapshot = m_depth.load();
    if (snapshot >= 1) {
        std::lock_guard<std::mutex> guard(m_pendingLock);
        m_pending.push_back(std::move(rest));
        return 0;
    }
    while (!rest.empty()) {
        // Every piece of the text ends in a line feed, so one is always found.
        const std::string line = rest.substr(0, rest.find('\n') + 1);
        {
            PlugInCriticalSection::Lock guard(&m_lock);
            HandOver(line);
        }
        const int depth = m_depth.load();
        if (depth >= snapshot) {
            // The submit call's line feed stays, so the runtime sees it end.
            const bool submits = line.find(kSubmitCall) != std::string::npos;
            rest.erase(0, submits ? line.size() - 1 : line.size());
        } else {
            ResumePending(rest, depth);
            snapshot = depth;
        }
    }
    PlugInCriticalSection::Lock guard(&m_lock);
    HandOver(END_MARKER);
    return 0;
}

void LineFeedSlot::ResumePending(std::string& text, int depth) {
    std::lock_guard<std::mutex> guard(m_pendingLock);
    if (depth >= 0 && static_cast<std::size_t>(depth) < m_pending.size()) {
        text.insert(0, m_pending[static_cast<std::size_t>(depth)]);
    }
    if (!m_pending.empty()) m_pending.pop_back();
}

int LineFeedSlot::LowerSubmitDepth() {
    int depth = m_depth.load();
    while (depth >= 1 && !m_depth.compare_exchange_weak(depth, depth - 1)) {
    }
    return depth >= 1 ? depth - 1 : depth;
}

std::vector<std::string> LineFeedSlot::PendingTexts() const {
    std::lock_guard<std::mutex> guard(m_pendingLock);
    return m_pending;
}

}  // namespace hosting
