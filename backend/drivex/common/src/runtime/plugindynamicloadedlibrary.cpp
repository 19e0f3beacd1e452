#include "runtime/plugindynamicloadedlibrary.h"

PlugInDynamicLoadedLibrary::PlugInDynamicLoadedLibrary(const std::string& path, bool flag)
    : m_path(path), m_flag(flag) {}

int PlugInDynamicLoadedLibrary::LoadLibraryNow() {
    m_error.clear();
    if (m_library.loaded()) return 0;
    return platform::DynamicLibrary::Open(m_path, m_library, m_error);
}

void* PlugInDynamicLoadedLibrary::GetSymbolAddress(const std::string& name) {
    if (LoadLibraryNow() != 0) return nullptr;
    return m_library.Symbol(name, m_error);
}

std::string PlugInDecorateDynamicPathName(const std::string& name) {
    std::string::size_type slash = name.find_last_of('/');
    std::string::size_type base = slash == std::string::npos ? 0 : slash + 1;
    if (base == name.size()) return name;  // no file name to decorate
    std::string::size_type dot = name.find_last_of('.');
    // A leading dot names a hidden file, not an extension.
    bool hasExtension = dot != std::string::npos && dot > base;
    return hasExtension ? name : name + platform::SharedLibrarySuffix();
}
