// The engine's side of a JAVAEXTENSION program block. The block's lines
// become the Java extension message that the library's out-of-process host
// sends to a Java process of its own, one process per block; what that
// process writes comes back as the block's output.
#pragma once

#include <string>

#include "outputlog.h"
#include "programblock.h"
#include "transport/javaplugsocket.h"

namespace engine {

// What a block sends: the command name, and the text with its line feed.
struct JavaBlockMessage {
    std::string command;
    std::string data;
};

// 0, or kBadJavaBlock with `message` unchanged.
int ParseJavaBlock(const ProgramBlock& block, JavaBlockMessage& message);

// Everything one block lends the host, for the block's life: the extension
// message, a socket of its own as the process's Java socket, and two files
// in a private directory under the engine's temp directory that the Java
// program writes instead of its standard output and error. The destructor
// gives all of it back; the host (and with it the Java process) must be gone
// by then. One block at a time: the caller holds the engine lock.
class JavaBlockRun {
  public:
    // The variables that name the files to the Java program.
    static constexpr const char* kOutputVariable = "VEXA_JAVA_OUTPUT";
    static constexpr const char* kErrorsVariable = "VEXA_JAVA_ERRORS";
    // Names the engine's process id text, so that the Java program can join
    // the API pipes the engine serves during the block.
    static constexpr const char* kPipesVariable = "VEXA_JAVA_PIPES";

    JavaBlockRun(const JavaBlockMessage& message, const std::string& tempDirectory);
    ~JavaBlockRun();
    JavaBlockRun(const JavaBlockRun&) = delete;
    JavaBlockRun& operator=(const JavaBlockRun&) = delete;

    // Makes the files, names them and the engine's pipes in the environment
    // the Java process will inherit and fills the extension message. 0, or
    // kTempFileUnwritable.
    int Prepare();
    // Once the Java process has started (or failed to): the names leave the
    // environment, so that no later child inherits them.
    void Started();
    // After the Java process has ended: its output lines, then its error
    // lines, then, for a failure, a line naming the exit status.
    void PostOutput(OutputLog& log, int exitStatus) const;

  private:
    std::string OutputFile() const { return m_directory + "/out"; }
    std::string ErrorsFile() const { return m_directory + "/err"; }

    JavaBlockMessage m_message;
    std::string m_directory;
    JavaPlugInSocket m_socket;
    bool m_prepared = false;
};

}  // namespace engine
