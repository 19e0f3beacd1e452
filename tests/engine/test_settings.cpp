// The settings family: FILE HANDLE and SET LOCALE commands, settings by
// name, text conversion, locales, host information and server mode through
// the command table, and the same values over the pipes of a real engine.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "codec/protocol.h"
#include "commandrunner.h"
#include "commandtable.h"
#include "engineclient.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "outputlog.h"
#include "runtime/statuscodes.h"
#include "syntaxrunner.h"

namespace {

using engine::FileHandles;
using engine::OutputLog;
using engine::OutputSettings;
using Strings = std::vector<std::string>;
using namespace std::string_literals;

// Submitted text run as the engine runs it: the code of the command that failed, or 0.
int RunCommand(const std::string& text, engine::EngineState& state) {
    return engine::RunSyntax(text, state, engine::BlockLines::kRecognised);
}

TEST(FileHandleCommands, DefineHandlesThatANewDefinitionReplacesInPlace) {
    engine::EngineState state;
    OutputSettings& settings = state.settings;
    EXPECT_EQ(RunCommand("FILE HANDLE data /NAME='/tmp/my data.csv'.", state), VEXA_OK);
    EXPECT_EQ(RunCommand("file  handle\tout /name = \"/tmp/it's.txt\" /MODE=CHARACTER .\n", state),
              VEXA_OK);
    EXPECT_EQ(RunCommand("FILE HANDLE quoted /NAME='/tmp/a''b'.", state), VEXA_OK);
    EXPECT_EQ(RunCommand("FILE HANDLE DATA /LRECL=80 /NAME=/srv/data.csv.", state), VEXA_OK);
    EXPECT_EQ(settings.fileHandles.entries(),
              (std::vector<FileHandles::Entry>{
                  {"DATA", "/srv/data.csv"}, {"out", "/tmp/it's.txt"}, {"quoted", "/tmp/a'b"}}));
    ASSERT_NE(settings.fileHandles.Find("Data"), nullptr);
    EXPECT_EQ(*settings.fileHandles.Find("Data"), "/srv/data.csv");
    EXPECT_EQ(settings.fileHandles.Find("nothing"), nullptr);
    EXPECT_EQ(state.log.entries().size(), 4u);
}

TEST(FileHandleCommands, WithoutNameOrPathTheyAreRefusedAndChangeNothing) {
    engine::EngineState state;
    OutputSettings& settings = state.settings;
    for (const char* command :
         {"FILE HANDLE.", "FILE HANDLE data.", "FILE HANDLE data /NAME=''.",
          "FILE HANDLE /NAME='/tmp/x'.", "FILE HANDLE data /NAME='/tmp/x.",
          "FILE HANDLE data NAME='/tmp/x'.", "FILE HANDLE data /NAME '/tmp/x'.",
          "FILE HANDLE data /MODE=CHARACTER."}) {
        EXPECT_EQ(RunCommand(command, state), engine::kBadFileHandle) << command;
    }
    // Other commands are unknown; a zero byte makes no command.
    for (const std::string& command :
         {"FILE TYPE MIXED."s, "FILEHANDLE data /NAME=x."s, "FILE HANDLES x /NAME=y."s}) {
        EXPECT_EQ(RunCommand(command, state), engine::kUnknownSyntaxCommand) << command;
    }
    EXPECT_EQ(RunCommand("FILE HANDLE data /NAME='\0'."s, state), engine::kBadSyntax);
    EXPECT_TRUE(settings.fileHandles.entries().empty());
}

TEST(SetLocale, ChangesTheEngineLocaleAndRefusesWhatIsNoLocaleName) {
    engine::EngineState state;
    OutputSettings& settings = state.settings;
    EXPECT_EQ(settings.EngineLocale(), "en_US.UTF-8");
    EXPECT_EQ(settings.CLocale(), "C.UTF-8");
    for (const char* command : {"SET LOCALE=''.", "SET LOCALE='de CH'.",
                                "SET WIDTH=100 LOCALE='x;rm'.", "SET LOCALE=de/../x."}) {
        EXPECT_EQ(RunCommand(command, state), engine::kBadSetValue) << command;
        EXPECT_EQ(settings.locale, std::nullopt) << command;
        EXPECT_EQ(settings.width, 80) << command;
    }
    EXPECT_EQ(RunCommand("set locale='sr_RS.UTF-8@latin' width=100.", state), VEXA_OK);
    EXPECT_EQ(settings.EngineLocale(), "sr_RS.UTF-8@latin");
    EXPECT_EQ(settings.CLocale(), "sr_RS.UTF-8@latin");
    EXPECT_EQ(settings.width, 100);
}

class SettingsReplies : public enginetest::EngineReplies {
  protected:
    int AskInt(int code, std::int32_t value) { return Ask(code, enginetest::Values({}, {value})); }
};

TEST_F(SettingsReplies, SettingsByNameFollowTheSetCommands) {
    const std::vector<std::pair<std::string, std::string>> defaults = {
        {"WIDTH", "80"}, {"olang", "English"}, {"Unicode", "ON"}, {"LOCALE", "en_US.UTF-8"}};
    for (const auto& [name, value] : defaults) {
        ASSERT_EQ(Ask(cmd::kGetSetting, {name, ""}), VEXA_OK) << name;
        EXPECT_EQ(ReplyStrings(), Strings{value}) << name;
    }
    ASSERT_EQ(
        Ask(cmd::kSubmit, {"SET WIDTH=132 OLANG=Deutsch UNICODE=OFF LOCALE=de_DE.ISO-8859-1."}),
        VEXA_OK);
    const std::vector<std::pair<std::string, std::string>> changed = {
        {"width", "132"}, {"OLANG", "Deutsch"}, {"UNICODE", "OFF"}, {"locale", "de_DE.ISO-8859-1"}};
    for (const auto& [name, value] : changed) {
        ASSERT_EQ(Ask(cmd::kGetSetting, {name, "unused default"}), VEXA_OK) << name;
        EXPECT_EQ(ReplyStrings(), Strings{value}) << name;
    }
}

TEST_F(SettingsReplies, AnUnknownSettingGivesTheDefaultTextOrItsCode) {
    ASSERT_EQ(Ask(cmd::kGetSetting, {"MXWARNS", "10"}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{"10"});
    EXPECT_EQ(Ask(cmd::kGetSetting, {"MXWARNS", ""}), engine::kUnknownSetting);
    EXPECT_EQ(Ask(cmd::kGetSetting, {"MXWARNS"}), engine::kUnknownSetting);
    EXPECT_EQ(Ask(cmd::kGetSetting, {"", ""}), engine::kUnknownSetting);
    EXPECT_EQ(Ask(cmd::kGetSetting), VEXA_MALFORMED_MESSAGE);
}

TEST_F(SettingsReplies, FileHandlesAreNameAndPathAlternating) {
    ASSERT_EQ(Ask(cmd::kGetFileHandles), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{});
    ASSERT_EQ(Ask(cmd::kSubmit, {"FILE HANDLE in /NAME='/data/in.csv'."}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kQueueCommandPart, {"FILE HANDLE out"}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kQueueCommandPart, {"  /NAME='/data/out.csv'."}), VEXA_OK);
    EXPECT_EQ(Ask(cmd::kSubmit, {"FILE HANDLE broken."}), engine::kBadFileHandle);
    ASSERT_EQ(Ask(cmd::kGetFileHandles), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"in", "/data/in.csv", "out", "/data/out.csv"}));
}

