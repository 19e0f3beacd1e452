#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::FileContent;
using apitest::Image;
using apitest::ScriptedEngine;
using apitest::TempPath;
using apitest::WithEmptyTail;

namespace {

// The request that asks for the UTF-8 mode: code 185, nothing else.
const Image kIsUtf8Request =
    WithEmptyTail({0x34, 0, 0, 0, 0xb9, 0, 0, 0, 0, 0, 0, 0,    // T, command, error
                   0,    0, 0, 0, 0,    0, 0, 0, 0, 0, 0, 0});  // long, double, string

struct ConverterCalls {
    int count = 0;
    int sourceLength = 0;
    int capacity = 0;
};
ConverterCalls converterCalls;

// Upper-cases the text and clears the rest of its room, touching every byte
// the library says it may.
int UpperCase(const char* source, int sourceLength, char* destination, int capacity) {
    converterCalls = {converterCalls.count + 1, sourceLength, capacity};
    for (int i = 0; i < sourceLength; ++i) {
        destination[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(source[i])));
    }
    std::memset(destination + sourceLength, 0, static_cast<std::size_t>(capacity - sourceLength));
    return 0;
}

}  // namespace

TEST(SubmitRequest, CarriesExactlyLengthBytesZeroBytesIncluded) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "err=3"});
    EXPECT_EQ(Submit("ab\0cdef", 4), 0);
    EXPECT_EQ(Submit("abcdef", 3), 3);
    ASSERT_EQ(engine.Finish(), 0);
    const Image embeddedZero =
        WithEmptyTail({0x3c, 0, 0, 0, 0, 0, 0, 0, 0,   0,   0, 0,  // T 60, command 0
                       0,    0, 0, 0, 0, 0, 0, 0,                  // long, double
                       1,    0, 0, 0, 4, 0, 0, 0, 'a', 'b', 0, 'c'});
    const Image shorterThanText =
        WithEmptyTail({0x3b, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // T 59
                       0,    0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'});
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{embeddedZero, shorterThanText}));
}

TEST(GraphicsRequest, NullLabelAddsNoValueAndPathHasNoTerminator) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "err=9"});
    EXPECT_EQ(SetGraphicsLabel("a", nullptr), 0);
    GetGraphic("/tmp/g.png");
    ASSERT_EQ(engine.Finish(), 0);
    const Image oneLabel =
        WithEmptyTail({0x39, 0, 0, 0, 0xe7, 0, 0, 0, 0, 0, 0, 0,  // T 57, command 231
                       0,    0, 0, 0, 0,    0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'a'});
    const Image path =
        WithEmptyTail({0x42, 0, 0, 0,   0xc9, 0,   0,   0,   0,   0,   0,   0,  // T 66, command 201
                       0,    0, 0, 0,   0,    0,   0,   0,   1,   0,   0,   0,   10,
                       0,    0, 0, '/', 't',  'm', 'p', '/', 'g', '.', 'p', 'n', 'g'});
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{oneLabel, path}));
}

TEST(OutputLanguage, EmptyStringBlockIsNullWithoutError) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "str=German"});
    int err = -1;
    EXPECT_EQ(GetOutputLanguage(&err), nullptr);
    EXPECT_EQ(err, 0);
    EXPECT_STREQ(GetOutputLanguage(&err), "German");
    EXPECT_EQ(engine.Finish(), 0);
}

