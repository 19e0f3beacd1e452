// The submission family: gathering command parts, the SET commands, the
// output log and its file, the family's replies, and -outputlog= on a real
// engine process.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "codec/protocol.h"
#include "commandrunner.h"
#include "commandtable.h"
#include "engineclient.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "outputlog.h"
#include "runtime/statuscodes.h"

namespace {

using engine::OutputLog;
using engine::OutputSettings;
using Kind = engine::OutputLog::Kind;
using namespace std::string_literals;

std::string FileText(const std::filesystem::path& path) {
    std::ifstream input(path, std::ios::binary);
    std::ostringstream text;
    text << input.rdbuf();
    return text.str();
}

// A file in the temp directory, removed at the end of the case.
struct TempFile {
    explicit TempFile(const std::string& tag)
        : path(std::filesystem::temp_directory_path() /
               (tag + "-" + std::to_string(platform::CurrentProcessId()) + ".log")) {
        std::filesystem::remove(path);
    }
    ~TempFile() { std::filesystem::remove(path); }
    std::filesystem::path path;
};

// A SET command's code, given what follows SET.
int Set(const std::string& rest, OutputSettings& settings, OutputLog& log) {
    return engine::RunSet(rest, settings, log).code;
}

TEST(SetCommands, WidthLanguageAndUnicodeChangeTheSettings) {
    OutputSettings settings;
    OutputLog log;
    EXPECT_EQ(settings.width, 80);
    EXPECT_EQ(settings.language, "English");
    EXPECT_TRUE(settings.unicode);
    EXPECT_EQ(Set("WIDTH=132", settings, log), 0);
    EXPECT_EQ(settings.width, 132);
    EXPECT_EQ(Set("  width = 40 unicode=off olang='Deutsch' \n", settings, log), 0);
    EXPECT_EQ(settings.width, 40);
    EXPECT_FALSE(settings.unicode);
    EXPECT_EQ(settings.language, "Deutsch");
    EXPECT_EQ(Set("UNICODE=On", settings, log), 0);
    EXPECT_TRUE(settings.unicode);
    EXPECT_EQ(Set("WIDTH=255", settings, log), 0);
    EXPECT_EQ(settings.width, 255);
}

TEST(SetCommands, RefusedValueChangesNothingOfThatCommand) {
    OutputSettings settings;
    OutputLog log;
    for (const char* rest : {"WIDTH=39", "WIDTH=256", "WIDTH=wide", "WIDTH=", "UNICODE=YES",
                             "OLANG=''", "OLANG=French WIDTH=20"}) {
        EXPECT_EQ(Set(rest, settings, log), engine::kBadSetValue) << rest;
        EXPECT_EQ(settings.width, 80) << rest;
        EXPECT_EQ(settings.language, "English") << rest;
        EXPECT_TRUE(settings.unicode) << rest;
    }
    EXPECT_EQ(engine::kBadSetValue, 9006);
    EXPECT_TRUE(log.entries().empty());
}

TEST(SetCommands, UnknownKeywordsAndMalformedAssignmentsAreRefused) {
    OutputSettings settings;
    OutputLog log;
    for (const char* rest :
         {"PRINTBACK ON", "MXWARNS=10", "WIDTH=100 garbage", "", "WIDTH=100 MXWARNS=10", "=5"}) {
        EXPECT_EQ(Set(rest, settings, log), engine::kBadSyntax) << rest;
        EXPECT_EQ(settings.width, 80) << rest;
    }
}

TEST(OutputLogEntries, KeptInOrderAndWrittenOneLineEach) {
    TempFile file("outputlog");
    std::ofstream(file.path) << "earlier run\n";
    OutputLog log;
    ASSERT_TRUE(log.AppendTo(file.path.string()));
    log.Add(Kind::kCommand, "BEGIN\r\nEND.");
    log.Add(Kind::kOutput, "tab\there\0zero\\"s);
    log.Add(Kind::kGraphic, "/tmp/chart.png");
    log.Add(Kind::kLabels, "first", "second\nline");
    log.Add(Kind::kLanguage, "Deutsch");
    ASSERT_EQ(log.entries().size(), 5u);
    EXPECT_EQ(log.entries()[0].kind, Kind::kCommand);
    EXPECT_EQ(log.entries()[1].text, "tab\there\0zero\\"s);
    EXPECT_EQ(log.entries()[3].second, "second\nline");
    EXPECT_EQ(FileText(file.path),
              "earlier run\n"
              "command: BEGIN\\r\\nEND.\n"
              "output: tab\\there\\0zero\\\\\n"
              "graphic: /tmp/chart.png\n"
              "labels: first\tsecond\\nline\n"
              "language: Deutsch\n");
}

TEST(OutputLogEntries, WithoutAFileOnlyMemoryKeepsThem) {
    OutputLog log;
    EXPECT_FALSE(log.AppendTo("/nonexistent/directory/out.log"));
    log.Add(Kind::kOutput, "text");
    EXPECT_EQ(log.entries().size(), 1u);
}

class SubmissionReplies : public enginetest::EngineReplies {
  protected:
    std::int32_t FirstInt() const {
        EXPECT_EQ(reply.GetLongDataRef().Size(), 1);
        return reply.GetLongDataRef().Size() ? reply.GetLongDataRef()[0] : -1;
    }
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        for (const auto& entry : state.log.entries()) lines.push_back(OutputLog::LineOf(entry));
        return lines;
    }
};

