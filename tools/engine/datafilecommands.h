// The commands that move data files while the engine runs:
//   GET DATA /TYPE=CSV /FILE='<path>'.   the file (and its dictionary) becomes
//                                        the active dataset, under its name
//   SAVE /TYPE=CSV /FILE='<path>'.       the active dataset to the file and
//                                        the dictionary file beside it
// Keywords in any case; the path quoted with ' or " (doubled inside for
// one). The runner of submitted syntax logs the command and reports a failure.
#pragma once

#include <optional>
#include <string>

#include "commandoutcome.h"
#include "enginestate.h"

namespace engine {

struct DataFileCommand {
    enum class Kind { kGetData, kSave } kind = Kind::kGetData;
    std::string path;
};

enum class DataFileParse { kOtherCommand, kRefused, kDone };

// kOtherCommand for anything but GET DATA or SAVE with /TYPE=CSV; kRefused
// for one of those without a usable /FILE.
DataFileParse ParseDataFileCommand(const std::string& command, DataFileCommand& out);

// What the command came to, or nullopt when it is not one of these commands.
std::optional<CommandOutcome> RunDataFileCommand(const std::string& command,
                                                 TransferContext& state);

}  // namespace engine
