// Reading what the test language posted into an engine's output log.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace testsupport {

// The process ids of the "pid N" lines in `log`, in order.
inline std::vector<int> PostedPids(const std::string& log) {
    std::vector<int> pids;
    for (std::size_t at = log.find("pid "); at != std::string::npos;
         at = log.find("pid ", at + 1)) {
        pids.push_back(std::atoi(log.c_str() + at + 4));
    }
    return pids;
}

}  // namespace testsupport
