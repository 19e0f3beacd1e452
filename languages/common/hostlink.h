// What a language library keeps of the host that loaded it: the callback
// table and the output function, and the one route output takes (the output
// function, else the table's postOutput). Shared by the language libraries.
#pragma once

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <string>

#include "hosting/vexalanguage.h"

namespace vexalanguage {

class HostLink {
  public:
    void setCallbacks(VexaDxCallbacks* table) { m_callbacks = table; }
    void setOutput(VexaPostOutputFn output) { m_output = output; }

    bool hasOutputRoute() const {
        VexaDxCallbacks* callbacks = m_callbacks.load();
        return m_output.load() || (callbacks && callbacks->postOutput);
    }

    // The route's status in `status`; false, and nothing posted, without one.
    bool post(const char* text, std::size_t length, int& status) const {
        const int size = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
        if (VexaPostOutputFn output = m_output.load()) {
            status = output(text, size);
            return true;
        }
        VexaDxCallbacks* callbacks = m_callbacks.load();
        if (!callbacks || !callbacks->postOutput) return false;
        status = callbacks->postOutput(text, size);
        return true;
    }

    void trace(const std::string& text) const {
        VexaDxCallbacks* callbacks = m_callbacks.load();
        if (callbacks && callbacks->trace) callbacks->trace(text.c_str());
    }

  private:
    std::atomic<VexaPostOutputFn> m_output{nullptr};
    std::atomic<VexaDxCallbacks*> m_callbacks{nullptr};
};

// An entry point's body: no exception crosses into the host, which is C.
template <typename Body>
int Guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return 1;
    }
}

}  // namespace vexalanguage
