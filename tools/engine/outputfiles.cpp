#include "outputfiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "codec/protocol.h"
#include "outputhtml.h"
#include "outputxml.h"

namespace engine {

OutputFiles::OutputFiles(std::string xmlPath, std::string htmlPath)
    : m_xmlPath(std::move(xmlPath)), m_htmlPath(std::move(htmlPath)) {}

int ReplaceFile(const std::string& path, const std::string& text) {
    // Beside the target, so that the rename stays on one file system; the
    // process id keeps two engines writing one path apart.
    const std::string partial = path + ".part" + std::to_string(::getpid());
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) return errno;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int error = written ? 0 : errno;
    if (std::fclose(file) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(partial.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) std::remove(partial.c_str());
    return error;
}

int OutputFiles::Save(const OutputDocument& document, const OutputLog& log) {
    if (!m_xmlPath.empty()) {
        if (int error = ReplaceFile(m_xmlPath, OutputXml(document, log))) {
            m_failedPath = m_xmlPath;
            return error;
        }
    }
    if (!m_htmlPath.empty()) {
        if (int error = ReplaceFile(m_htmlPath, OutputHtml(document, log))) {
            m_failedPath = m_htmlPath;
            return error;
        }
    }
    return 0;
}

void SaveOutput(OutputState& state) {
    if (!state.outputFiles) return;
    if (int error = state.outputFiles->Save(state.output, state.log)) {
        std::fprintf(stderr, "StartXD: cannot write %s (%d)\n",
                     state.outputFiles->failedPath().c_str(), error);
    }
}

bool SettlesOutput(int commandAction) {
    switch (commandAction) {
        case cmd::kSubmit:
        case cmd::kQueueCommandPart:
        case cmd::kPostVexaOutput:
        case cmd::kAddTextBlock:
        case cmd::kEndProcedure:
        case cmd::kGetGraphic:
        case cmd::kSetGraphicsLabel:
        case cmd::kSetOutputLanguage:
            return true;
        default:
            return false;
    }
}

}  // namespace engine
