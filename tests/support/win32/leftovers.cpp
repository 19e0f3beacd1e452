#include "leftovers.h"

// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <cstdio>
#include <string>

int RunningChildren() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Process32First(snapshot, &entry); more;
         more = ::Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == ::GetCurrentProcessId()) {
            std::printf("     still running: %s (%lu)\n", entry.szExeFile, entry.th32ProcessID);
            ++count;
        }
    }
    ::CloseHandle(snapshot);
    return count;
}

// Named pipes live while a handle to them is open: one listed is in use.
std::vector<std::string> OwnChannels() {
    char pid[16];
    std::snprintf(pid, sizeof pid, "%04lx", ::GetCurrentProcessId());
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA("\\\\.\\pipe\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::string(found.cFileName).rfind(pid, 0) == 0) names.emplace_back(found.cFileName);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
}
