#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::Image;
using apitest::ScriptedEngine;
using apitest::WithEmptyTail;

namespace {

// The reply to each variable's missing-value query.
struct Variable {
    int type;
    std::string missing;
};

const std::string kNoNumericMissing = "int=0;dbl=0,0,0";
const std::string kNoStringMissing = "int=0;str=;str=;str=";

// Replies of MakeCaseCursor: its own, the count, then type and missing
// values per variable.
std::vector<std::string> CursorReplies(const std::vector<Variable>& variables) {
    std::vector<std::string> replies{"", "int=" + std::to_string(variables.size())};
    for (const Variable& variable : variables) {
        replies.push_back("int=" + std::to_string(variable.type));
        replies.push_back(variable.missing);
    }
    return replies;
}

std::vector<std::string> Then(std::vector<std::string> replies,
                              const std::vector<std::string>& more) {
    replies.insert(replies.end(), more.begin(), more.end());
    return replies;
}

std::string Hex(const void* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char byte = static_cast<const unsigned char*>(data)[i];
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

std::string NumberCell(double value) { return Hex(&value, sizeof value); }

// `text` blank-padded to `cells` cells.
std::string TextCells(const std::string& text, std::size_t cells) {
    std::string padded = text;
    padded.resize(cells * 8, ' ');
    return Hex(padded.data(), padded.size());
}

// Numeric (99 missing), 10-byte string ("NA" missing), numeric (1 to 5 missing).
const std::vector<Variable> kMixed{
    {0, "int=1;dbl=99,0,0"}, {10, "int=1;str=NA;str=;str="}, {0, "int=-2;dbl=1,5,0"}};

std::string MixedCase(double first, const std::string& text, double last) {
    return NumberCell(first) + TextCells(text, 2) + NumberCell(last);
}

Image EmptyRequest(unsigned char code) {
    return WithEmptyTail({0x34, 0, 0, 0, code, 0, 0, 0, 0, 0, 0, 0,    // T 52, command, error
                          0,    0, 0, 0, 0,    0, 0, 0, 0, 0, 0, 0});  // long, double, string
}

Image IndexRequest(unsigned char code, unsigned char index) {
    return WithEmptyTail({0x38, 0, 0, 0, code,  0, 0, 0, 0, 0, 0, 0,  // T 56
                          1,    0, 0, 0, index, 0, 0, 0,              // long [index]
                          0,    0, 0, 0, 0,     0, 0, 0});
}

// 227 with [cases wanted, case size], as little-endian bytes.
Image RefillRequest(std::initializer_list<unsigned char> cases,
                    std::initializer_list<unsigned char> size) {
    Image head{0x3c, 0, 0, 0, 227, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0};  // T 60, command 227
    head.insert(head.end(), cases);
    head.insert(head.end(), size);
    head.insert(head.end(), 8, 0);
    return WithEmptyTail(head);
}

// Builds a cursor over `variables`, then lets NextCase fetch once (the
// scripted refusal ends it) and returns the fetch request.
Image FirstRefill(const char* access, const std::vector<Variable>& variables) {
    ScriptedEngine engine(Then(CursorReplies(variables), {"err=9043"}));
    EXPECT_EQ(MakeCaseCursor(access), 0);
    EXPECT_EQ(NextCase(), 9043);
    EXPECT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    EXPECT_EQ(requests.size(), 3 + 2 * variables.size());
    return requests.empty() ? Image{} : requests.back();
}

}  // namespace

TEST(CursorBlockSize, ReadCursorOf24ByteCasesAsksFor873813Cases) {
    apitest::AttachAsRunning();
    const std::vector<Variable> three(3, Variable{0, kNoNumericMissing});
    EXPECT_EQ(FirstRefill("r", three), RefillRequest({0x55, 0x55, 0x0d, 0}, {24, 0, 0, 0}));
}

TEST(CursorBlockSize, ReadCursorOf8ByteCasesAsksFor2621440Cases) {
    apitest::AttachAsRunning();
    EXPECT_EQ(FirstRefill("R", {{0, kNoNumericMissing}}),
              RefillRequest({0, 0, 0x28, 0}, {8, 0, 0, 0}));
}

TEST(CursorBlockSize, ReadCursorWhoseCaseFillsTheBudgetAsksForOne) {
    apitest::AttachAsRunning();
    // One string of 20971520 bytes: a case of 20 MiB.
    EXPECT_EQ(FirstRefill("r", {{20971520, kNoStringMissing}}),
              RefillRequest({1, 0, 0, 0}, {0, 0, 0x40, 0x01}));
}

TEST(CursorBlockSize, WriteCursorAsksForOneCaseWhateverItsSize) {
    apitest::AttachAsRunning();
    const std::vector<Variable> three(3, Variable{0, kNoNumericMissing});
    EXPECT_EQ(FirstRefill("W", three), RefillRequest({1, 0, 0, 0}, {24, 0, 0, 0}));
}

TEST(CursorBlockSize, AccessTextLongerThanOneLetterAsksForOneCase) {
    apitest::AttachAsRunning();
    EXPECT_EQ(FirstRefill("rr", {{0, kNoNumericMissing}}),
              RefillRequest({1, 0, 0, 0}, {8, 0, 0, 0}));
}

TEST(CursorBlockSize, EmptyAccessTextAsksForOneCase) {
    apitest::AttachAsRunning();
    EXPECT_EQ(FirstRefill("", {{0, kNoNumericMissing}}), RefillRequest({1, 0, 0, 0}, {8, 0, 0, 0}));
}

TEST(CursorBuilding, AsksCountThenTypeAndMissingValuesPerVariable) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(Then(CursorReplies(kMixed), {"err=9043"}));
    ASSERT_EQ(MakeCaseCursor("r"), 0);
    // A 32-byte case: 20971520 / 32 = 655360 cases per block.
    EXPECT_EQ(NextCase(), 9043);
    ASSERT_EQ(engine.Finish(), 0);
    const Image make =
        WithEmptyTail({0x39, 0, 0, 0, 33, 0, 0, 0, 0, 0, 0, 0,  // T 57, command 33
                       0,    0, 0, 0, 0,  0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'r'});  // access text
    EXPECT_EQ(engine.Requests(),
              (std::vector<Image>{make, EmptyRequest(104),                    // count
                                  IndexRequest(109, 0), IndexRequest(32, 0),  // numeric
                                  IndexRequest(109, 1), IndexRequest(31, 1),  // string
                                  IndexRequest(109, 2), IndexRequest(32, 2),  // numeric
                                  RefillRequest({0, 0, 0x0a, 0}, {32, 0, 0, 0})}));
}