// Each case below ends with one call the engine answers, so the record shows
// every request the earlier calls would have sent.
TEST(CallerErrors, Give99108AndSendNothing) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=4"});
    EXPECT_EQ(Submit(nullptr, 5), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(PostVexaOutput("abc", -1), VEXA_BAD_ARGUMENT);
    char** labels = nullptr;
    int count = 0;
    EXPECT_EQ(GetNValueLabels(0, nullptr, &labels, &count), VEXA_BAD_ARGUMENT);
    char cell[8];
    int format = 0;
    EXPECT_EQ(GetVarCMissingValues(0, &format, cell, nullptr, cell), VEXA_BAD_ARGUMENT);
    int err = 0;
    int first = 0, second = 0;
    char* label = nullptr;
    GetMultiResponseSet("set", &label, &first, nullptr, &second, nullptr, &err);
    EXPECT_EQ(err, VEXA_BAD_ARGUMENT);
    EXPECT_EQ(GetVariableCount(&err), 4);
    ASSERT_EQ(engine.Finish(), 0);
    ASSERT_EQ(engine.Requests().size(), 1u);
    EXPECT_EQ(engine.Requests()[0][4], 7);
}

TEST(NotRunning, RefusingFunctionsReturn17AndSendNothing) {
    SetXNameAndSHome("APITEST", "");
    SetVexaRunning(false);
    ScriptedEngine engine({"int=4"});
    EXPECT_EQ(Submit("x", 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(QueueCommandPart("x", 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(PostVexaOutput("x", 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(SetGraphicsLabel("a", "b"), VEXA_ENGINE_NOT_RUNNING);
    double low = 1, high = 2;
    EXPECT_EQ(GetVEXALowHigh(&low, &high), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 2);
    int err = 0;
    EXPECT_EQ(GetVariableCount(&err), 4);
    ASSERT_EQ(engine.Finish(), 0);
    ASSERT_EQ(engine.Requests().size(), 1u);
    EXPECT_EQ(engine.Requests()[0][4], 7);
}

TEST(RecordBrowser, AppendsToTheFirstFileOpenedUntilSwitchedOff) {
    TempPath first("browser1"), other("browser2");
    std::ofstream(first.str()) << "old|";
    EXPECT_EQ(SetRecordBrowserOutput(first.str().c_str(), true), 0);
    EXPECT_EQ(SetRecordBrowserOutput(other.str().c_str(), true), 0);
    RecordBrowserOutput("new", 3, nullptr);
    EXPECT_EQ(FileContent(first.str()), "old|new");
    EXPECT_FALSE(std::filesystem::exists(other.str()));
    EXPECT_EQ(SetRecordBrowserOutput(nullptr, false), 0);
    RecordBrowserOutput("lost", 4, nullptr);
    EXPECT_EQ(SetRecordBrowserOutput(other.str().c_str(), true), 0);
    RecordBrowserOutput("next", 4, nullptr);
    EXPECT_EQ(FileContent(first.str()), "old|new");
    EXPECT_EQ(FileContent(other.str()), "next");
}

TEST(RecordBrowser, EmptyTextOrNoFileWritesAndAsksNothing) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=4"});
    TempPath file("browser");
    RecordBrowserOutput("abc", 3, UpperCase);
    SetRecordBrowserOutput(file.str().c_str(), true);
    RecordBrowserOutput("abc", 0, UpperCase);
    RecordBrowserOutput(nullptr, 3, UpperCase);
    int err = 0;
    EXPECT_EQ(GetVariableCount(&err), 4);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests().size(), 1u);
    EXPECT_EQ(FileContent(file.str()), "");
    EXPECT_EQ(converterCalls.count, 0);
}

TEST(RecordBrowser, ConverterRunsOnlyWhenTheEngineSaysUtf8) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=1", "int=0"});
    TempPath file("browser");
    SetRecordBrowserOutput(file.str().c_str(), true);
    RecordBrowserOutput("abc", 3, UpperCase);
    EXPECT_EQ(converterCalls.count, 1);
    EXPECT_EQ(converterCalls.sourceLength, 4);
    EXPECT_EQ(converterCalls.capacity, 16);
    RecordBrowserOutput("def", 3, UpperCase);
    EXPECT_EQ(converterCalls.count, 1);
    EXPECT_EQ(FileContent(file.str()), "ABCdef");
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{kIsUtf8Request, kIsUtf8Request}));
}
