// Bulk transport of whole datasets over a TCP socket on 127.0.0.1, asked for
// by submitted syntax: "GET DATA /TYPE=BINARYSTREAM /SOCKET=<port>
// /VARIABLES=<names>." waits for the next "EXECUTE.", which connects, reads
// one binary stream and makes it the active dataset; "SAVE
// /TYPE=BINARYSTREAM /SOCKET=<port> [/KEEP=<names>]." connects and writes
// the active dataset at once. The engine is the connecting side; the port is
// the caller's. Runs on the serving thread and blocks it while data moves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commandoutcome.h"

namespace engine {

struct TransferContext;

struct TransferCommand {
    enum class Kind { kGetData, kSave };
    Kind kind = Kind::kGetData;
    std::uint16_t port = 0;
    // /VARIABLES or /KEEP, blank-separated; empty for every variable.
    std::vector<std::string> variables;
};

// A GET DATA waiting for its EXECUTE.
using PendingTransfer = TransferCommand;

enum class TransferParse { kOtherCommand, kRefused, kDone };

// kOtherCommand for anything but a GET DATA or SAVE of /TYPE=BINARYSTREAM;
// kRefused for one without a port in 1..65535.
TransferParse ParseTransferCommand(const std::string& command, TransferCommand& out);

// Each wait for the peer gives up after this long.
inline constexpr unsigned kTransferTimeoutMs = 60000;

// A GET DATA or SAVE command, the whole text with its full stop: SAVE
// transfers at once, GET DATA waits for the next EXECUTE.
CommandOutcome RunTransferCommand(const std::string& command, TransferContext& state);
// Runs the GET DATA that waits, if any.
CommandOutcome RunExecute(TransferContext& state);

}  // namespace engine
