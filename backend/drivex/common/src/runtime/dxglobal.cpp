#include "runtime/dxglobal.h"

#include <atomic>
#include <mutex>
#include <set>

#include "platform/process.h"
#include "runtime/stringutil.h"

// ---- Plain values ----------------------------------------------------------

namespace {

std::atomic<bool> g_initialised{false};
std::atomic<bool> g_inStat{false};
std::atomic<int> g_appMode{-1};
std::atomic<bool> g_useSyncDx{false};
std::atomic<ExpandEnvStrHook> g_expandHook{nullptr};

std::mutex& NameLock() {
    static std::mutex lock;
    return lock;
}

std::string& XNameStorage() {
    static std::string name;
    return name;
}

// Every home ever used stays interned, so a pointer handed out by GetVEXAHOME
// never dangles when the home changes later. Homes change rarely and equal
// values share one entry.
class HomeStore {
  public:
    const char* Get() {
        const char* current = m_current.load(std::memory_order_acquire);
        if (*current != '\0') return current;
        std::string fromEnvironment;
        if (!platform::GetEnvironment("VEXA_HOME", fromEnvironment) || fromEnvironment.empty())
            return current;
        std::lock_guard<std::mutex> guard(m_lock);
        // A home set while we looked at the environment wins.
        if (*m_current.load(std::memory_order_relaxed) == '\0')
            Install(Normalised(fromEnvironment));
        return m_current.load(std::memory_order_relaxed);
    }

    void Set(const std::string& home) {
        std::lock_guard<std::mutex> guard(m_lock);
        Install(Normalised(home));
    }

  private:
    static std::string Normalised(std::string home) {
        if (home.size() > 1 && (home.back() == '/' || home.back() == '\\')) home.pop_back();
        return home;
    }

    void Install(const std::string& home) {
        const std::string& stored = *m_homes.insert(home).first;
        m_current.store(stored.c_str(), std::memory_order_release);
    }

    std::mutex m_lock;
    std::set<std::string> m_homes;
    std::atomic<const char*> m_current{""};
};

HomeStore& Home() {
    static HomeStore store;
    return store;
}

}  // namespace

bool IsDXGlobalInit() { return g_initialised.load(); }
void SetDXGlobalInitFin(bool initialised) { g_initialised.store(initialised); }

bool IsInStat() { return g_inStat.load(); }
void SetInStat(bool inEngine) { g_inStat.store(inEngine); }

int GetAppMode() { return g_appMode.load(); }
void SetAppMode(int mode) { g_appMode.store(mode); }

std::string GetXName() {
    std::lock_guard<std::mutex> guard(NameLock());
    return XNameStorage();
}

void SetXName(const std::string& name) {
    std::string upper = name.empty() ? std::string("UNNAMEDX") : textutil::UpperString(name);
    std::lock_guard<std::mutex> guard(NameLock());
    XNameStorage() = std::move(upper);
}

void runtime::ClearXName() {
    std::lock_guard<std::mutex> guard(NameLock());
    XNameStorage().clear();
}

const char* GetVEXAHOME() { return Home().Get(); }

void SetVEXAHOME(const char* home) {
    if (home == nullptr || *home == '\0') return;
    Home().Set(home);
}

void SetExpandEnvStr(ExpandEnvStrHook hook) { g_expandHook.store(hook); }

bool ExpandEnvStr(const std::string& input, std::string& output) {
    ExpandEnvStrHook hook = g_expandHook.load();
    if (hook == nullptr) {
        output = input;
        return false;
    }
    // Callers pass one string as both; the hook gets a stable input.
    const std::string source = input;
    return hook(source, output);
}

void GSetUseSyncDx(bool useSync) { g_useSyncDx.store(useSync); }
bool GGetUseSyncDx() { return g_useSyncDx.load(); }

void DecoratePathEnd(std::string& path) {
    if (path.empty()) return;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.back() != '/') path += '/';
}

// ---- Owned objects, start-up and tear-down, sync-syntax slot ---------------