TEST(CursorBuilding, EngineRefusalKeepsThePreviousCursor) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(Then(CursorReplies({{0, kNoNumericMissing}}), {"err=9040", "err=9043"}));
    ASSERT_EQ(MakeCaseCursor("w"), 0);
    EXPECT_EQ(MakeCaseCursor("r"), 9040);
    // Still the write cursor: a refill of one 8-byte case.
    EXPECT_EQ(NextCase(), 9043);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests().back(), RefillRequest({1, 0, 0, 0}, {8, 0, 0, 0}));
}

TEST(CursorBuilding, FailedLayoutQueryFailsTheCallAndLeavesNoLocalCursor) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "int=2", "int=0", "err=9052", "err=9043"});
    EXPECT_EQ(MakeCaseCursor("r"), 9052);
    // Without a mirror the engine's cursor is walked with 27.
    EXPECT_EQ(NextCase(), 9043);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests().size(), 5u);
    EXPECT_EQ(engine.Requests().back(), EmptyRequest(27));
}

TEST(CursorBuilding, NullAccessTextIsRefusedUnsent) {
    apitest::AttachAsRunning();
    EXPECT_EQ(MakeCaseCursor(nullptr), VEXA_BAD_ARGUMENT);
}

TEST(CursorValues, ReadFromTheBlockByObsIndexWithMissingRulesAndNoRoundTrip) {
    apitest::AttachAsRunning();
    const std::string block = MixedCase(1.5, "abcdefghij", -4) + MixedCase(99, "NA", 5);
    ScriptedEngine engine(Then(CursorReplies(kMixed), {"int=2;void=" + block}));
    ASSERT_EQ(MakeCaseCursor("r"), 0);
    ASSERT_EQ(NextCase(), 0);
    double value = 0;
    int missing = -1;
    char text[12];
    char* buffer = text;
    EXPECT_EQ(GetNumericValue(0, &value, &missing), 0);
    EXPECT_EQ(value, 1.5);
    EXPECT_EQ(missing, 0);
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(GetStringValue(1, &buffer, 12, &missing), 0);
    // Ten bytes of a 10-byte value: the rest of the buffer is not touched.
    EXPECT_EQ(std::string(text, 12), "abcdefghij##");
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(GetNumericValue(2, &value, &missing), 0);
    EXPECT_EQ(value, -4);
    EXPECT_EQ(missing, 0);

    ASSERT_EQ(NextCase(), 0);
    EXPECT_EQ(GetNumericValue(0, &value, &missing), 0);
    EXPECT_EQ(missing, 1);
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(GetStringValue(1, &buffer, 4, &missing), 0);
    EXPECT_EQ(std::string(text, 5), "NA  #");
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(GetNumericValue(2, &value, &missing), 0);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(missing, 1);

    value = 7;
    missing = 7;
    EXPECT_EQ(GetNumericValue(1, &value, &missing), VEXA_CURSOR_WRONG_TYPE);
    EXPECT_EQ(GetStringValue(0, &buffer, 4, &missing), VEXA_CURSOR_WRONG_TYPE);
    EXPECT_EQ(GetNumericValue(3, &value, &missing), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(GetNumericValue(-1, &value, &missing), VEXA_VARIABLE_OUT_OF_RANGE);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(missing, 7);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests().size(), 9u);
}