TEST_F(SubmissionReplies, SettingsAnswerTheirDefaultsAndFollowSubmittedSetCommands) {
    ASSERT_EQ(Ask(cmd::kGetVexaOutputWidth), 0);
    EXPECT_EQ(FirstInt(), 80);
    ASSERT_EQ(Ask(cmd::kIsUTF8mode), 0);
    EXPECT_EQ(FirstInt(), 1);
    ASSERT_EQ(Ask(cmd::kGetOutputLanguage), 0);
    EXPECT_EQ(reply.GetSingleString(), "English");

    ASSERT_EQ(Ask(cmd::kSubmit, {"SET WIDTH=120 UNICODE=OFF."}), 0);
    ASSERT_EQ(Ask(cmd::kGetVexaOutputWidth), 0);
    EXPECT_EQ(FirstInt(), 120);
    ASSERT_EQ(Ask(cmd::kIsUTF8mode), 0);
    EXPECT_EQ(FirstInt(), 0);
    EXPECT_EQ(Ask(cmd::kSubmit, {"SET WIDTH=300."}), engine::kBadSetValue);
    ASSERT_EQ(Ask(cmd::kGetVexaOutputWidth), 0);
    EXPECT_EQ(FirstInt(), 120);

    ASSERT_EQ(Ask(cmd::kSetOutputLanguage, {"Français"}), 0);
    ASSERT_EQ(Ask(cmd::kGetOutputLanguage), 0);
    EXPECT_EQ(reply.GetSingleString(), "Français");
    EXPECT_EQ(Ask(cmd::kSetOutputLanguage, {""}), engine::kBadSetValue);
    EXPECT_EQ(Ask(cmd::kSetOutputLanguage), VEXA_MALFORMED_MESSAGE);
    ASSERT_EQ(Ask(cmd::kGetOutputLanguage), 0);
    EXPECT_EQ(reply.GetSingleString(), "Français");
}

TEST_F(SubmissionReplies, QueuedPartsRunAsOneCommandOnceComplete) {
    ASSERT_EQ(Ask(cmd::kQueueCommandPart, {"SET"}), 0);
    ASSERT_EQ(Ask(cmd::kQueueCommandPart, {"WIDTH=100"}), 0);
    EXPECT_TRUE(state.log.entries().empty());
    EXPECT_EQ(state.settings.width, 80);
    ASSERT_EQ(Ask(cmd::kQueueCommandPart, {".  \n"}), 0);
    EXPECT_EQ(state.settings.width, 100);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"command: SET\\nWIDTH=100\\n.  "}));
    // A refused SET is reported on the part that completes it.
    ASSERT_EQ(Ask(cmd::kQueueCommandPart, {"SET WIDTH=10"}), 0);
    EXPECT_EQ(Ask(cmd::kQueueCommandPart, {"."}), engine::kBadSetValue);
    EXPECT_FALSE(state.pendingCommand.HasPending());
}

