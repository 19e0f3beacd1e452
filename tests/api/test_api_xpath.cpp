#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstring>
#include <string>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::Image;
using apitest::ScriptedEngine;
using apitest::WithEmptyTail;

namespace {

std::u16string WideText(const uint16_t* text) {
    std::u16string units;
    for (; *text; ++text) units.push_back(static_cast<char16_t>(*text));
    return units;
}

std::vector<std::string> ListItems(void* list) {
    std::vector<std::string> items;
    for (int i = 0; i < GetStringListLength(list); ++i) {
        items.emplace_back(GetStringFromList(list, i));
    }
    return items;
}

// A request of command `code` that carries nothing.
Image EmptyRequest(unsigned char code) {
    return WithEmptyTail({0x34, 0, 0, 0, code, 0, 0, 0, 0, 0, 0, 0,    // T 52, command, error
                          0,    0, 0, 0, 0,    0, 0, 0, 0, 0, 0, 0});  // long, double, string
}

}  // namespace

TEST(XPathRequest, EvaluateSendsItsThreeStringsInOrderAndListsEveryReplyString) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=x;str=;str=z", "err=9020"});
    int err = -1;
    void* list = EvaluateXPath("h", "//ctx", "name", &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(ListItems(list), (std::vector<std::string>{"x", "", "z"}));
    RemoveStringList(list);
    EXPECT_EQ(EvaluateXPath("h", "//ctx", "name", &err), nullptr);
    EXPECT_EQ(err, 9020);
    ASSERT_EQ(engine.Finish(), 0);
    const Image expected =
        WithEmptyTail({0x4a, 0, 0, 0, 16,  0,   0,   0,   0,   0, 0, 0,  // T 74, command 16
                       0,    0, 0, 0, 0,   0,   0,   0,                  // long, double
                       3,    0, 0, 0, 1,   0,   0,   0,   'h',           // handle
                       5,    0, 0, 0, '/', '/', 'c', 't', 'x',           // second
                       4,    0, 0, 0, 'n', 'a', 'm', 'e'});              // third
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{expected, expected}));
}

TEST(XPathRequest, HandleCallsSendTheHandleAndPassTheEngineCodeThrough) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "err=9021"});
    EXPECT_EQ(CreateXPathDictionary("h"), 0);
    EXPECT_EQ(RemoveXPathHandle("h"), 9021);
    ASSERT_EQ(engine.Finish(), 0);
    auto handleRequest = [](unsigned char code) {
        return WithEmptyTail({0x39, 0, 0, 0, code, 0, 0, 0, 0, 0, 0, 0,  // T 57
                              0,    0, 0, 0, 0,    0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'h'});
    };
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{handleRequest(14), handleRequest(15)}));
}

TEST(EngineLists, TagsAndHandlesAskWithNothingAndListEveryString) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=Tables;str=Notes", "", "err=7"});
    int err = -1;
    void* tags = GetOMSTagList(&err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(ListItems(tags), (std::vector<std::string>{"Tables", "Notes"}));
    RemoveStringList(tags);
    void* handles = GetHandleList(&err);
    EXPECT_EQ(err, 0);
    ASSERT_NE(handles, nullptr);
    EXPECT_EQ(GetStringListLength(handles), 0);
    RemoveStringList(handles);
    EXPECT_EQ(GetFileHandles(&err), nullptr);
    EXPECT_EQ(err, 7);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(),
              (std::vector<Image>{EmptyRequest(23), EmptyRequest(24), EmptyRequest(216)}));
}

