// The table of callbacks handed to every language library loaded in this
// process. Built on first request, kept for the life of the process.
#pragma once

#include "hosting/vexalanguage.h"

namespace hosting {

// Refills and returns the process's one table.
VexaDxCallbacks* GetDxCallBackTable();

}  // namespace hosting
