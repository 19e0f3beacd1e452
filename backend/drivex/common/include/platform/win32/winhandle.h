// Shared by the Windows platform sources; not part of the platform interface.
// Kernel handles keep only their low 32 bits significant on 64-bit Windows
// (the rule that lets 32- and 64-bit processes share them), so the platform's
// int handle slots hold them.
#pragma once

#include <windows.h>

#include <cstdint>

namespace platform::win32 {

inline HANDLE AsHandle(int value) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(value));
}
inline int AsInt(HANDLE handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

// The errno value callers above the platform compare with (ENOENT, EPIPE,
// ETIMEDOUT, ...); a Windows code without a counterpart is passed on as it is.
int ErrnoFrom(DWORD windowsError);
inline int LastErrno() { return ErrnoFrom(::GetLastError()); }

// A manual-reset event for one overlapped operation at a time.
class OverlappedIo {
  public:
    OverlappedIo() { m_overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    OverlappedIo(const OverlappedIo&) = delete;
    OverlappedIo& operator=(const OverlappedIo&) = delete;
    ~OverlappedIo() {
        if (m_overlapped.hEvent) ::CloseHandle(m_overlapped.hEvent);
    }

    bool valid() const { return m_overlapped.hEvent != nullptr; }
    OVERLAPPED* get() { return &m_overlapped; }
    HANDLE event() const { return m_overlapped.hEvent; }
    // The outcome of an operation started on `file`: `started` is its return
    // value. Waits for it when it went pending. Returns the Windows code
    // (0, ERROR_MORE_DATA, ERROR_BROKEN_PIPE, ...).
    DWORD Finish(HANDLE file, BOOL started, DWORD& transferred);
    // Cancels the pending operation and waits until it is gone.
    void Cancel(HANDLE file);

  private:
    OVERLAPPED m_overlapped{};
};

}  // namespace platform::win32