TEST(CursorBlocks, EndCodeWithTheLastCasesIsReturnedByTheCallThatRunsPastThem) {
    apitest::AttachAsRunning();
    const std::string block = MixedCase(1, "a", 1) + MixedCase(2, "b", 2) + MixedCase(3, "c", 3);
    ScriptedEngine engine(
        Then(CursorReplies(kMixed), {"err=23;int=3;void=" + block, "err=67;int=0"}));
    ASSERT_EQ(MakeCaseCursor("r"), 0);
    double value = 0;
    int missing = 0;
    for (double expected : {1.0, 2.0, 3.0}) {
        ASSERT_EQ(NextCase(), 0);
        EXPECT_EQ(GetNumericValue(2, &value, &missing), 0);
        EXPECT_EQ(value, expected);
    }
    EXPECT_EQ(NextCase(), 23);
    // 67 without cases: the block goes, nothing is current.
    EXPECT_EQ(NextCase(), 67);
    EXPECT_EQ(GetNumericValue(0, &value, &missing), VEXA_NO_CACHE_DATA);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 10u);
    const Image refill = RefillRequest({0, 0, 0x0a, 0}, {32, 0, 0, 0});
    EXPECT_EQ(requests[8], refill);
    EXPECT_EQ(requests[9], refill);
}

// A block of several pieces, then a smaller one that arrives in the memory
// of the first once it is used up, then the end: every value is the one sent.
TEST(CursorBlocks, EachBlockIsReadWhereItArrivedAndTheUsedUpOneCarriesTheNext) {
    apitest::AttachAsRunning();
    std::string first;
    for (int c = 0; c < 400; ++c) first += MixedCase(c, c % 2 ? "odd" : "even", -c);
    const std::string second = MixedCase(1e300, "last", 0.5);
    ScriptedEngine engine(
        Then(CursorReplies(kMixed), {"int=400;void=" + first, "err=23;int=1;void=" + second}));
    ASSERT_EQ(MakeCaseCursor("r"), 0);
    double value = 0;
    int missing = 0;
    char text[10];
    char* buffer = text;
    for (int c = 0; c < 400; ++c) {
        ASSERT_EQ(NextCase(), 0) << c;
        ASSERT_EQ(GetNumericValue(0, &value, &missing), 0);
        EXPECT_EQ(value, c);
        EXPECT_EQ(missing, c == 99 ? 1 : 0);
        ASSERT_EQ(GetNumericValue(2, &value, &missing), 0);
        EXPECT_EQ(value, -c);
        ASSERT_EQ(GetStringValue(1, &buffer, 10, &missing), 0);
        EXPECT_EQ(std::string(text, 10), c % 2 ? "odd       " : "even      ");
    }
    ASSERT_EQ(NextCase(), 0);
    ASSERT_EQ(GetNumericValue(0, &value, &missing), 0);
    EXPECT_EQ(value, 1e300);
    ASSERT_EQ(GetNumericValue(2, &value, &missing), 0);
    EXPECT_EQ(value, 0.5);
    ASSERT_EQ(GetStringValue(1, &buffer, 10, &missing), 0);
    EXPECT_EQ(std::string(text, 10), "last      ");
    EXPECT_EQ(NextCase(), 23);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests().size(), 10u);
}

