#include "platform/dynlib.h"

#include <windows.h>

#include <cerrno>
#include <utility>

#include "platform/winhandle.h"

namespace platform {
namespace {

// The system's text for `code`, without its closing line break.
std::string MessageText(DWORD code, const std::string& fallback) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length && text ? std::string(text, length) : fallback;
    if (text) ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message + " (" + std::to_string(code) + ")";
}

}  // namespace

int DynamicLibrary::Open(const std::string& path, DynamicLibrary& out, std::string& error) {
    error.clear();
    if (path.empty()) {
        error = "empty library path";
        return ENOENT;
    }
    HMODULE module = ::LoadLibraryA(path.c_str());
    if (!module) {
        const DWORD code = ::GetLastError();
        error = MessageText(code, "cannot load " + path);
        // A missing file is ENOENT; a file that is no loadable library keeps
        // the system's own code (ERROR_BAD_EXE_FORMAT, ...).
        return win32::ErrnoFrom(code);
    }
    out.Close();
    out.m_handle = module;
    return 0;
}

void* DynamicLibrary::Symbol(const std::string& name, std::string& error) const {
    error.clear();
    if (!m_handle) {
        error = "no library loaded";
        return nullptr;
    }
    FARPROC address = ::GetProcAddress(static_cast<HMODULE>(m_handle), name.c_str());
    if (!address) error = MessageText(::GetLastError(), "undefined symbol: " + name);
    return reinterpret_cast<void*>(address);
}

void DynamicLibrary::Close() {
    if (m_handle) ::FreeLibrary(static_cast<HMODULE>(std::exchange(m_handle, nullptr)));
}

bool KeepLibraryLoaded(const void* address) {
    HMODULE module = nullptr;
    return ::GetModuleHandleExA(
               GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
               static_cast<const char*>(address), &module) != 0;
}

const char* SharedLibrarySuffix() { return ".dll"; }

}  // namespace platform
