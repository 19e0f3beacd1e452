// Process-wide values of the library and their free accessors. Every value is
// safe to read and write from any thread: flags are atomic, strings are guarded
// by a lock. GetVEXAHOME hands out storage that stays valid for the life of the
// process, whatever is set later.
#pragma once

#include <string>

// ---- Plain values ----------------------------------------------------------

bool IsDXGlobalInit();
void SetDXGlobalInitFin(bool initialised);

// Kept for the host; the library never sets it itself.
bool IsInStat();
void SetInStat(bool inEngine);

// -1 means unset.
int GetAppMode();
void SetAppMode(int mode);

// The language this process serves: always upper case, "UNNAMEDX" when set
// from an empty name.
std::string GetXName();
void SetXName(const std::string& name);

namespace runtime {
// Back to the empty name of a freshly loaded library (FinalizeDXGlobal).
void ClearXName();
}  // namespace runtime

// The engine home without a trailing separator. While none was set, the
// environment variable VEXA_HOME is taken (once found, it is kept). Never null;
// empty when neither is known.
const char* GetVEXAHOME();
// Ignored for null or empty text; drops one trailing "/" or "\" (a lone root
// separator is kept, so the root stays a usable home).
void SetVEXAHOME(const char* home);

// Host-supplied expansion of environment references. The hook may be given
// the same string as input and output.
using ExpandEnvStrHook = bool (*)(const std::string& input, std::string& output);
void SetExpandEnvStr(ExpandEnvStrHook hook);  // null removes the hook
// Without a hook: output := input and false; else the hook's result.
bool ExpandEnvStr(const std::string& input, std::string& output);

// Program text of nesting level 0 goes to the sync-syntax slot, not a driver thread.
void GSetUseSyncDx(bool useSync);
bool GGetUseSyncDx();

// Every "\" becomes "/" and a final "/" is appended when missing; the empty
// path stays empty.
void DecoratePathEnd(std::string& path);

// ---- Owned objects, start-up and tear-down, sync-syntax slot ---------------