TEST_F(SettingsReplies, TransCodeLeavesUnicodeTextAndTurnsLatin1IntoUtf8) {
    const std::string bytes = "caf\xE9 \xFF\x80 plain\0z"s;
    ASSERT_EQ(Ask(cmd::kTransCode, {bytes}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{bytes});
    ASSERT_EQ(Ask(cmd::kSubmit, {"SET UNICODE=OFF."}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kTransCode, {bytes}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{"caf\xC3\xA9 \xC3\xBF\xC2\x80 plain\0z"s});
    ASSERT_EQ(Ask(cmd::kTransCode, {""}), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{""});
    EXPECT_EQ(Ask(cmd::kTransCode), VEXA_MALFORMED_MESSAGE);
}

TEST_F(SettingsReplies, LocalesHaveTheirDefaultsUntilSetLocale) {
    ASSERT_EQ(Ask(cmd::kGetVEXALocale), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{"en_US.UTF-8"});
    ASSERT_EQ(Ask(cmd::kGetCLocale), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{"C.UTF-8"});
    ASSERT_EQ(Ask(cmd::kSubmit, {"SET LOCALE=fr_CH.UTF-8."}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetVEXALocale), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{"fr_CH.UTF-8"});
    ASSERT_EQ(Ask(cmd::kGetCLocale), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{"fr_CH.UTF-8"});
}

TEST_F(SettingsReplies, HostApplicationStringsAreReplacedWholeOrNotAtAll) {
    ASSERT_EQ(Ask(cmd::kGetHostAppNameAndVersion), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"StartXD", "1.0"}));
    ASSERT_EQ(Ask(cmd::kGetHostAppCopyright), VEXA_OK);
    ASSERT_EQ(reply.GetStringDataRef().Size(), 1);
    EXPECT_FALSE(reply.GetSingleString().empty());

    EXPECT_EQ(Ask(cmd::kSetHostAppNameAndVersion, {"Notebook"}), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(Ask(cmd::kSetHostAppCopyright), VEXA_MALFORMED_MESSAGE);
    ASSERT_EQ(Ask(cmd::kGetHostAppNameAndVersion), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"StartXD", "1.0"}));

    ASSERT_EQ(Ask(cmd::kSetHostAppNameAndVersion, {"Notebook", "7.2 beta"}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kSetHostAppCopyright, {"(c) 2024 the notebook team"}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetHostAppNameAndVersion), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"Notebook", "7.2 beta"}));
    ASSERT_EQ(Ask(cmd::kGetHostAppCopyright), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), Strings{"(c) 2024 the notebook team"});
    // Empty strings are values too.
    ASSERT_EQ(Ask(cmd::kSetHostAppNameAndVersion, {"", ""}), VEXA_OK);
    ASSERT_EQ(Ask(cmd::kGetHostAppNameAndVersion), VEXA_OK);
    EXPECT_EQ(ReplyStrings(), (Strings{"", ""}));
}

