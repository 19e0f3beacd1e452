// An argument list with its derived forms (count and null-terminated vector,
// and a command line) built on first request after a change. Pointers handed
// out stay valid until the next change or the object's end. Not thread-safe.
#pragma once

#include <string>
#include <vector>

class XCmdArgument {
  public:
    XCmdArgument() = default;
    // Copies `count` entries; a null vector or entry counts as none / empty.
    XCmdArgument(int count, const char* const* vector);
    // Splits at every blank; blanks in a row give empty arguments.
    explicit XCmdArgument(const std::string& text);
    // The caches point into their own object, so only the list is carried over.
    XCmdArgument(const XCmdArgument& other) : m_arguments(other.m_arguments) {}
    XCmdArgument& operator=(const XCmdArgument& other);
    XCmdArgument(XCmdArgument&& other) noexcept : m_arguments(std::move(other.m_arguments)) {
        other.m_arguments.clear();
        other.Changed();
    }
    XCmdArgument& operator=(XCmdArgument&& other) noexcept;

    // Unless asIs, an argument with a blank that does not start with a quote is
    // put in double quotes; a final backslash is doubled so it cannot escape
    // the closing quote.
    void pushArgument(const std::string& argument, bool asIs);
    // Out-of-range indexes are ignored.
    void modifyArgument(int index, const std::string& argument);
    // Null out of range.
    const char* argumentAt(int index) const;

    int argc() const { return static_cast<int>(m_arguments.size()); }
    char** argv();
    // Every argument preceded by one blank; null for an empty list.
    const char* cmdline();

  private:
    void Changed();

    std::vector<std::string> m_arguments;
    bool m_vectorStale = true;
    bool m_cmdlineStale = true;
    std::vector<std::string> m_vectorCopies;
    std::vector<char*> m_vector;
    std::string m_cmdline;
};