TEST(CursorBlocks, BlockShorterThanItsCaseCountIsRefusedAndFetchedAgain) {
    apitest::AttachAsRunning();
    // Three cases announced, two delivered.
    const std::string block = MixedCase(1, "a", 1) + MixedCase(2, "b", 2);
    ScriptedEngine engine(Then(CursorReplies(kMixed), {"int=3;void=" + block, "int=0", "int=1"}));
    ASSERT_EQ(MakeCaseCursor("r"), 0);
    EXPECT_EQ(NextCase(), VEXA_MALFORMED_MESSAGE);
    double value = 0;
    int missing = 0;
    EXPECT_EQ(GetNumericValue(0, &value, &missing), VEXA_NO_CACHE_DATA);
    // No cases without an error: an empty block, used up at once.
    EXPECT_EQ(NextCase(), VEXA_NO_CACHE_DATA);
    // A case count without its bytes.
    EXPECT_EQ(NextCase(), VEXA_MALFORMED_MESSAGE);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests().size(), 11u);
}

TEST(CursorBlocks, EngineErrorOnRefillReleasesTheBlock) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(Then(CursorReplies({{0, kNoNumericMissing}}),
                               {"int=1;void=" + NumberCell(4), "err=9043;int=5"}));
    ASSERT_EQ(MakeCaseCursor("r"), 0);
    ASSERT_EQ(NextCase(), 0);
    EXPECT_EQ(NextCase(), 9043);
    double value = 0;
    int missing = 0;
    EXPECT_EQ(GetNumericValue(0, &value, &missing), VEXA_NO_CACHE_DATA);
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(CursorEndSplit, WithABlockTheFlagIsZeroWithoutARoundTripEvenOnTheLastCase) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(Then(CursorReplies({{0, kNoNumericMissing}}),
                               {"int=2;void=" + NumberCell(1) + NumberCell(2)}));
    ASSERT_EQ(MakeCaseCursor("r"), 0);
    ASSERT_EQ(NextCase(), 0);
    ASSERT_EQ(NextCase(), 0);
    int flag = -1;
    EXPECT_EQ(IsEndSplit(&flag), 0);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests().size(), 5u);
}

