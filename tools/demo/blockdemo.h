// The demo's program-block part: a block of the test language that the
// engine runs in a language process of its own.
#pragma once

#include <string>

namespace demo {

// Submits the block, then prints what it posted, read from the engine's
// output log at `outputLogPath`. 0 or the first failure.
int ProgramBlock(const std::string& outputLogPath);

}  // namespace demo
