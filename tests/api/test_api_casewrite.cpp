#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::Image;
using apitest::ScriptedEngine;
using apitest::WithEmptyTail;

namespace {

Image EmptyRequest(unsigned char code) {
    return WithEmptyTail({0x34, 0, 0, 0, code, 0, 0, 0, 0, 0, 0, 0,    // T 52, command, error
                          0,    0, 0, 0, 0,    0, 0, 0, 0, 0, 0, 0});  // long, double, string
}

std::string NumberCell(double value) {
    static const char digits[] = "0123456789abcdef";
    unsigned char bytes[8];
    std::memcpy(bytes, &value, sizeof bytes);
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

// Replies that build a write cursor over one numeric variable.
std::vector<std::string> OneNumericCursor() { return {"", "int=1", "int=0", "int=0;dbl=0,0,0"}; }

void* MallocCopy(const void* bytes, std::size_t size) {
    void* block = std::malloc(size);
    std::memcpy(block, bytes, size);
    return block;
}

}  // namespace

TEST(CaseValues, CommitCaseRecordSendsValuesThenNumericAndStringNames) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({""});
    EXPECT_EQ(SetValueNumeric("n1", 1.5), 0);
    // Five bytes of a longer text, its zero byte included.
    EXPECT_EQ(SetValueChar("s", "ab\0cdefg", 5), 0);
    EXPECT_EQ(SetValueNumeric("n2", -2), 0);
    EXPECT_EQ(CommitCaseRecord(), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image expected{
        0x66, 0, 0, 0, 92, 0, 0, 0,    0,   0,   0,    0,          // T 102, command 92
        0,    0, 0, 0,                                             // no long
        2,    0, 0, 0, 0,  0, 0, 0,    0,   0,   0xf8, 0x3f,       // doubles 1.5,
        0,    0, 0, 0, 0,  0, 0, 0xc0,                             //   -2
        1,    0, 0, 0, 5,  0, 0, 0,    'a', 'b', 0,    'c',  'd',  // the 5 bytes
        0,    0, 0, 0, 0,  0, 0, 0,    0,   0,   0,    0,          // struct, long/double arrays
        2,    0, 0, 0,                                             // two string arrays:
        2,    0, 0, 0, 2,  0, 0, 0,    'n', '1', 2,    0,    0,   0, 'n', '2',  // numeric names
        1,    0, 0, 0, 1,  0, 0, 0,    's',                                     // string names
        0,    0, 0, 0, 0,  0, 0, 0,    0,   0,   0,    0};  // binary, wide, void
    EXPECT_EQ(engine.Requests(), std::vector<Image>{expected});
}

TEST(CaseValues, EveryCommitForgetsTheValuesEvenWhenItFails) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"err=9051", "", "", ""});
    ASSERT_EQ(SetValueNumeric("x", 1), 0);
    EXPECT_EQ(CommitCaseRecord(), 9051);
    EXPECT_EQ(CommitNewCase(), 0);
    ASSERT_EQ(SetValueChar("s", "abc", 3), 0);
    EXPECT_EQ(CommitNewCase(), 0);
    EXPECT_EQ(CommitCaseRecord(), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 4u);
    // No values set: no blocks and no string arrays at all.
    EXPECT_EQ(requests[1], EmptyRequest(93));
    const Image newCase{0x48, 0, 0, 0, 93, 0, 0, 0, 0,   0,   0,   0,  // T 72, command 93
                        0,    0, 0, 0, 0,  0, 0, 0,                    // long, double
                        1,    0, 0, 0, 3,  0, 0, 0, 'a', 'b', 'c',     // the value
                        0,    0, 0, 0, 0,  0, 0, 0, 0,   0,   0,   0, 2, 0,   0,
                        0,    0, 0, 0, 0,  1, 0, 0, 0,   1,   0,   0, 0, 's',  // [] [s]
                        0,    0, 0, 0, 0,  0, 0, 0, 0,   0,   0,   0};
    EXPECT_EQ(requests[2], newCase);
    EXPECT_EQ(requests[3], EmptyRequest(92));
}