TEST(CursorEndSplit, WithoutABlockTheEngineAnswersAndItsEndCodeComesBack) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=0", "err=67;int=1", "err=9040;int=1", "err=67"});
    int flag = -1;
    EXPECT_EQ(IsEndSplit(&flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(IsEndSplit(&flag), 67);
    EXPECT_EQ(flag, 1);
    flag = -1;
    EXPECT_EQ(IsEndSplit(&flag), 9040);
    EXPECT_EQ(flag, -1);
    EXPECT_EQ(IsEndSplit(&flag), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(flag, -1);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(), std::vector<Image>(4, EmptyRequest(95)));
}

TEST(CursorlessValues, NumericAndStringValuesAskTheEngine) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=1;dbl=2.5", "int=0;str=abc", "int=1;str=abc", "int=0", "err=27"});
    double value = 0;
    int missing = -1;
    EXPECT_EQ(GetNumericValue(4, &value, &missing), 0);
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(missing, 1);
    char text[6];
    char* buffer = text;
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(GetStringValue(2, &buffer, 5, &missing), 0);
    EXPECT_EQ(std::string(text, 6), std::string("abc\0\0#", 6));
    EXPECT_EQ(missing, 0);
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(GetStringValue(2, &buffer, 2, &missing), 0);
    EXPECT_EQ(std::string(text, 3), "ab#");
    EXPECT_EQ(missing, 1);
    // A reply without the string leaves the caller's buffer alone.
    EXPECT_EQ(GetStringValue(2, &buffer, 2, &missing), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(std::string(text, 3), "ab#");
    EXPECT_EQ(NextCase(), 27);
    ASSERT_EQ(engine.Finish(), 0);
    const Image numeric = IndexRequest(25, 4);
    const Image string = WithEmptyTail({0x3c, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0,  // T 60, command 26
                                        2,    0, 0, 0, 2,  0, 0, 0, 5, 0, 0, 0,  // [index, length]
                                        0,    0, 0, 0, 0,  0, 0, 0});
    const Image shorter = WithEmptyTail({0x3c, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0,
                                         2,    0, 0, 0, 2,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(engine.Requests(),
              (std::vector<Image>{numeric, string, shorter, shorter, EmptyRequest(27)}));
}

TEST(CursorlessValues, CallerErrorsAreRefusedUnsent) {
    apitest::AttachAsRunning();
    double value = 0;
    int missing = 0;
    char* none = nullptr;
    EXPECT_EQ(GetNumericValue(0, nullptr, &missing), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(GetStringValue(0, &none, 4, &missing), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(GetStringValue(0, nullptr, 0, &missing), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(GetNumericValue(0, &value, nullptr), VEXA_BAD_ARGUMENT);
}

TEST(CursorQueries, PositionCursorAndCacheFlagsAreTheFirstInteger) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=41", "int=1", "int=0", "", "err=9040"});
    int position = -1;
    int flag = -1;
    EXPECT_EQ(GetCursorPosition(&position), 0);
    EXPECT_EQ(position, 41);
    EXPECT_EQ(HasCursor(&flag), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(IsNeedCache(&flag), 0);
    EXPECT_EQ(flag, 0);
    flag = 5;
    EXPECT_EQ(IsNeedCache(&flag), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(flag, 5);
    EXPECT_EQ(HasCursor(&flag), 9040);
    EXPECT_EQ(flag, 5);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(),
              (std::vector<Image>{EmptyRequest(30), EmptyRequest(34), EmptyRequest(127),
                                  EmptyRequest(127), EmptyRequest(34)}));
}

TEST(CursorQueries, SplitEndIndexIsEveryIntegerEvenWhenNotRunning) {
    SetXNameAndSHome("APITEST", "");
    ScriptedEngine engine({"int=4,9,12", "", "err=9040;int=3"});
    int count = -1;
    int err = -1;
    int* indexes = GetSplitEndIndex(&count, &err);
    ASSERT_NE(indexes, nullptr);
    EXPECT_EQ(err, 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::vector<int>(indexes, indexes + 3), (std::vector<int>{4, 9, 12}));
    EXPECT_EQ(FreeIntArray(indexes, count), 0);
    EXPECT_EQ(GetSplitEndIndex(&count, &err), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(err, 0);
    count = -1;
    EXPECT_EQ(GetSplitEndIndex(&count, &err), nullptr);
    EXPECT_EQ(err, 9040);
    EXPECT_EQ(count, -1);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(), std::vector<Image>(3, EmptyRequest(234)));
}

TEST(CursorRemoval, RemoveDropsTheMirrorBeforeAskingTheEngine) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(Then(CursorReplies({{0, kNoNumericMissing}}),
                               {"int=1;void=" + NumberCell(3), "err=9040", "int=0;dbl=8"}));
    ASSERT_EQ(MakeCaseCursor("r"), 0);
    ASSERT_EQ(NextCase(), 0);
    EXPECT_EQ(RemoveCaseCursor(), 9040);
    double value = 0;
    int missing = 0;
    EXPECT_EQ(GetNumericValue(0, &value, &missing), 0);
    EXPECT_EQ(value, 8);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 7u);
    EXPECT_EQ(requests[5], EmptyRequest(28));
    EXPECT_EQ(requests[6], IndexRequest(25, 0));
}

TEST(CursorRemoval, ResetDataPassDropsTheMirrorEvenOnAnEngineError) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(Then(CursorReplies({{0, kNoNumericMissing}}),
                               {"int=1;void=" + NumberCell(3), "err=9043", "err=9040"}));
    ASSERT_EQ(MakeCaseCursor("r"), 0);
    ASSERT_EQ(NextCase(), 0);
    EXPECT_EQ(ResetDataPass(), 9043);
    EXPECT_EQ(NextCase(), 9040);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 7u);
    EXPECT_EQ(requests[5], EmptyRequest(120));
    EXPECT_EQ(requests[6], EmptyRequest(27));
}

TEST(CursorRefusal, EveryCursorCallIsRefusedWhileNotRunning) {
    SetXNameAndSHome("APITEST", "");
    double value = 0;
    int missing = 0;
    int flag = 0;
    char text[4];
    char* buffer = text;
    EXPECT_EQ(MakeCaseCursor("r"), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(NextCase(), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(GetNumericValue(0, &value, &missing), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(GetStringValue(0, &buffer, 4, &missing), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(GetCursorPosition(&flag), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(HasCursor(&flag), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(IsEndSplit(&flag), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(IsNeedCache(&flag), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(RemoveCaseCursor(), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(ResetDataPass(), VEXA_ENGINE_NOT_RUNNING);
}
