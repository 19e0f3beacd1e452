// What an engine run may leave behind for the calling process: its children
// still running, and local channels named after its process id text (the
// lower-case hexadecimal id at the start of every pipe name it made).
#pragma once

#include <string>
#include <vector>

// Each one found is printed.
int RunningChildren();
// The channels' names.
std::vector<std::string> OwnChannels();
