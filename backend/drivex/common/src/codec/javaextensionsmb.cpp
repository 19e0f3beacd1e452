#include "codec/javaextensionsmb.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "codec/ownedbuffer.h"
#include "runtime/statuscodes.h"

namespace {

struct ExtensionState {
    std::mutex lock;
    std::string extensionPath;
    std::string commandName;
    codec::OwnedBuffer data;  // size() is the count of bytes copied in
    std::int32_t dataLen = 0;
    bool isPackage = true;
};

// Built on first use, so that no static initialisation order matters.
ExtensionState& State() {
    static ExtensionState state;
    return state;
}

void CleanUpLocked(ExtensionState& state) {
    state.data.reset();
    state.extensionPath.clear();
    state.commandName.clear();
    state.isPackage = true;
}

}  // namespace

void JavaExtensionSmb::SetExtensionPath(const std::string& path) {
    std::lock_guard<std::mutex> guard(State().lock);
    State().extensionPath = path;
}

std::string JavaExtensionSmb::GetExtensionPath() {
    std::lock_guard<std::mutex> guard(State().lock);
    return State().extensionPath;
}

void JavaExtensionSmb::SetCommandName(const std::string& name) {
    std::lock_guard<std::mutex> guard(State().lock);
    State().commandName = name;
}

std::string JavaExtensionSmb::GetCommandName() {
    std::lock_guard<std::mutex> guard(State().lock);
    return State().commandName;
}

int JavaExtensionSmb::SetDataLen(std::int32_t length) {
    if (length < 0) return VEXA_BAD_ARGUMENT;
    std::lock_guard<std::mutex> guard(State().lock);
    State().dataLen = length;
    return 0;
}

std::int32_t JavaExtensionSmb::GetDataLen() {
    std::lock_guard<std::mutex> guard(State().lock);
    return State().dataLen;
}

int JavaExtensionSmb::SetSendBuf(const void* data) {
    ExtensionState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const auto length = static_cast<std::size_t>(state.dataLen);
    if (length == 0) {
        state.data.reset();
        return 0;
    }
    if (data == nullptr) return VEXA_BAD_ARGUMENT;
    void* copy = std::malloc(length);
    if (copy == nullptr) return ENOMEM;
    std::memcpy(copy, data, length);
    state.data.reset(copy, length);
    return 0;
}

const void* JavaExtensionSmb::GetSendBuf(std::int32_t& length) {
    std::lock_guard<std::mutex> guard(State().lock);
    length = static_cast<std::int32_t>(State().data.size());
    return State().data.data();
}

int JavaExtensionSmb::SendWith(const std::function<int(const void*, std::int32_t)>& write) {
    ExtensionState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    int result = write(state.data.data(), static_cast<std::int32_t>(state.data.size()));
    if (result == 0) CleanUpLocked(state);
    return result;
}

void JavaExtensionSmb::SetPackageMode(bool isPackage) {
    std::lock_guard<std::mutex> guard(State().lock);
    State().isPackage = isPackage;
}

bool JavaExtensionSmb::IsPackageMode() {
    std::lock_guard<std::mutex> guard(State().lock);
    return State().isPackage;
}

void JavaExtensionSmb::CleanUp() {
    std::lock_guard<std::mutex> guard(State().lock);
    CleanUpLocked(State());
}
