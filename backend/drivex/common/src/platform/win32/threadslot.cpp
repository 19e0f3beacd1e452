#include "platform/threadslot.h"

#include <windows.h>

namespace platform {

// Fiber-local storage calls its callback with a thread's value when the
// thread ends. On 64-bit Windows there is one calling convention, so the
// dispose function is the callback itself.
ThreadSlot::ThreadSlot(Dispose dispose) {
    const DWORD index = ::FlsAlloc(reinterpret_cast<PFLS_CALLBACK_FUNCTION>(dispose));
    m_valid = index != FLS_OUT_OF_INDEXES;
    m_key = m_valid ? index : 0;
}

void* ThreadSlot::Get() const {
    return m_valid ? ::FlsGetValue(static_cast<DWORD>(m_key)) : nullptr;
}

bool ThreadSlot::Set(void* value) {
    return m_valid && ::FlsSetValue(static_cast<DWORD>(m_key), value);
}

}  // namespace platform
