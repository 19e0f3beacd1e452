// What an engine run may leave behind, counted for the calling process: its
// children still running, and local channels named after its process id text
// (the lower-case hexadecimal id at the start of every pipe name it made).
// Each one found is printed.
#pragma once

int RunningChildren();
int OwnChannels();
