#include "transportdatathread.h"

#include <chrono>
#include <thread>

#include "apiconnection.h"
#include "vexaxd_p.h"

namespace api {
namespace {

// The engine opens the caller's socket only after the caller has had time to
// start listening on it.
constexpr std::chrono::milliseconds kReadDelay{500};

int Queue(const std::string& line) {
    return QueueCommandPart(line.data(), static_cast<int>(line.size()));
}

}  // namespace

TransportDataThread::TransportDataThread(std::string socket, std::string variables,
                                         bool readIntoEngine)
    : m_variables(std::move(variables)),
      m_socket(std::move(socket)),
      m_readIntoEngine(readIntoEngine) {}

TransportDataThread::~TransportDataThread() = default;

std::string TransportDataThread::ReadCommand(const std::string& socket,
                                             const std::string& variables) {
    return "GET DATA /TYPE=BINARYSTREAM /SOCKET=" + socket + " /VARIABLES=" + variables + ".";
}

std::string TransportDataThread::WriteCommand(const std::string& socket,
                                              const std::string& variables) {
    std::string command = "SAVE /TYPE=BINARYSTREAM /SOCKET=" + socket;
    if (!variables.empty()) command += " /KEEP=" + variables;
    return command + ".";
}

std::uint32_t TransportDataThread::Run() {
    TransferGate& gate = Connection().transfers();
    gate.Adopt();
    m_busy = true;
    std::string command;
    if (m_readIntoEngine) {
        std::this_thread::sleep_for(kReadDelay);
        Queue(ReadCommand(m_socket, m_variables));
        Queue("CACHE.");
        command = "EXECUTE.";
    } else {
        command = WriteCommand(m_socket, m_variables);
    }
    // Nobody waits for the outcome: it stays the thread's result.
    const int result = Submit(command.data(), static_cast<int>(command.size()));
    m_busy = false;
    gate.Leave();
    return static_cast<std::uint32_t>(result);
}

}  // namespace api
