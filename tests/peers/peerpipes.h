// What every peer program needs to reach the test's pipe: its partner may
// not have created the pipe yet when the peer starts.
#pragma once

#include <chrono>
#include <thread>

#include "transport/vexapipe.h"

namespace peer {

inline bool OpenWithRetry(VexaPipe& pipe) {
    for (int attempt = 0; attempt < 250; ++attempt) {
        if (pipe.VEXACreateFile() == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace peer
