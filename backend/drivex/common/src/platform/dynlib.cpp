#include "platform/dynlib.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {
namespace {

std::string TakeLoaderError(const std::string& fallback) {
    const char* text = ::dlerror();
    return text && *text ? std::string(text) : fallback;
}

// The loader gives no code; a path is checked directly, a bare name is searched
// along the library path, so only the loader's text can tell.
bool FileIsMissing(const std::string& path, const std::string& error) {
    if (path.empty()) return true;
    if (path.find('/') != std::string::npos) {
        struct stat info;
        return ::stat(path.c_str(), &info) != 0 && errno == ENOENT;
    }
    return error.find(std::strerror(ENOENT)) != std::string::npos;
}

}  // namespace

int DynamicLibrary::Open(const std::string& path, DynamicLibrary& out, std::string& error) {
    error.clear();
    ::dlerror();
    void* handle = path.empty() ? nullptr : ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        error = TakeLoaderError(path.empty() ? "empty library path" : "cannot load " + path);
        return FileIsMissing(path, error) ? ENOENT : ELIBBAD;
    }
    out.Close();
    out.m_handle = handle;
    return 0;
}

void* DynamicLibrary::Symbol(const std::string& name, std::string& error) const {
    error.clear();
    if (!m_handle) {
        error = "no library loaded";
        return nullptr;
    }
    ::dlerror();
    void* address = ::dlsym(m_handle, name.c_str());
    if (!address) error = TakeLoaderError("undefined symbol: " + name);
    return address;
}

void DynamicLibrary::Close() {
    if (m_handle) ::dlclose(std::exchange(m_handle, nullptr));
}

bool KeepLibraryLoaded(const void* address) {
    Dl_info info;
    if (::dladdr(address, &info) == 0 || !info.dli_fname) return false;
    // The added reference is never dropped; RTLD_NODELETE outlasts any other.
    return ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

const char* SharedLibrarySuffix() { return ".so"; }

}  // namespace platform
