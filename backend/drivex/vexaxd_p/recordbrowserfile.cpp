#include "recordbrowserfile.h"

namespace api {

void RecordBrowserFile::Open(const char* path) {
    if (m_file || !path) return;
    m_file.reset(std::fopen(path, "a+"));
}

void RecordBrowserFile::Write(const char* text) {
    if (!m_file) return;
    std::fputs(text, m_file.get());
    std::fflush(m_file.get());
}

}  // namespace api
