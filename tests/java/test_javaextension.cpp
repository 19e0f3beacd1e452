// The Java extension program started from the engine home's JRE, as the
// out-of-process host starts it: it connects to the host's socket, takes the
// extension message and answers on its standard output.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/javaextensionsmb.h"
#include "platform/process.h"
#include "runtime/statuscodes.h"
#include "testsupport.h"
#include "transport/javaplugsocket.h"
#include "transport/sendreceive.h"

namespace {

constexpr unsigned kAcceptStepMs = 200;
constexpr int kAcceptSteps = 150;  // 30 s for the JVM to start and connect
constexpr unsigned kExitLimitMs = 30000;

// The Java program against a fresh host socket: the program is started by
// the kinds of run below, which differ only in where its output goes.
class JavaProcess {
  public:
    ~JavaProcess() {
        m_socket.CloseSocket();
        m_java.Kill();
    }

    // Accepts the program's connection; fails when it ended without one.
    bool Accept() {
        for (int step = 0; step < kAcceptSteps; ++step) {
            int result = m_socket.AcceptSocketWithin(kAcceptStepMs);
            if (result == 0) return true;
            if (result != ETIMEDOUT || !m_java.IsActive()) return false;
        }
        return false;
    }
    JavaPlugInSocket& socket() { return m_socket; }
    // The exit status, or -1 when the program had to be killed.
    int Finish() {
        if (m_java.WaitFor(kExitLimitMs)) return m_java.ExitStatus();
        m_java.Kill();
        return -1;
    }

  protected:
    JavaProcess() { EXPECT_EQ(m_socket.CreateSocket(), 0); }
    std::string Port() const { return std::to_string(m_socket.GetSocketPort()); }
    void Start(const std::vector<std::string>& argv) {
        EXPECT_EQ(platform::ChildProcess::Spawn(argv, m_java), 0);
    }

  private:
    JavaPlugInSocket m_socket;
    platform::ChildProcess m_java;
};

// A run whose standard output and error go to files, since a child
// inherits this process's.
class JavaRun : public JavaProcess {
  public:
    explicit JavaRun(const std::string& command) {
        // exec keeps the shell's pid, so the child is the JVM itself.
        Start({"/bin/sh", "-c",
               "exec \"$0\" -cp \"$1\" com.kor.statistics.plugin.Extension "
               "LOCAL \"$2\" \"$3\" >\"$4\" 2>\"$5\"",
               std::string(VEXA_ENGINE_HOME) + "/JRE/bin/java", VEXA_JAVA_PLUGIN_JAR, Port(),
               command, m_dir.file("out"), m_dir.file("err")});
    }
    std::string Output() const { return testsupport::ReadFile(m_dir.file("out")); }
    std::string Errors() const { return testsupport::ReadFile(m_dir.file("err")); }

  private:
    testsupport::TempDir m_dir;
};

void PrepareMessage(const std::string& text) {
    JavaExtensionSmb::SetCommandName("MYCOMMAND");
    ASSERT_EQ(JavaExtensionSmb::SetDataLen(static_cast<std::int32_t>(text.size())), 0);
    ASSERT_EQ(JavaExtensionSmb::SetSendBuf(text.data()), 0);
}

}  // namespace

TEST(JavaExtensionProgram, PrintsTheCommandNameAndTheMessageLineAndExitsZero) {
    JavaRun run("MYCOMMAND");
    ASSERT_TRUE(run.Accept()) << run.Errors();
    PrepareMessage("hello from the host\n");
    JavaExtensionSmb message;
    ASSERT_EQ(SendData(run.socket(), message), 0);
    EXPECT_EQ(run.Finish(), 0) << run.Errors();
    EXPECT_EQ(run.Output(), "MYCOMMAND: hello from the host\n");
    EXPECT_EQ(run.Errors(), "");
    std::int32_t length = -1;
    EXPECT_EQ(JavaExtensionSmb::GetSendBuf(length), nullptr);
}

TEST(JavaExtensionProgram, MessageCutBeforeItsLineFeedIsAFailure) {
    JavaRun run("MYCOMMAND");
    ASSERT_TRUE(run.Accept()) << run.Errors();
    PrepareMessage("no line feed");
    JavaExtensionSmb message;
    ASSERT_EQ(SendData(run.socket(), message), 0);
    run.socket().CloseSocket();
    EXPECT_EQ(run.Finish(), 1);
    EXPECT_EQ(run.Output(), "");
    EXPECT_NE(run.Errors(), "");
}

namespace {

// The Java program started without a shell, with files named in its
// environment for its output and errors, as the engine starts it.
class JavaRunWithFiles : public JavaProcess {
  public:
    JavaRunWithFiles(const std::string& outputFile, const std::string& errorsFile) {
        setenv("VEXA_JAVA_OUTPUT", outputFile.c_str(), 1);
        setenv("VEXA_JAVA_ERRORS", errorsFile.c_str(), 1);
        Start({std::string(VEXA_ENGINE_HOME) + "/JRE/bin/java", "-cp", VEXA_JAVA_PLUGIN_JAR,
               "com.kor.statistics.plugin.Extension", "LOCAL", Port(), "MYCOMMAND"});
        unsetenv("VEXA_JAVA_OUTPUT");
        unsetenv("VEXA_JAVA_ERRORS");
    }
};

}  // namespace

TEST(JavaExtensionProgram, FilesNamedInItsEnvironmentTakeItsOutputAndItsErrors) {
    testsupport::TempDir dir;
    const std::string output = dir.file("out");
    const std::string errors = dir.file("err");
    {
        // Appended to: what the file held stays.
        testsupport::WriteFile(output, "earlier\n");
        JavaRunWithFiles run(output, errors);
        ASSERT_TRUE(run.Accept()) << testsupport::ReadFile(errors);
        PrepareMessage("to the file\n");
        JavaExtensionSmb message;
        ASSERT_EQ(SendData(run.socket(), message), 0);
        EXPECT_EQ(run.Finish(), 0);
        EXPECT_EQ(testsupport::ReadFile(output), "earlier\nMYCOMMAND: to the file\n");
        EXPECT_EQ(testsupport::ReadFile(errors), "");
    }
    {
        // An output file that cannot be opened fails the run before it
        // connects, and says so in the errors file.
        const std::string unopenable = dir.file("missing/out");
        JavaRunWithFiles run(unopenable, errors);
        EXPECT_EQ(run.Finish(), 1);
        const std::string text = testsupport::ReadFile(errors);
        EXPECT_EQ(text.rfind("Extension: ", 0), 0u) << text;
        EXPECT_NE(text.find(unopenable), std::string::npos) << text;
    }
}
