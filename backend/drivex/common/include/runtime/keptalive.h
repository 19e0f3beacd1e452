// Objects a thread that could not be stopped may still use: kept for the rest
// of the process instead of destroyed under it. They stay reachable, so a
// leak checker does not report them. Thread-safe.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

namespace runtime {

template <class T>
void KeepAliveForGood(std::unique_ptr<T> object) {
    if (!object) return;
    static std::mutex* lock = new std::mutex;
    // Never destroyed: static destructors run while such threads may still run.
    static auto* kept = new std::vector<std::unique_ptr<T>>;
    std::lock_guard<std::mutex> guard(*lock);
    kept->push_back(std::move(object));
}

}  // namespace runtime