TEST(CaseValues, CommitCaseRecordWithACursorBringsTheNextCaseWithoutAFetch) {
    apitest::AttachAsRunning();
    std::vector<std::string> replies = OneNumericCursor();
    replies.insert(replies.end(), {"int=1;void=" + NumberCell(11), "", "err=23"});
    ScriptedEngine engine(replies);
    ASSERT_EQ(MakeCaseCursor("w"), 0);
    ASSERT_EQ(SetValueNumeric("x", 7), 0);
    EXPECT_EQ(CommitCaseRecord(), 0);
    ASSERT_EQ(NextCase(), 0);
    double value = 0;
    int missing = -1;
    EXPECT_EQ(GetNumericValue(0, &value, &missing), 0);
    EXPECT_EQ(value, 11);
    // A reply without cases leaves the used-up block: the next case is fetched.
    EXPECT_EQ(CommitCaseRecord(), 0);
    EXPECT_EQ(NextCase(), 23);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 7u);
    const Image withCursor{0x51, 0, 0, 0, 92, 0, 0, 0, 0, 0,   0,    0,     // T 81, command 92
                           2,    0, 0, 0, 1,  0, 0, 0, 8, 0,   0,    0,     // [1 case, case size 8]
                           1,    0, 0, 0, 0,  0, 0, 0, 0, 0,   0x1c, 0x40,  // 7.0
                           0,    0, 0, 0,                                   // no string
                           0,    0, 0, 0, 0,  0, 0, 0, 0, 0,   0,    0,    2, 0, 0,
                           0,    1, 0, 0, 0,  1, 0, 0, 0, 'x', 0,    0,    0, 0,  // [x] []
                           0,    0, 0, 0, 0,  0, 0, 0, 0, 0,   0,    0};
    EXPECT_EQ(requests[4], withCursor);
    EXPECT_EQ(requests[5], WithEmptyTail({0x3c, 0, 0, 0, 92, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0,
                                          1,    0, 0, 0, 8,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(requests[6][4], 227);
}

TEST(CaseValues, CommitNewCaseNeverSendsOrTouchesTheCursor) {
    apitest::AttachAsRunning();
    std::vector<std::string> replies = OneNumericCursor();
    replies.insert(replies.end(), {"int=1;void=" + NumberCell(11), "err=9043"});
    ScriptedEngine engine(replies);
    ASSERT_EQ(MakeCaseCursor("w"), 0);
    EXPECT_EQ(CommitNewCase(), 0);
    // The reply's cases were not taken: NextCase fetches.
    EXPECT_EQ(NextCase(), 9043);
    ASSERT_EQ(engine.Finish(), 0);
    const std::vector<Image> requests = engine.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[4], EmptyRequest(93));
}

TEST(CaseValues, CallerErrorsAndRefusalKeepNothing) {
    EXPECT_EQ(SetValueNumeric("x", 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(SetValueChar("x", "a", 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(CommitCaseRecord(), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(CommitNewCase(), VEXA_ENGINE_NOT_RUNNING);
    apitest::AttachAsRunning();
    EXPECT_EQ(SetValueNumeric(nullptr, 1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(SetValueChar("x", nullptr, 2), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(SetValueChar("x", "ab", -1), VEXA_BAD_ARGUMENT);
    ScriptedEngine engine({""});
    EXPECT_EQ(CommitNewCase(), 0);
    ASSERT_EQ(engine.Finish(), 0);
    EXPECT_EQ(engine.Requests(), std::vector<Image>{EmptyRequest(93)});
}

TEST(ManyCases, TheBlockTravelsAsVoidDataWithNamesCountsAndTypes) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", ""});
    const unsigned char cases[16] = {0,   0,   0,   0,   0,   0,   0,   0x40,
                                     'x', 'y', 'z', ' ', ' ', ' ', ' ', ' '};
    const char* names[] = {"a", "s"};
    const int types[] = {0, 8};
    ASSERT_EQ(SetValueNumeric("lost", 1), 0);
    // The library frees the block; the leak and double-free checks watch it.
    EXPECT_EQ(CommitManyCases(names, types, MallocCopy(cases, sizeof cases), 2, 16, 1), 0);
    EXPECT_EQ(CommitNewCase(), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image expected{0x62, 0,  0, 0, 220, 0, 0, 0,    0,   0,   0,   0,  // T 98, command 220
                         2,    0,  0, 0, 2,   0, 0, 0,    1,   0,   0,   0,  // [count 2, second 1]
                         0,    0,  0, 0,                                     // no double
                         2,    0,  0, 0, 1,   0, 0, 0,    'a', 1,   0,   0,   0,   's',  // names
                         0,    0,  0, 0,                                                 // struct
                         1,    0,  0, 0, 2,   0, 0, 0,    0,   0,   0,   0,   8,   0,
                         0,    0,                       // one long array: types
                         0,    0,  0, 0, 0,   0, 0, 0,  // double, string arrays
                         0,    0,  0, 0, 0,   0, 0, 0,  // binary, wide
                         16,   0,  0, 0,                // void data
                         0,    0,  0, 0, 0,   0, 0, 0x40, 'x', 'y', 'z', ' ', ' ', ' ',
                         ' ',  ' '};
    // The value set before went with nothing: CommitManyCases dropped it.
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{expected, EmptyRequest(93)}));
}

TEST(ManyCases, TheBlockIsReleasedOnRefusalAndOnCallerErrors) {
    const unsigned char cell[8] = {};
    const char* names[] = {"a"};
    const int types[] = {0};
    EXPECT_EQ(CommitManyCases(names, types, MallocCopy(cell, 8), 1, 8, 1), VEXA_ENGINE_NOT_RUNNING);
    apitest::AttachAsRunning();
    EXPECT_EQ(CommitManyCases(names, types, MallocCopy(cell, 8), -1, 8, 1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(CommitManyCases(nullptr, types, MallocCopy(cell, 8), 1, 8, 1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(CommitManyCases(names, types, MallocCopy(cell, 8), 1, -8, 1), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(CommitManyCases(names, types, nullptr, 1, 8, 1), VEXA_BAD_ARGUMENT);
}

TEST(NewVariables, NamesAndTypesGoToTheirBlocksWithTheCountLast) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"err=9047"});
    const char* names[] = {"x", "yy"};
    const int types[] = {0, 8};
    EXPECT_EQ(SetVarNameAndType(names, types, 2), 9047);
    ASSERT_EQ(engine.Finish(), 0);
    const Image expected =
        WithEmptyTail({0x4b, 0, 0, 0, 80, 0, 0, 0, 0, 0, 0, 0,                // T 75, command 80
                       3,    0, 0, 0, 0,  0, 0, 0, 8, 0, 0, 0, 2,   0, 0, 0,  // [0, 8, 2]
                       0,    0, 0, 0, 2,  0, 0, 0, 1, 0, 0, 0, 'x', 2, 0, 0, 0, 'y', 'y'});
    EXPECT_EQ(engine.Requests(), std::vector<Image>{expected});
    const char* withNull[] = {"x", nullptr};
    EXPECT_EQ(SetVarNameAndType(names, types, 0), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(SetVarNameAndType(withNull, types, 2), VEXA_BAD_ARGUMENT);
    EXPECT_EQ(SetVarNameAndType(nullptr, types, 1), VEXA_BAD_ARGUMENT);
}

TEST(NewVariables, MissingValuesLabelsFormatsAndAttributesInTheirBlockOrder) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"", "", "", "", ""});
    EXPECT_EQ(SetVarCMissingValues("s", 2, "a", nullptr, "c"), 0);
    EXPECT_EQ(SetVarNMissingValues("n", -3, 1, 5, 9), 0);
    EXPECT_EQ(SetVarNValueLabel("n", 2, "two"), 0);
    EXPECT_EQ(SetVarFormat("n", 5, 8, 2), 0);
    EXPECT_EQ(SetVarAttributes("n", "a", "v", 3), 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image stringMissing = WithEmptyTail({0x47, 0, 0, 0, 84,  0, 0, 0, 0,   0,  0, 0,  // T 71
                                               1,    0, 0, 0, 2,   0, 0, 0,       // [format]
                                               0,    0, 0, 0,                     // the null value
                                               3,    0, 0, 0, 1,   0, 0, 0, 's',  // is left out
                                               1,    0, 0, 0, 'a', 1, 0, 0, 0,   'c'});
    const Image numericMissing =
        WithEmptyTail({0x55, 0, 0, 0, 85,   0,    0,    0,    0,  0, 0,    0,     // T 85
                       1,    0, 0, 0, 0xfd, 0xff, 0xff, 0xff,                     // [-3]
                       3,    0, 0, 0, 0,    0,    0,    0,    0,  0, 0xf0, 0x3f,  // 1,
                       0,    0, 0, 0, 0,    0,    0x14, 0x40,                     // 5,
                       0,    0, 0, 0, 0,    0,    0x22, 0x40,                     // 9
                       1,    0, 0, 0, 1,    0,    0,    0,    'n'});
    const Image valueLabel =
        WithEmptyTail({0x48, 0, 0, 0, 83, 0, 0, 0, 0,   0, 0, 0,                     // T 72
                       0,    0, 0, 0, 1,  0, 0, 0, 0,   0, 0, 0, 0, 0,   0,   0x40,  // 2.0
                       2,    0, 0, 0, 1,  0, 0, 0, 'n', 3, 0, 0, 0, 't', 'w', 'o'});
    const Image format = WithEmptyTail({0x45, 0, 0, 0, 88, 0, 0, 0, 0, 0, 0, 0,  // T 69
                                        3,    0, 0, 0, 5,  0, 0, 0, 8, 0, 0, 0, 2, 0,  0,
                                        0,    0, 0, 0, 0,  1, 0, 0, 0, 1, 0, 0, 0, 'n'});
    const Image attributes = WithEmptyTail({0x47, 0, 0, 0, 102, 0, 0, 0, 0, 0,   0, 0,  // T 71
                                            1,    0, 0, 0, 3,   0, 0, 0, 0, 0,   0, 0, 3, 0, 0,  0,
                                            1,    0, 0, 0, 'n', 1, 0, 0, 0, 'a', 1, 0, 0, 0, 'v'});
    EXPECT_EQ(engine.Requests(),
              (std::vector<Image>{stringMissing, numericMissing, valueLabel, format, attributes}));
}

TEST(NewVariables, EachDictionaryChangeHasItsCommandAndPassesTheEngineCode) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(std::vector<std::string>(9, "err=9050"));
    EXPECT_EQ(SetOneVarNameAndType("x", 8), 9050);
    EXPECT_EQ(AllocNewVarsBuffer(3), 9050);
    EXPECT_EQ(SetVarLabel("x", "label"), 9050);
    EXPECT_EQ(SetVarCValueLabel("x", "a", "label"), 9050);
    EXPECT_EQ(SetVarMeasureLevel("x", 2), 9050);
    EXPECT_EQ(SetVarRole("x", 1), 9050);
    EXPECT_EQ(SetVarAlignment("x", 0), 9050);
    EXPECT_EQ(CommitHeader(), 9050);
    EXPECT_EQ(EndChanges(), 9050);
    ASSERT_EQ(engine.Finish(), 0);
    std::vector<int> commands;
    for (const Image& request : engine.Requests()) commands.push_back(request[4]);
    EXPECT_EQ(commands, (std::vector<int>{122, 121, 81, 82, 86, 224, 87, 89, 94}));
    const Image oneVariable =
        WithEmptyTail({0x3d, 0, 0, 0, 122, 0, 0, 0, 0, 0, 0, 0,  // T 61
                       1,    0, 0, 0, 8,   0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'x'});
    EXPECT_EQ(engine.Requests().front(), oneVariable);
}

TEST(NewVariables, RefusedWhileNotRunning) {
    const char* names[] = {"x"};
    const int types[] = {0};
    EXPECT_EQ(SetVarNameAndType(names, types, 1), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(SetVarLabel("x", "l"), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(CommitHeader(), VEXA_ENGINE_NOT_RUNNING);
    EXPECT_EQ(EndChanges(), VEXA_ENGINE_NOT_RUNNING);
}