TEST(XmlText, TwiceReturnsTheSameBufferWithNewContentAndALongerTextWhole) {
    apitest::AttachAsRunning();
    // A first text far larger than the second: a fresh allocation for the
    // second could not come back at the same address.
    const std::string padding(600, 'p');
    ScriptedEngine engine({"wide=<doc>%C3%A9" + padding + "</doc>", "wide=<b/>",
                           "wide=<root>%F0%9F%98%80" + padding + padding + "</root>", ""});
    const std::u16string widePadding(600, u'p');
    int err = -1;
    const uint16_t* first = GetXmlUtf16("h", &err);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(WideText(first), u"<doc>\u00e9" + widePadding + u"</doc>");
    const uint16_t* second = GetXmlUtf16("h", &err);
    EXPECT_EQ(second, first);
    EXPECT_EQ(WideText(second), u"<b/>");
    const uint16_t* longer = GetXmlUtf16("h", &err);
    ASSERT_NE(longer, nullptr);
    EXPECT_EQ(WideText(longer), u"<root>\U0001F600" + widePadding + widePadding + u"</root>");
    // The wire cannot tell an empty text from none: both are the empty text.
    const uint16_t* empty = GetXmlUtf16("h", &err);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(empty[0], 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image request =
        WithEmptyTail({0x39, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0,  // T 57, command 20
                       0,    0, 0, 0, 0,  0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'h'});
    EXPECT_EQ(engine.Requests(), (std::vector<Image>(4, request)));
}

TEST(XmlText, FailureIsNullAndKeepsTheLastText) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"wide=<a/>", "err=9022;wide=<lost/>"});
    int err = -1;
    const uint16_t* kept = GetXmlUtf16("h", &err);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(GetXmlUtf16("h", &err), nullptr);
    EXPECT_EQ(err, 9022);
    EXPECT_EQ(WideText(kept), u"<a/>");
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(Image, DataSizeAndTypeBecomeTheCallers) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"bin=%89PNG%00x;int=6;str=image/png"});
    int size = -1;
    char* type = nullptr;
    int err = -1;
    char* data = GetImage("h", "img", &size, &type, &err);
    EXPECT_EQ(err, 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 6);
    // The bytes, then one zero byte.
    const unsigned char expected[] = {0x89, 'P', 'N', 'G', 0, 'x', 0};
    EXPECT_EQ(std::memcmp(data, expected, sizeof expected), 0);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type, "image/png");
    EXPECT_EQ(FreeString(data), 0);
    EXPECT_EQ(FreeString(type), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image request = WithEmptyTail(
        {0x40, 0, 0, 0, 21, 0, 0, 0, 0, 0, 0, 0,  // T 64, command 21
         0,    0, 0, 0, 0,  0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 'h', 3, 0, 0, 0, 'i', 'm', 'g'});
    EXPECT_EQ(engine.Requests(), std::vector<Image>{request});
}

TEST(Image, EmptyTypeLeavesTheCallersPointerAndStillGivesDataAndSize) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"bin=ab;int=2;str="});
    char initial[] = "mine";
    char* type = initial;
    int size = -1;
    int err = -1;
    char* data = GetImage("h", "img", &size, &type, &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(type, initial);
    EXPECT_EQ(size, 2);
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(data, "ab");
    FreeString(data);
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(Image, ShortOrInconsistentRepliesLeaveEveryOutputAsItWas) {
    apitest::AttachAsRunning();
    // No integer; no string; a size beyond the bytes that came; no bytes at
    // all for a non-zero size; an engine error.
    ScriptedEngine engine({"bin=ab;str=png", "bin=ab;int=2", "bin=ab;int=100;str=png",
                           "int=1;str=png", "err=9023;bin=ab;int=2;str=png"});
    char initial[] = "mine";
    const int codes[] = {VEXA_MALFORMED_MESSAGE, VEXA_MALFORMED_MESSAGE, VEXA_MALFORMED_MESSAGE,
                         VEXA_MALFORMED_MESSAGE, 9023};
    for (int expected : codes) {
        char* type = initial;
        int size = -1;
        int err = -1;
        EXPECT_EQ(GetImage("h", "img", &size, &type, &err), nullptr);
        EXPECT_EQ(err, expected);
        EXPECT_EQ(size, -1);
        EXPECT_EQ(type, initial);
    }
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(Image, NoBinaryStringAndSizeZeroIsNullWithoutError) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=0;str=png"});
    char* type = nullptr;
    int size = -1;
    int err = -1;
    EXPECT_EQ(GetImage("h", "img", &size, &type, &err), nullptr);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(size, 0);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type, "png");
    FreeString(type);
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(Setting, ErrorIsTheSecondParameterAndTheThirdTravelsAfterTheName) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=132", "", "err=9027"});
    int err = -1;
    EXPECT_STREQ(GetSetting("WIDTH", &err, "80"), "132");
    EXPECT_EQ(err, 0);
    EXPECT_EQ(GetSetting("WIDTH", &err, "80"), nullptr);
    EXPECT_EQ(err, VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(GetSetting("WIDTH", &err, "80"), nullptr);
    EXPECT_EQ(err, 9027);
    ASSERT_EQ(engine.Finish(), 0);
    const Image request = WithEmptyTail(
        {0x43, 0, 0, 0, 22,  0,  0, 0, 0, 0, 0, 0,  // T 67, command 22
         0,    0, 0, 0, 0,   0,  0, 0, 2, 0, 0, 0, 5, 0, 0, 0, 'W', 'I', 'D', 'T', 'H',  // name
         2,    0, 0, 0, '8', '0'});  // third parameter
    EXPECT_EQ(engine.Requests(), (std::vector<Image>(3, request)));
}

TEST(TransCode, FailureGivesTheEmptyTextNeverNull) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=caf%C3%A9", "err=5", ""});
    int err = -1;
    EXPECT_STREQ(TransCode("caf\xe9", &err), "caf\xc3\xa9");
    EXPECT_EQ(err, 0);
    const char* refused = TransCode("x", &err);
    ASSERT_NE(refused, nullptr);
    EXPECT_STREQ(refused, "");
    EXPECT_EQ(err, 5);
    const char* empty = TransCode("x", &err);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(err, VEXA_MALFORMED_MESSAGE);
    ASSERT_EQ(engine.Finish(), 0);
    const Image first =
        WithEmptyTail({0x3c, 0, 0, 0, 0xdb, 0, 0, 0, 0, 0, 0, 0,  // T 60, command 219
                       0,    0, 0, 0, 0,    0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0, 'c', 'a', 'f', 0xe9});
    ASSERT_EQ(engine.Requests().size(), 3u);
    EXPECT_EQ(engine.Requests()[0], first);
}

