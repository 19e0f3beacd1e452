// The local copy of browser output records: one file per process, opened for
// appending on the first request and kept until it is switched off. A file
// that cannot be opened leaves output unrecorded, without notice.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

namespace api {

class RecordBrowserFile {
  public:
    // Opens `path` unless a file is already open (its path then wins).
    void Open(const char* path);
    void Close() { m_file.reset(); }
    bool IsOpen() const { return m_file != nullptr; }
    // Writes the text up to its first zero byte and flushes.
    void Write(const char* text);

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
};

}  // namespace api
