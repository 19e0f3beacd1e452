// The Java extension through its host: the host listens on
// loopback, starts "JRE/bin/java" from the engine home with the port on its
// command line, sends the extension message, and waits for Java to end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "codec/javaextensionsmb.h"
#include "hosting/dxstartup.h"
#include "hosting/javastatisticsx.h"
#include "languagetestsupport.h"
#include "runtime/xconfigoptions.h"
#include "transport/javaplugsocket.h"

namespace {

// Standard output goes to a file while the object lives; a process started
// meanwhile keeps writing there.
class StdoutToFile {
  public:
    explicit StdoutToFile(const std::string& path) {
        std::fflush(stdout);
        m_saved = dup(1);
        int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, 1);
        close(file);
    }
    ~StdoutToFile() {
        std::fflush(stdout);
        dup2(m_saved, 1);
        close(m_saved);
    }

  private:
    int m_saved;
};

}  // namespace

TEST(JavaExtensionHost, TheExtensionMessageReachesJavaOverLoopbackAndTheRunEndsWithJava) {
    if (access((languagetest::BuildEngineHome() + "/JRE/bin/java").c_str(), X_OK) != 0) {
        GTEST_SKIP() << "no Java runtime in the build's engine home";
    }
    testsupport::TempDir temp;
    InitDxGlobal(temp.path() + "/", "7a7a", "JAVAEXTENSION", languagetest::BuildEngineHome());
    JavaPlugInSocket socket;
    SetavaExtSocket(&socket);
    JavaExtensionSmb::SetCommandName("MYEXTENSION");
    const std::string message = "hello from the engine\n";
    ASSERT_EQ(JavaExtensionSmb::SetDataLen(static_cast<int>(message.size())), 0);
    ASSERT_EQ(JavaExtensionSmb::SetSendBuf(message.data()), 0);

    XConfigOptions options("JAVAEXTENSION");
    const std::string shown = temp.file("java.out");
    {
        hosting::JavaStatisticsX host(&options, 1, true);
        char argument[] = "JavaExtension";
        char* argv[] = {argument};
        {
            StdoutToFile redirect(shown);
            ASSERT_EQ(host.init_embedded_x(1, argv), 0);
        }
        EXPECT_EQ(socket.GetListenAddress(), "127.0.0.1");
        // No command channel for Java: the pre and post actions do nothing.
        EXPECT_EQ(host.pre_action(), 0);
        EXPECT_EQ(host.execute_x("unused"), 0);
        EXPECT_FALSE(host.isXProcessActive());
        EXPECT_EQ(host.post_action(), 0);
        // A successful send forgets the message.
        std::int32_t length = -1;
        EXPECT_EQ(JavaExtensionSmb::GetSendBuf(length), nullptr);
        EXPECT_EQ(length, 0);
    }
    EXPECT_EQ(testsupport::ReadFile(shown), "MYEXTENSION: hello from the engine\n");
    socket.CloseSocket();
    SetavaExtSocket(nullptr);
    FinalizeDXGlobal();
}
