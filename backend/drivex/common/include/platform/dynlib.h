// Move-only owner of one loaded shared library; unloads it in the destructor.
// Symbols looked up stay valid only while the owner holds the library. Not
// thread-safe; one owner at a time.
#pragma once

#include <string>

namespace platform {

class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    ~DynamicLibrary();

    // Loads with all symbols bound now and kept local. Returns 0, ENOENT when
    // the file does not exist, else ELIBBAD; `error` receives the loader's text.
    static int Open(const std::string& path, DynamicLibrary& out, std::string& error);

    bool loaded() const { return m_handle != nullptr; }
    // Null with the loader's text in `error` when the name is not found.
    void* Symbol(const std::string& name, std::string& error) const;
    void Close();

  private:
    void* m_handle = nullptr;
};

// Keeps the loaded library that holds `address` mapped until the process
// ends, however often it is unloaded: for a library that leaves a thread of
// its own running. False when no library holds the address.
bool KeepLibraryLoaded(const void* address);

// The file name extension of a shared library here: ".so", or ".dll".
const char* SharedLibrarySuffix();

}  // namespace platform
