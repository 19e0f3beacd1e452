// A shared library loaded on first need and unloaded with the object. Keeps the
// loader's text of the last failure. Not thread-safe; one owner at a time.
#pragma once

#include <string>

#include "platform/dynlib.h"

class PlugInDynamicLoadedLibrary {
  public:
    // Loads nothing yet; the flag is kept for callers and has no effect.
    explicit PlugInDynamicLoadedLibrary(const std::string& path, bool flag = false);
    PlugInDynamicLoadedLibrary(const PlugInDynamicLoadedLibrary&) = delete;
    PlugInDynamicLoadedLibrary& operator=(const PlugInDynamicLoadedLibrary&) = delete;
    virtual ~PlugInDynamicLoadedLibrary() = default;

    // 0 when loaded (now or before); else ENOENT for a missing file, ELIBBAD
    // for any other failure, with the loader's text in GetErrorString.
    int LoadLibraryNow();
    // Loads when needed; null (with the error text set) on any failure.
    void* GetSymbolAddress(const std::string& name);
    const std::string& GetErrorString() const { return m_error; }
    const std::string& GetPath() const { return m_path; }
    bool IsLoaded() const { return m_library.loaded(); }

  private:
    std::string m_path;
    bool m_flag;
    std::string m_error;
    platform::DynamicLibrary m_library;
};

// The name with the system's library suffix (".so", ".dll") appended when its
// last path component has no extension; any name with an extension is
// returned unchanged.
std::string PlugInDecorateDynamicPathName(const std::string& name);
