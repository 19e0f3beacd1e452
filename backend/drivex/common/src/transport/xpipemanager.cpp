#include "transport/xpipemanager.h"

#include <algorithm>

#include "platform/localchannel.h"
#include "runtime/dxtracer.h"
#include "transport/dxcmddispatcher.h"
#include "transport/monitor.h"

namespace transport {

std::string PipeNameRoot() { return platform::PipeNamePrefix(); }

std::string PipeSafeName(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-';
        if (!allowed) c = '_';
    }
    return safe;
}

}  // namespace transport

XPipes::XPipes(std::string levelPrefix) : m_prefix(std::move(levelPrefix)) {
    GetSyntaxPipe();
    GetSyntaxResultPipe();
    GetXDAPIPipe();
    GetXDAPIResultPipe();
}

VexaPipe* XPipes::Ensure(std::unique_ptr<VexaPipe>& pipe, const char* constant) {
    if (!pipe) {
        pipe = std::make_unique<VexaPipe>(m_prefix + constant);
        DxTrace(std::string(constant) + ":" + pipe->GetPipeName());
    }
    return pipe.get();
}

XPipeSuit::XPipeSuit(std::string name, XPipeManager& manager)
    : m_name(std::move(name)), m_manager(manager) {}

XPipeSuit::~XPipeSuit() {
    while (!m_pipeSets.empty()) m_pipeSets.pop_back();
    m_dispatcher.reset();
    m_readerMonitor.reset();
    m_writerMonitor.reset();
}

MonitorThread* XPipeSuit::startMonitor(bool reader, void (*partnerLost)()) {
    std::unique_ptr<MonitorThread>& slot = reader ? m_readerMonitor : m_writerMonitor;
    if (!slot) {
        slot = std::make_unique<MonitorThread>(
            getPipeNamePrefix() + (reader ? "P2C" : "C2P"),
            reader ? MonitorThread::kReader : MonitorThread::kWriter);
        slot->setPartnerLostCallback(partnerLost);
        slot->Start();
    }
    return slot.get();
}

int XPipeSuit::stopMonitor(bool reader) {
    if (MonitorThread* monitor = getMonitor(reader)) monitor->stop();
    return 0;
}

MonitorThread* XPipeSuit::getMonitor(bool reader) {
    return (reader ? m_readerMonitor : m_writerMonitor).get();
}

DXCmdDispatcher* XPipeSuit::getCmdDispatcher(bool isServer) {
    if (!m_dispatcher)
        m_dispatcher = std::make_unique<DXCmdDispatcher>(getPipeNamePrefix(), isServer);
    return m_dispatcher.get();
}

std::string XPipeSuit::getPipeNamePrefix() const {
    return transport::PipeNameRoot() + transport::PipeSafeName(m_manager.getPipePid()) +
           transport::PipeSafeName(m_name);
}

void XPipeSuit::increaseIndex() {
    ++m_pipe_index;
    while (static_cast<int>(m_pipeSets.size()) < m_pipe_index + 1) {
        m_pipeSets.push_back(
            std::make_unique<XPipes>(getPipeNamePrefix() + std::to_string(m_pipe_index)));
    }
}

void XPipeSuit::decreaseIndex() {
    if (m_pipe_index < 0) {
        DxTrace("m_pipe_index >= 0");
        return;
    }
    --m_pipe_index;
    if (m_pipeSets.size() > 1 && static_cast<int>(m_pipeSets.size()) > m_pipe_index + 1) {
        m_pipeSets.pop_back();
    }
}

XPipes* XPipeSuit::getXPipes() { return getXPipes(m_pipe_index); }

XPipes* XPipeSuit::getXPipes(int level) {
    if (level < 0 || level > m_pipe_index || level >= static_cast<int>(m_pipeSets.size()))
        return nullptr;
    return m_pipeSets[static_cast<size_t>(level)].get();
}

XPipeSuit* XPipeManager::getPipeSuit(const std::string& name) {
    for (auto& suit : m_suits) {
        if (suit->XName() == name) return suit.get();
    }
    m_suits.push_back(std::make_unique<XPipeSuit>(name, *this));
    return m_suits.back().get();
}

bool XPipeManager::holds(const XPipeSuit* suit) const {
    return std::any_of(m_suits.begin(), m_suits.end(),
                       [suit](const auto& held) { return held.get() == suit; });
}

void XPipeManager::removePipeSuit(const std::string& name) {
    auto found = std::find_if(m_suits.begin(), m_suits.end(),
                              [&](const auto& suit) { return suit->XName() == name; });
    if (found != m_suits.end()) m_suits.erase(found);
}

void XPipeManager::cleanup() {
    while (!m_suits.empty()) m_suits.pop_back();
}
