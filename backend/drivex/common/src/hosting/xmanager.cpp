#include "hosting/xmanager.h"

#include <algorithm>
#include <chrono>

#include "hosting/drivex.h"
#include "hosting/dxstartup.h"
#include "hosting/inpstatisticsx.h"
#include "hosting/statisticsx.h"
#include "runtime/dxglobal.h"
#include "runtime/dxtracer.h"
#include "runtime/keptalive.h"
#include "runtime/statuscodes.h"
#include "runtime/vexadxconfigreader.h"
#include "transport/xpipemanager.h"

XManager::XManager() = default;
XManager::~XManager() { cleanup(); }

StatisticsX* XManager::getStatisticsX(const std::string& name) const {
    auto found = m_hosts.find(name);
    return found == m_hosts.end() ? nullptr : found->second.get();
}

void XManager::addStatisticsX(const std::string& name, StatisticsX* host) {
    std::unique_ptr<StatisticsX> owned(host);
    m_hosts.erase(name);
    m_hosts.emplace(name, std::move(owned));
}

void XManager::destoryStatisticsX(const std::string& name) { m_hosts.erase(name); }

void XManager::addVexaDX(DriveX* driver) {
    std::unique_ptr<DriveX> owned(driver);
    if (!driver) return;
    if (DxTracer* tracer = GetDxTracer()) tracer->setXName(driver->XName());
    if (XPipeManager* pipes = GetXPipeManager()) {
        XPipeSuit* suit = pipes->getPipeSuit(driver->XName());
        suit->increaseIndex();
        driver->setIndex(suit->getIndex());
    }
    m_drivers.push_back(std::move(owned));
}

DriveX* XManager::getBackVexaDX() const {
    return m_drivers.empty() ? nullptr : m_drivers.back().get();
}

// The level goes down only once the driver's block thread, which works on
// that level's pipes, has ended.
void XManager::destoryVexaDX(DriveX* driver) {
    if (!driver || driver != getBackVexaDX()) return;
    const std::string name = driver->XName();
    m_drivers.pop_back();
    if (XPipeManager* pipes = GetXPipeManager()) pipes->getPipeSuit(name)->decreaseIndex();
}

void XManager::stopX() { m_hosts.clear(); }

// Drivers first: releasing one waits for its block thread, which may still be
// inside the language the host would unload.
bool XManager::cleanup(unsigned milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!m_drivers.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (!m_drivers.back()->awaitThreadEnd(
                static_cast<unsigned>(std::max<long long>(0, left.count())))) {
            leaveBehind();
            return false;
        }
        destoryVexaDX(m_drivers.back().get());
    }
    stopX();
    return true;
}

// A block that never returns keeps its thread in the language: ending the
// process is the only way out, and until then nothing it uses may go.
void XManager::leaveBehind() {
    DxTrace(
        "XManager: a block thread did not end in time; its driver and the hosts are left alive");
    for (auto& driver : m_drivers) runtime::KeepAliveForGood(std::move(driver));
    m_drivers.clear();
    for (auto& host : m_hosts) runtime::KeepAliveForGood(std::move(host.second));
    m_hosts.clear();
    m_leftBehind = true;
}

namespace {

// The host of the language, made when the registry has none; null with the
// refusal's code otherwise.
StatisticsX* HostFor(const std::string& name, bool vexaDrive, int& status,
                     XConfigOptions*& options) {
    XManager* registry = GetXManager();
    if (!IsDXGlobalInit() || !registry) {
        status = 1;
        return nullptr;
    }
    VexaDXConfigReader* config = VexaDXConfigReader::GetInstance();
    if (!config->IsSupportLanguage(name)) {
        DxTrace("Unsupported external language:" + name);
        status = VEXA_UNSUPPORTED_LANGUAGE;
        return nullptr;
    }
    options = config->GetOptions(name);
    StatisticsX* host = registry->getStatisticsX(name);
    if (!host) {
        host = new InpStatisticsX(options, vexaDrive);
        registry->addStatisticsX(name, host);
    }
    status = 0;
    return host;
}

}  // namespace

int CreateLanguageX(const std::string& name, bool vexaDrive) {
    int status = 0;
    XConfigOptions* options = nullptr;
    StatisticsX* host = HostFor(name, vexaDrive, status, options);
    if (!host) return status;
    GetXManager()->addVexaDX(new VexaDX_P(name, host, options));
    return 0;
}

std::unique_ptr<CmdVexaDX> CreateCmdVexaDX(const std::string& name, bool vexaDrive) {
    int status = 0;
    XConfigOptions* options = nullptr;
    StatisticsX* host = HostFor(name, vexaDrive, status, options);
    if (!host) return nullptr;
    return std::make_unique<CmdVexaDX>(name, host, options);
}