TEST_F(SettingsReplies, ServerModeTakesOnlyTheModesTheEngineKnows) {
    ASSERT_EQ(Ask(cmd::kGetPlexorServerMode), VEXA_OK);
    ASSERT_EQ(reply.GetLongDataRef().Size(), 1);
    EXPECT_EQ(reply.GetLongDataRef()[0], 0);
    ASSERT_EQ(AskInt(cmd::kSetPlexorServerMode, 1), VEXA_OK);
    for (std::int32_t refused : {2, -1}) {
        EXPECT_EQ(AskInt(cmd::kSetPlexorServerMode, refused), engine::kBadServerMode) << refused;
    }
    EXPECT_EQ(Ask(cmd::kSetPlexorServerMode), VEXA_MALFORMED_MESSAGE);
    ASSERT_EQ(Ask(cmd::kGetPlexorServerMode), VEXA_OK);
    ASSERT_EQ(reply.GetLongDataRef().Size(), 1);
    EXPECT_EQ(reply.GetLongDataRef()[0], 1);
}

TEST(SettingsProcess, SubmittedCommandsShowInTheSettingsOverThePipes) {
    char pid[16];
    std::snprintf(pid, sizeof pid, "%04xt", static_cast<unsigned>(platform::CurrentProcessId()));
    enginetest::EngineClient client(pid, "settingsprocess");
    ASSERT_EQ(client.CreateResultPipe(), 0);
    ASSERT_EQ(client.StartEngine(), 0);
    ASSERT_EQ(client.ReceiveReady(20000), 0);
    auto call = [&](int code, std::initializer_list<std::string> strs, CleXDSmb& reply) {
        CleXDSmb request;
        request.SetCommandAction(code);
        for (const auto& value : strs) request.SetString(value);
        if (int sent = client.Send(request)) return sent;
        return client.Receive(reply);
    };
    CleXDSmb submitted;
    ASSERT_EQ(call(cmd::kSubmit, {"SET LOCALE=de_CH.UTF-8 UNICODE=OFF."}, submitted), VEXA_OK);
    ASSERT_EQ(call(cmd::kSubmit, {"FILE HANDLE raw /NAME='/data/raw file.csv'."}, submitted),
              VEXA_OK);
    CleXDSmb locale;
    ASSERT_EQ(call(cmd::kGetCLocale, {}, locale), VEXA_OK);
    EXPECT_EQ(locale.GetSingleString(), "de_CH.UTF-8");
    CleXDSmb handles;
    ASSERT_EQ(call(cmd::kGetFileHandles, {}, handles), VEXA_OK);
    ASSERT_EQ(handles.GetStringDataRef().Size(), 2);
    EXPECT_EQ(handles.GetStringDataRef()[1], "/data/raw file.csv");
    CleXDSmb converted;
    ASSERT_EQ(call(cmd::kTransCode, {"\xE4"}, converted), VEXA_OK);
    EXPECT_EQ(converted.GetSingleString(), "\xC3\xA4");
    CleXDSmb set;
    ASSERT_EQ(call(cmd::kSetHostAppNameAndVersion, {"Host", "2"}, set), VEXA_OK);
    CleXDSmb host;
    ASSERT_EQ(call(cmd::kGetHostAppNameAndVersion, {}, host), VEXA_OK);
    ASSERT_EQ(host.GetStringDataRef().Size(), 2);
    EXPECT_EQ(host.GetStringDataRef()[0], "Host");
    EXPECT_EQ(host.GetStringDataRef()[1], "2");
    CleXDSmb stop;
    ASSERT_EQ(call(cmd::kStopVexa, {}, stop), VEXA_OK);
    ASSERT_TRUE(client.engine().WaitFor(20000));
    EXPECT_EQ(client.engine().ExitStatus(), 0);
}

}  // namespace
