// The thread behind TransportData: it asks the engine, through submitted
// command syntax, to read a dataset from the caller's socket or to write the
// active dataset to it, so that the caller's thread is free meanwhile. Deletes
// itself once its commands have been answered; nobody holds it after Start.
// Counted in the connection's transfer gate from before Start until its
// commands have been answered.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "runtime/pluginthreadhot.h"

namespace api {

class TransportDataThread : public PlugInThreadHot {
  public:
    TransportDataThread(std::string socket, std::string variables, bool readIntoEngine);
    ~TransportDataThread() override;

    bool busy() const { return m_busy.load(); }

    // The command lines a transfer submits, in order; the last one goes with
    // Submit, those before it with QueueCommandPart.
    static std::string ReadCommand(const std::string& socket, const std::string& variables);
    static std::string WriteCommand(const std::string& socket, const std::string& variables);

  protected:
    std::uint32_t Run() override;

  private:
    std::atomic<bool> m_busy{false};
    std::string m_variables;
    std::string m_socket;
    bool m_readIntoEngine;
};

}  // namespace api