TEST_F(SubmissionReplies, EverythingReachesTheLogInOrder) {
    ASSERT_EQ(Ask(cmd::kSubmit, {"SET WIDTH=90.\n/* a comment */\nSET\n  UNICODE=ON."}), 0);
    ASSERT_EQ(Ask(cmd::kPostVexaOutput, {"Result line 1\nResult line 2"}), 0);
    ASSERT_EQ(Ask(cmd::kGetGraphic, {"/tmp/plot.png"}), 0);
    ASSERT_EQ(Ask(cmd::kSetGraphicsLabel, {"Title", "Subtitle"}), 0);
    ASSERT_EQ(Ask(cmd::kSubmit, {"SET OLANG=Deutsch."}), 0);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"command: SET WIDTH=90.", "command: SET\\n  UNICODE=ON.",
                                        "output: Result line 1\\nResult line 2",
                                        "graphic: /tmp/plot.png", "labels: Title\tSubtitle",
                                        "command: SET OLANG=Deutsch.", "language: Deutsch"}));
}

TEST_F(SubmissionReplies, TextCommandsWithoutTheirTextAreMalformed) {
    for (int code : {cmd::kSubmit, cmd::kQueueCommandPart, cmd::kPostVexaOutput, cmd::kGetGraphic,
                     cmd::kSetGraphicsLabel}) {
        EXPECT_EQ(Ask(code), VEXA_MALFORMED_MESSAGE) << code;
    }
    EXPECT_TRUE(state.log.entries().empty());
}

TEST_F(SubmissionReplies, AMissingSecondGraphicsLabelIsEmpty) {
    // The library sends no value for a null label.
    ASSERT_EQ(Ask(cmd::kSetGraphicsLabel, {"only one"}), 0);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"labels: only one\t"}));
}

// Drives a real engine process with -outputlog=.
class OutputLogProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        char pid[16];
        std::snprintf(pid, sizeof pid, "%04xs",
                      static_cast<unsigned>(platform::CurrentProcessId()));
        std::string language = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        client = std::make_unique<enginetest::EngineClient>(pid, language.substr(0, 40));
    }

    int Start(const std::string& logPath) {
        if (int created = client->CreateResultPipe()) return created;
        if (int started = client->StartEngine({"-outputlog=" + logPath})) return started;
        return client->ReceiveReady(20000);
    }

    int Call(int code, std::initializer_list<std::string> strs = {}) {
        CleXDSmb request;
        request.SetCommandAction(code);
        for (const auto& value : strs) request.SetString(value);
        if (int sent = client->Send(request)) return sent;
        CleXDSmb reply;
        return client->Receive(reply);
    }

    std::unique_ptr<enginetest::EngineClient> client;
};

TEST_F(OutputLogProcess, EachEntryIsInTheFileWhenItsReplyArrives) {
    TempFile file("enginelog");
    ASSERT_EQ(Start(file.path.string()), 0);
    ASSERT_EQ(Call(cmd::kSubmit, {"DESCRIPTIVES\n  VARIABLES=sepal_length."}),
              engine::kUnknownSyntaxCommand);
    const std::string unknown =
        "command: DESCRIPTIVES\\n  VARIABLES=sepal_length.\n"
        "error: DESCRIPTIVES (line 1): the engine does not know the command 'DESCRIPTIVES'\n";
    EXPECT_EQ(FileText(file.path), unknown);
    ASSERT_EQ(Call(cmd::kPostVexaOutput, {"posted"}), 0);
    ASSERT_EQ(Call(cmd::kGetGraphic, {"/tmp/g.png"}), 0);
    ASSERT_EQ(Call(cmd::kSetGraphicsLabel, {"a", "b"}), 0);
    EXPECT_EQ(Call(cmd::kSubmit, {"SET WIDTH=1."}), engine::kBadSetValue);
    ASSERT_EQ(Call(cmd::kStopVexa), 0);
    ASSERT_TRUE(client->engine().WaitFor(20000));
    EXPECT_EQ(client->engine().ExitStatus(), 0);
    EXPECT_EQ(FileText(file.path), unknown +
                                       "output: posted\n"
                                       "graphic: /tmp/g.png\n"
                                       "labels: a\tb\n"
                                       "command: SET WIDTH=1.\n"
                                       "error: SET (line 1): SET WIDTH does not take '1'\n");
}

TEST_F(OutputLogProcess, UnwritableLogFailsTheReadyMessage) {
    EXPECT_EQ(Start("/nonexistent/directory/engine.log"), engine::kOutputLogUnwritable);
    ASSERT_TRUE(client->engine().WaitFor(20000));
    EXPECT_EQ(client->engine().ExitStatus(), 1);
}

}  // namespace
