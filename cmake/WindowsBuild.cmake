# What the Windows build needs beside the sources: GoogleTest compiled from
# Debian's sources with the cross compiler (the Debian libraries are Linux
# ones), and Wine as the emulator that runs the test programs.
set(VEXA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's googletest package)")
if(VEXA_BUILD_TESTS)
    if(NOT EXISTS ${VEXA_GOOGLETEST_SOURCE}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${VEXA_GOOGLETEST_SOURCE} (Debian package googletest)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${VEXA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
# The engine's libxml2: Debian has no mingw build of it, so its source
# package is cross-built once per build directory (tools/windows-libxml2.sh)
# and found through its own CMake package file, which carries LIBXML_STATIC.
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/windows-libxml2.sh ${CMAKE_BINARY_DIR}
                RESULT_VARIABLE VEXA_LIBXML2_RESULT)
if(NOT VEXA_LIBXML2_RESULT EQUAL 0)
    message(FATAL_ERROR "libxml2 for Windows could not be built (tools/windows-libxml2.sh)")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_BINARY_DIR}/libxml2/install)
set(CMAKE_FIND_PACKAGE_PREFER_CONFIG ON)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(WARNING "No wine64 found: the Windows tests are built but cannot run here")
endif()
if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(VEXA_WINE_PROGRAM ${CMAKE_CROSSCOMPILING_EMULATOR})
    set(VEXA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                   WORLD_READ WORLD_EXECUTE @ONLY)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()
