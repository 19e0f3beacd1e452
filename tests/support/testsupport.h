// Shared helpers of the test binaries: temporary directories, unique pipe
// names, peer program paths and a trace capture.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/dxtracer.h"

namespace testsupport {

// Path of a helper program built from tests/peers.
std::string PeerPath(const std::string& name);

// A fresh directory, removed with its contents on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// A pipe path in the private pipe directory that no other test uses.
std::string UniquePipeName(const std::string& tag);

// Installs a trace writer on a temporary file for its lifetime and restores
// the previous one afterwards.
class TraceCapture {
  public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;
    // The texts of the lines written so far (after the name and ">>").
    std::vector<std::string> lines() const;
    // The raw file contents, banner included.
    std::string contents() const;

  private:
    TempDir m_dir;
    std::unique_ptr<DxTracer> m_tracer;
    DxTracer* m_previous;
};

// An engine home for the whole process whose configuration names TESTLANG
// (with a library that does not exist) and R. The configuration reader is
// made once per process from the first home it sees.
const std::string& ConfiguredEngineHome();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

}  // namespace testsupport