TEST(EngineLocale, NoStringIsNullWithoutError) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "str=de_DE"});
    int err = -1;
    EXPECT_EQ(GetVEXALocale(&err), nullptr);
    EXPECT_EQ(err, 0);
    EXPECT_STREQ(GetVEXALocale(&err), "de_DE");
    EXPECT_EQ(err, 0);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(), (std::vector<Image>(2, EmptyRequest(202))));
}

TEST(CLocale, TheEnginesNameBecomesThisProcesssLocale) {
    if (!std::setlocale(LC_ALL, "C.utf8")) GTEST_SKIP() << "no C.utf8 locale";
    std::setlocale(LC_ALL, "C");
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=C.utf8"});
    char* locale = nullptr;
    EXPECT_EQ(GetCLocale(&locale), 0);
    ASSERT_NE(locale, nullptr);
    EXPECT_STREQ(locale, "C.utf8");
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C.utf8");
    FreeString(locale);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(), std::vector<Image>{EmptyRequest(208)});
}

TEST(CLocale, NoStringOrAnEmptyNameChangesNoLocale) {
    std::setlocale(LC_ALL, "C");
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "str=", "err=4;str=C.utf8"});
    char initial[] = "mine";
    char* locale = initial;
    EXPECT_EQ(GetCLocale(&locale), 0);
    EXPECT_EQ(locale, initial);
    // "" would make setlocale take the environment's locale.
    EXPECT_EQ(GetCLocale(&locale), 0);
    ASSERT_NE(locale, initial);
    EXPECT_STREQ(locale, "");
    FreeString(locale);
    locale = initial;
    EXPECT_EQ(GetCLocale(&locale), 4);
    EXPECT_EQ(locale, initial);
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(HostApp, NameAndVersionNeedExactlyTwoStrings) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=Only", "str=a;str=b;str=c", "str=Host;str=2.1"});
    char initialName[] = "n";
    char initialVersion[] = "v";
    char* name = initialName;
    char* version = initialVersion;
    EXPECT_EQ(GetHostAppNameAndVersion(&name, &version), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(GetHostAppNameAndVersion(&name, &version), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(name, initialName);
    EXPECT_EQ(version, initialVersion);
    EXPECT_EQ(GetHostAppNameAndVersion(&name, &version), 0);
    EXPECT_STREQ(name, "Host");
    EXPECT_STREQ(version, "2.1");
    FreeString(name);
    FreeString(version);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(), (std::vector<Image>(3, EmptyRequest(210))));
}

TEST(HostApp, CopyrightNeedsExactlyOneString) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "str=a;str=b", "str=(c) Maker"});
    char initial[] = "c";
    char* text = initial;
    EXPECT_EQ(GetHostAppCopyright(&text), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(GetHostAppCopyright(&text), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(text, initial);
    EXPECT_EQ(GetHostAppCopyright(&text), 0);
    EXPECT_STREQ(text, "(c) Maker");
    FreeString(text);
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(HostApp, SettersSendTheirTextsAndPassTheEngineCodeThrough) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "err=9"});
    EXPECT_EQ(SetHostAppNameAndVersion("Host", "2.1"), 0);
    EXPECT_EQ(SetHostAppCopyright("(c)"), 9);
    ASSERT_EQ(engine.Finish(), 0);
    const Image nameAndVersion =
        WithEmptyTail({0x43, 0, 0,   0,   0xd6, 0,   0, 0, 0, 0, 0,   0,  // T 67, command 214
                       0,    0, 0,   0,   0,    0,   0, 0, 2, 0, 0,   0,   4,  0,
                       0,    0, 'H', 'o', 's',  't', 3, 0, 0, 0, '2', '.', '1'});
    const Image copyright =
        WithEmptyTail({0x3b, 0, 0, 0, 0xd7, 0, 0, 0, 0, 0, 0, 0,  // T 59, command 215
                       0,    0, 0, 0, 0,    0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, '(', 'c', ')'});
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{nameAndVersion, copyright}));
}

