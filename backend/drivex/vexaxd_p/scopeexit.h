// Runs a cleanup when the scope ends, however it ends (return or exception):
// state a call must leave behind whatever the engine answered.
#pragma once

#include <utility>

namespace api {

template <typename Cleanup>
class [[nodiscard]] ScopeExit {
  public:
    explicit ScopeExit(Cleanup cleanup) : m_cleanup(std::move(cleanup)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { m_cleanup(); }

  private:
    Cleanup m_cleanup;
};

}  // namespace api
