// The output documents the engine keeps on disk (-outputxml, -outputhtml).
// Each save renders the whole document into a file beside the target and
// renames it into place, so whoever reads the target, and an engine killed
// at any moment, finds the last complete document, never an empty or cut
// one. Saves run with the engine lock held.
#pragma once

#include <string>

#include "enginestate.h"

namespace engine {

class OutputFiles {
  public:
    // An empty path is not written.
    OutputFiles(std::string xmlPath, std::string htmlPath);

    // 0, or the errno of the first file that could not be replaced; its
    // path is then `failedPath()`. A failed save leaves the older file.
    int Save(const OutputDocument& document, const OutputLog& log);
    const std::string& failedPath() const { return m_failedPath; }

  private:
    std::string m_xmlPath;
    std::string m_htmlPath;
    std::string m_failedPath;
};

// Writes `text` to `path` through a file beside it and a rename: 0 or errno.
int ReplaceFile(const std::string& path, const std::string& text);

// Saves the state's documents when the engine keeps any; a failure is
// written to standard error and the engine goes on.
void SaveOutput(OutputState& state);

// Whether a request with this command action may have finished a piece of
// output worth saving: a procedure, a text block, posted text, a graphic,
// graphics labels, a language change, a submission (with the program
// blocks it ran).
bool SettlesOutput(int commandAction);

}  // namespace engine