TEST(ServerMode, GetIsTheFirstIntegerAndMinusOneOnAnyFailure) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=1", "", "err=4;int=1"});
    EXPECT_EQ(GetPlexorServerMode(), 1);
    EXPECT_EQ(GetPlexorServerMode(), -1);
    EXPECT_EQ(GetPlexorServerMode(), -1);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(), (std::vector<Image>(3, EmptyRequest(229))));
}

TEST(ServerMode, SetSendsTheModeAsOneIntegerAndIgnoresTheEngineCode) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"err=9031", "int=0"});
    SetPlexorServerMode(1);
    EXPECT_EQ(GetPlexorServerMode(), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image set = WithEmptyTail({0x38, 0, 0, 0, 0xe6, 0, 0, 0, 0, 0, 0, 0,  // T 56, command 230
                                     1,    0, 0, 0, 1,    0, 0, 0,              // mode 1
                                     0,    0, 0, 0, 0,    0, 0, 0});
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{set, EmptyRequest(229)}));
}

// The last call is one the engine answers, so the record shows every request
// the refused calls would have sent.
TEST(NotRunning, RefusedCallsSendNothingAndLeaveOutputs) {
    SetXNameAndSHome("APITEST", "");
    SetVexaRunning(false);
    ScriptedEngine engine({"str=132"});
    int err = -1;
    EXPECT_EQ(GetFileHandles(&err), nullptr);
    EXPECT_EQ(err, VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(GetPlexorServerMode(), -1);
    SetPlexorServerMode(1);
    EXPECT_EQ(CreateXPathDictionary("h"), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(RemoveXPathHandle("h"), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(SetHostAppNameAndVersion("a", "b"), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(SetHostAppCopyright("c"), VEXA_ENGINE_NOT_RUNNING);
    char initial[] = "x";
    char* first = initial;
    char* second = initial;
    EXPECT_EQ(GetHostAppNameAndVersion(&first, &second), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(GetHostAppCopyright(&first), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(GetCLocale(&first), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(first, initial);
    EXPECT_EQ(second, initial);
    EXPECT_STREQ(GetSetting("WIDTH", &err, ""), "132");
    ASSERT_EQ(engine.Finish(), 0);
    ASSERT_EQ(engine.Requests().size(), 1u);
    EXPECT_EQ(engine.Requests()[0][4], 22);
}

TEST(NotRunning, FileHandlesAndServerModeTouchNoPipe) {
    SetXNameAndSHome("APITEST", "");
    SetVexaRunning(false);
    int err = -1;
    EXPECT_EQ(GetFileHandles(&err), nullptr);
    EXPECT_EQ(err, VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(GetPlexorServerMode(), -1);
    SetPlexorServerMode(0);
    EXPECT_TRUE(apitest::OwnPipeFiles().empty());
}

TEST(CallerErrors, NullOutputsGive99108AndSendNothing) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=132"});
    int err = -1;
    char* type = nullptr;
    int size = 0;
    EXPECT_EQ(GetImage("h", "img", nullptr, &type, &err), nullptr);
    EXPECT_EQ(err, VEXA_BAD_ARGUMENT);
    EXPECT_EQ(GetImage("h", "img", &size, nullptr, &err), nullptr);
    EXPECT_EQ(err, VEXA_BAD_ARGUMENT);
    char* name = nullptr;
    EXPECT_EQ(GetHostAppNameAndVersion(&name, nullptr), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(GetHostAppCopyright(nullptr), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(GetCLocale(nullptr), VEXA_BAD_ARGUMENT);
    EXPECT_STREQ(GetSetting("WIDTH", &err, ""), "132");
    ASSERT_EQ(engine.Finish(), 0);
    ASSERT_EQ(engine.Requests().size(), 1u);
    EXPECT_EQ(engine.Requests()[0][4], 22);
}
