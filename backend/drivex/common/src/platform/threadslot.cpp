#include "platform/threadslot.h"

#include <pthread.h>

namespace platform {

ThreadSlot::ThreadSlot(Dispose dispose) {
    pthread_key_t key;
    m_valid = ::pthread_key_create(&key, dispose) == 0;
    m_key = m_valid ? static_cast<std::uintptr_t>(key) : 0;
}

void* ThreadSlot::Get() const {
    return m_valid ? ::pthread_getspecific(static_cast<pthread_key_t>(m_key)) : nullptr;
}

bool ThreadSlot::Set(void* value) {
    return m_valid && ::pthread_setspecific(static_cast<pthread_key_t>(m_key), value) == 0;
}

}  // namespace platform
