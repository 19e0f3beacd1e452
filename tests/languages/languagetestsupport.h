// Helpers of the language-hosting tests: an engine home of its own for a
// test, the test language's record of calls, and output capture.
#pragma once

#include <string>
#include <vector>

#include "testsupport.h"

namespace languagetest {

// A fresh directory holding links to everything the build put in its engine
// home (engine, console, language libraries, sample data) and the given
// configuration file.
class EngineHome {
  public:
    explicit EngineHome(const std::string& configuration);
    const std::string& path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }

  private:
    testsupport::TempDir m_dir;
};

// The build's own engine home.
std::string BuildEngineHome();
// The file name of the shared library `stem` ("libvexatestlang") on this system.
std::string LibraryFile(const std::string& stem);
// True while a process of that id runs.
bool ProcessExists(int pid);

// The entry points the test language recorded, ";"-separated; the library
// must be loaded already.
std::string LanguageCalls(const std::string& libraryPath);

// An output function for set_post_vexa_output that keeps every text.
int CaptureOutput(const char* text, int length);
std::vector<std::string>& CapturedOutput();

}  // namespace languagetest
