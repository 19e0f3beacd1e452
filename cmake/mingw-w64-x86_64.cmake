# Cross-build for 64-bit Windows with Debian's mingw-w64 (POSIX thread model,
# which C++20's std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEXA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEXA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VEXA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime goes into every binary, so the programs run under
# Wine (and on a user's machine) without the cross compiler's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Tests run under Wine's 64-bit loader.
find_program(VEXA_WINE_PROGRAM NAMES wine64 wine PATHS /usr/lib/wine /usr/bin NO_CMAKE_FIND_ROOT_PATH)
# The project wraps it (cmake/wine-run.sh.in) with its own prefix.
if(VEXA_WINE_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXA_WINE_PROGRAM})
endif()
