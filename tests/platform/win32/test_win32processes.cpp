// The Windows platform's processes, process watches, interrupt relay,
// libraries and loopback sockets, against real child processes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/dynlib.h"
#include "platform/process.h"
#include "platform/processwatch.h"
#include "platform/signalrelay.h"
#include "platform/tcpsocket.h"
#include "testsupport.h"

namespace {

using platform::ChildProcess;

std::string Echoed(const testsupport::TempDir& dir) {
    return testsupport::ReadFile(dir.file("echo.txt"));
}

}  // namespace

TEST(Win32Processes, TheCommandLineIsBlankLedWithBlanksQuotedAndAFinalBackslashDoubled) {
    EXPECT_EQ(platform::CommandLine(
                  {"C:\\home\\startx.exe", "-m", "C:\\my temp\\", "1a2c", "PYTHON", "\"C:\\py\""}),
              " -m \"C:\\my temp\\\\\" 1a2c PYTHON \"C:\\py\"");
    EXPECT_EQ(platform::CommandLine({"p.exe", "", "a b", "'q r'"}), " \"\" \"a b\" 'q r'");
    EXPECT_EQ(platform::CommandLine({"p.exe"}), "");
    EXPECT_EQ(platform::ExecutableFileName("startx"), "startx.exe");
}

TEST(Win32Processes, AChildGetsItsArgumentsBackAndItsExitCodeEvenWhenThatIs259) {
    testsupport::TempDir dir;
    ASSERT_EQ(platform::SetEnvironment("VEXA_ECHO", "from the parent"), 0);
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({testsupport::PeerPath("argsecho"), dir.file("echo.txt"), "259",
                                   "C:\\my temp\\", "1a2c", ""},
                                  child),
              0);
    EXPECT_GT(child.pid(), 0);
    // 259 is what GetExitCodeProcess reports for a running process too.
    EXPECT_EQ(child.Wait(), 259);
    EXPECT_FALSE(child.IsActive());
    EXPECT_EQ(Echoed(dir), "C:\\my temp\\\n1a2c\n\nVEXA_ECHO=from the parent\n");

    ChildProcess own;
    ASSERT_EQ(ChildProcess::Spawn({testsupport::PeerPath("argsecho"), dir.file("echo.txt"), "3"},
                                  {"VEXA_ECHO=own block", "SystemRoot=C:\\windows"}, own),
              0);
    EXPECT_EQ(own.Wait(), 3);
    EXPECT_EQ(Echoed(dir), "VEXA_ECHO=own block\n");

    ChildProcess missing;
    EXPECT_EQ(ChildProcess::Spawn({dir.file("nothing.exe")}, missing), ENOENT);
    EXPECT_FALSE(missing.started());
}

TEST(Win32Processes, AKilledChildEndsWithTheKilledStatusAndItsWatchSeesIt) {
    testsupport::TempDir dir;
    ChildProcess child;
    ASSERT_EQ(ChildProcess::Spawn({testsupport::PeerPath("argsecho"), dir.file("echo.txt"), "wait"},
                                  child),
              0);
    EXPECT_TRUE(child.IsActive());
    EXPECT_FALSE(child.WaitFor(20));

    platform::ProcessWatch watch;
    ASSERT_EQ(platform::ProcessWatch::Open(child.pid(), watch), 0);
    EXPECT_FALSE(watch.Ended());
    watch.Wake();
    EXPECT_FALSE(watch.WaitForEnd());

    std::thread killer([&] { child.Kill(); });
    EXPECT_TRUE(watch.WaitForEnd());
    killer.join();
    EXPECT_TRUE(watch.Ended());
    EXPECT_FALSE(child.IsActive());
    EXPECT_EQ(child.ExitStatus(), 137);

    platform::ProcessWatch none;
    EXPECT_EQ(platform::ProcessWatch::Open(0, none), ESRCH);
}

TEST(Win32Processes, TheInterruptReachesTheRelayOfTheProcessAndAWakeEndsAWait) {
    EXPECT_EQ(platform::SendInterrupt(platform::CurrentProcessId()), ESRCH);
    platform::SignalRelay relay;
    ASSERT_EQ(relay.Install(platform::kInterruptSignal), 0);
    platform::SignalRelay second;
    EXPECT_EQ(second.Install(platform::kInterruptSignal), EBUSY);
    EXPECT_EQ(platform::SendInterrupt(platform::CurrentProcessId()), 0);
    EXPECT_TRUE(relay.Wait());
    std::thread waking([&] { relay.Wake(); });
    EXPECT_FALSE(relay.Wait());
    waking.join();
}

TEST(Win32Processes, LibrariesLoadWithTheSystemsTextsForFailures) {
    platform::DynamicLibrary kernel;
    std::string error;
    ASSERT_EQ(platform::DynamicLibrary::Open("kernel32.dll", kernel, error), 0) << error;
    void* address = kernel.Symbol("GetCurrentProcessId", error);
    ASSERT_NE(address, nullptr) << error;
    EXPECT_EQ(reinterpret_cast<DWORD(WINAPI*)()>(address)(), ::GetCurrentProcessId());
    EXPECT_EQ(kernel.Symbol("NoSuchFunctionAnywhere", error), nullptr);
    EXPECT_FALSE(error.empty());

    testsupport::TempDir dir;
    platform::DynamicLibrary missing;
    EXPECT_EQ(platform::DynamicLibrary::Open(dir.file("nothing.dll"), missing, error), ENOENT);
    EXPECT_NE(error.find("(126)"), std::string::npos) << error;
    testsupport::WriteFile(dir.file("fake.dll"), "plain text, not a library\n");
    platform::DynamicLibrary fake;
    const int code = platform::DynamicLibrary::Open(dir.file("fake.dll"), fake, error);
    EXPECT_NE(code, 0);
    EXPECT_NE(code, ENOENT);
    EXPECT_FALSE(fake.loaded());
}

TEST(Win32Processes, LoopbackSocketsCarryBytesBothWaysAndEndCleanly) {
    platform::TcpListener listener;
    ASSERT_EQ(platform::TcpListener::ListenLoopback(listener), 0);
    std::string address;
    ASSERT_EQ(listener.LocalAddress(address), 0);
    EXPECT_EQ(address, "127.0.0.1");
    ASSERT_NE(listener.port(), 0);
    platform::TcpConnection nobody;
    EXPECT_EQ(listener.AcceptWithin(nobody, 30), ETIMEDOUT);

    platform::TcpConnection client;
    ASSERT_EQ(platform::TcpConnection::ConnectLoopback(listener.port(), client), 0);
    platform::TcpConnection server;
    ASSERT_EQ(listener.AcceptWithin(server, 5000), 0);
    const std::string payload(100000, 'p');
    std::thread sending([&] { EXPECT_EQ(client.SendAll(payload.data(), payload.size()), 0); });
    std::string got(payload.size(), '\0');
    EXPECT_EQ(server.ReceiveExactly(got.data(), got.size()), 0);
    sending.join();
    EXPECT_EQ(got, payload);

    ASSERT_EQ(server.SetTimeout(30), 0);
    char byte;
    EXPECT_EQ(server.ReceiveExactly(&byte, 1), ETIMEDOUT);
    ASSERT_EQ(client.ShutdownSend(), 0);
    std::size_t received = 1;
    EXPECT_EQ(server.ReceivePiece(&byte, 1, received), 0);
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(server.ReceiveExactly(&byte, 1), EPIPE);

    const std::uint16_t port = listener.port();
    listener.close();
    platform::TcpConnection refused;
    EXPECT_EQ(platform::TcpConnection::ConnectLoopback(port, refused), ECONNREFUSED);
}
