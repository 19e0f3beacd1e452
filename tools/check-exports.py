#!/usr/bin/env python3
"""Checks what libvexaxd_p.so exports beside the header's C functions.

Fails when it exports an instance of a standard-library template (namespace
std or __gnu_cxx: they belong to each user), a name of the runtime namespace
(internal to the library), or a C++ name outside the layer namespaces that is
not one of the classes and process-wide functions the engine and the language
plug-ins link by that name. Prints the exported counts.

    tools/check-exports.py path/to/libvexaxd_p.so
"""
import re
import subprocess
import sys

# Namespaces whose names the engine, the launchers and the language plug-ins
# reach through this library.
EXPORTED_NAMESPACES = {"platform", "codec", "protocol", "transport", "hosting", "textutil"}
HIDDEN_NAMESPACES = {"runtime", "std", "__gnu_cxx", "St"}

# Global names the engine and the plug-ins use as they stand.
GLOBAL_NAMES = set(
    """
    AsyCsPipe1 CleXDSmb CmdVexaDX CursorDataSmb DXCmdDispatcher DXCmdDispatcherVisitor
    DataType DatastepDataSmb DatastepSmb DoubleData DriveX DxTracer InpStatisticsX
    JavaExtensionSmb JavaPlugInSocket LongData MonitorThread OBS OutpStatisticsX
    PlugInConfigReader PlugInCriticalSection PlugInCriticalSectionExt
    PlugInDynamicLoadedLibrary PlugInSynchEvent PlugInThreadHot StartXDispatcherVisitor
    StatisticsX StringData StructData VarInfo VexaDXConfigReader VexaDX_P VexaPipe
    XCmdArgument XConfigOptions XManager XPipeManager XPipeSuit XPipes dataSet
    CreateCmdVexaDX CreateLanguageX DecoratePathEnd DxTrace DxTraceError ExpandEnvStr
    FinalizeDXGlobal GGetUseSyncDx GRunSyncSyntax GSetUseSyncDx GStopSyncSyntax
    GetAppMode GetDxTracer GetJavaExtSocket GetVEXAHOME GetXManager GetXName
    GetXPipeManager InitDxGlobal IsDXGlobalInit IsInStat PlugInDecorateDynamicPathName
    ReceiveData SendData SetAppMode SetDXGlobalInitFin SetDxTracer SetExpandEnvStr
    SetInStat SetVEXAHOME SetXManager SetXName SetXPipeManager SetavaExtSocket
    """.split()
)

SPECIAL_PREFIXES = ("TV", "TI", "TS", "GV", "TT", "TH", "TW")


def outer_name(symbol):
    """The first name of a mangled symbol (its namespace, class or function);
    None for a symbol that names no declaration, such as the type
    information of a function type."""
    rest = symbol[2:]
    if rest.startswith(SPECIAL_PREFIXES):
        rest = rest[2:]
    if rest.startswith("Z"):  # a function's local entity
        rest = rest[1:]
    if rest.startswith("N"):
        rest = rest[1:].lstrip("KVr")
    if re.match(r"S[tabsiod]", rest):  # std, or one of its abbreviations
        return "St"
    match = re.match(r"(\d+)", rest)
    if not match:
        return None
    length = int(match.group(1))
    start = len(match.group(1))
    return rest[start : start + length]


def main():
    library = sys.argv[1]
    listing = subprocess.run(
        ["nm", "-D", "--defined-only", library], check=True, capture_output=True, text=True
    ).stdout
    symbols = [line.split()[-1] for line in listing.splitlines() if line.strip()]
    plain = [s for s in symbols if not s.startswith("_Z")]
    mangled = [s for s in symbols if s.startswith("_Z")]
    print(f"exported: {len(symbols)} in all, {len(plain)} plain, {len(mangled)} C++")
    status = 0
    for symbol in mangled:
        name = outer_name(symbol)
        if name is None or name in EXPORTED_NAMESPACES or name in GLOBAL_NAMES:
            continue
        why = "internal" if name in HIDDEN_NAMESPACES else "not a name the engine or plug-ins use"
        demangled = subprocess.run(["c++filt", symbol], capture_output=True, text=True).stdout
        print(f"exported, {why}: {demangled.strip()}", file=sys.stderr)
        status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
