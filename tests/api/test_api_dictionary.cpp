#include <gtest/gtest.h>

#include <cstring>

#include "apitestsupport.h"
#include "vexaxd_p.h"

using apitest::Image;
using apitest::ScriptedEngine;
using apitest::WithEmptyTail;

namespace {

// Three 8-byte cells, each followed by four guard bytes.
struct MissingCells {
    MissingCells() { std::memset(bytes, 'Z', sizeof bytes); }
    char* cell(int k) { return bytes[k]; }
    bool holds(int k, const char (&expected)[13]) const {
        return std::memcmp(bytes[k], expected, 12) == 0;
    }
    char bytes[3][12];
};

}  // namespace

TEST(DictionaryRequest, VariableNameSendsThePositionAsOneInteger) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=age"});
    int err = -1;
    EXPECT_STREQ(GetVariableName(2, &err), "age");
    EXPECT_EQ(err, 0);
    ASSERT_EQ(engine.Finish(), 0);
    const Image expected{0x38, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0,   // T 56, command 9, error 0
                         1,    0, 0, 0, 2, 0, 0, 0,               // long block: [2]
                         0,    0, 0, 0,                           // double block
                         0,    0, 0, 0,                           // string block
                         0,    0, 0, 0,                           // struct block
                         0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // long, double, string arrays
                         0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // binary, wide, void lengths
    EXPECT_EQ(engine.Requests(), std::vector<Image>{expected});
}

TEST(DictionaryRequest, NullAttributeNameAddsNoValue) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=0", "int=0"});
    char* untouched[1] = {};
    char** values = untouched;
    int count = -1;
    EXPECT_EQ(GetVarAttributes(3, nullptr, &values, &count), 0);
    EXPECT_EQ(GetVarAttributes(3, "role", &values, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(values, untouched);
    ASSERT_EQ(engine.Finish(), 0);
    const Image positionOnly =
        WithEmptyTail({0x38, 0, 0, 0, 0x63, 0, 0, 0, 0, 0, 0, 0,  // T 56, command 99
                       1,    0, 0, 0, 3,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const Image withName = WithEmptyTail({0x40, 0, 0, 0, 0x63, 0, 0, 0, 0,   0,   0,   0,  // T 64
                                          1,    0, 0, 0, 3,    0, 0, 0, 0,   0,   0,   0,
                                          1,    0, 0, 0, 4,    0, 0, 0, 'r', 'o', 'l', 'e'});
    EXPECT_EQ(engine.Requests(), (std::vector<Image>{positionOnly, withName}));
}

TEST(StringMissingValues, AtMostEightBytesEachAndNoTerminatorWhenFull) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(
        {"int=2;str=12345678;str=abc;str=ABCDEFGHIJ", "int=1;str=;str=x%00y;str=z"});
    MissingCells cells;
    int format = -1;
    EXPECT_EQ(GetVarCMissingValues(0, &format, cells.cell(0), cells.cell(1), cells.cell(2)), 0);
    EXPECT_EQ(format, 2);
    EXPECT_TRUE(cells.holds(0, "12345678ZZZZ"));
    EXPECT_TRUE(cells.holds(1, "abc\0\0\0\0\0ZZZZ"));
    EXPECT_TRUE(cells.holds(2, "ABCDEFGHZZZZ"));
    EXPECT_EQ(GetVarCMissingValuesInProcDS(0, &format, cells.cell(0), cells.cell(1), cells.cell(2)),
              0);
    EXPECT_EQ(format, 1);
    EXPECT_TRUE(cells.holds(0, "\0\0\0\0\0\0\0\0ZZZZ"));
    EXPECT_TRUE(cells.holds(1, "x\0y\0\0\0\0\0ZZZZ"));
    EXPECT_TRUE(cells.holds(2, "z\0\0\0\0\0\0\0ZZZZ"));
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(ValueLabels, CountZeroAllocatesNothingAndLeavesThePointers) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=0", "int=0"});
    double numbers[1] = {};
    char* texts[1] = {};
    double* values = numbers;
    char** labels = texts;
    int count = -1;
    EXPECT_EQ(GetNValueLabels(1, &values, &labels, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(values, numbers);
    EXPECT_EQ(labels, texts);
    EXPECT_EQ(FreeNValueLabels(values, labels, count), 0);
    char** stringValues = texts;
    count = -1;
    EXPECT_EQ(GetCValueLabels(1, &stringValues, &labels, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(stringValues, texts);
    EXPECT_EQ(labels, texts);
    EXPECT_EQ(FreeCValueLabels(stringValues, labels, count), 0);
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(ValueLabels, CountNGivesPairsInOrderReleasedByTheFreeFunctions) {
    apitest::AttachAsRunning();
    ScriptedEngine engine(
        {"int=2;dbl=1,2.5;str=Low;str=", "int=2;arr=m,longer than 8;arr=Male,Female"});
    double* values = nullptr;
    char** labels = nullptr;
    int count = 0;
    ASSERT_EQ(GetNValueLabels(1, &values, &labels, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(values[1], 2.5);
    EXPECT_STREQ(labels[0], "Low");
    EXPECT_STREQ(labels[1], "");
    EXPECT_EQ(FreeNValueLabels(values, labels, count), 0);
    char** stringValues = nullptr;
    ASSERT_EQ(GetCValueLabels(1, &stringValues, &labels, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(stringValues[0], "m");
    EXPECT_STREQ(stringValues[1], "longer than 8");
    EXPECT_STREQ(labels[0], "Male");
    EXPECT_STREQ(labels[1], "Female");
    EXPECT_EQ(FreeCValueLabels(stringValues, labels, count), 0);
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(RowCount, MinusOneOnEngineErrorAndOnReplyWithoutInteger) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"err=4321;int=5", "", "int=17"});
    int err = 0;
    EXPECT_EQ(GetRowCount(&err), -1);
    EXPECT_EQ(err, 4321);
    EXPECT_EQ(GetRowCount(&err), -1);
    EXPECT_EQ(err, VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(GetRowCount(&err), 17);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(ProcDatasetStrings, EmptyNotNullOnFailure) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"err=55;str=label", "int=1", "", "err=55;str=name"});
    int err = 0;
    // EXPECT_STREQ tells a null pointer from "".
    EXPECT_STREQ(GetVariableLabelInProcDS(0, &err), "");
    EXPECT_EQ(err, 55);
    EXPECT_STREQ(GetVariableFormatInProcDS(0, &err), "");
    EXPECT_EQ(err, VEXA_MALFORMED_MESSAGE);
    EXPECT_STREQ(GetVariableNameInProcDS(0, &err), "");
    EXPECT_EQ(err, 0);
    // The active dataset's twin gives null instead.
    EXPECT_EQ(GetVariableName(0, &err), nullptr);
    EXPECT_EQ(err, 55);
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(SharedString, NextCallReplacesTheFirstResult) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"str=respondent_age_group", "str=Age group"});
    int err = 0;
    const char* name = GetVariableName(0, &err);
    EXPECT_STREQ(name, "respondent_age_group");
    const char* label = GetVariableLabel(0, &err);
    EXPECT_EQ(label, name);
    EXPECT_STREQ(name, "Age group");
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(ShortReply, Gives99105AndLeavesOutputsUnchanged) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"dbl=1.5", "int=1", "int=3;str=a;str=b", "int=2;arr=a,b",
                           "int=1;str=a;str=b", "int=2;dbl=1,2;str=x"});
    double low = -1, high = -2;
    EXPECT_EQ(GetVEXALowHigh(&low, &high), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(low, -1);
    EXPECT_EQ(high, -2);
    int format = -7;
    double v1 = 7, v2 = 8, v3 = 9;
    EXPECT_EQ(GetVarNMissingValues(0, &format, &v1, &v2, &v3), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(format, -7);
    EXPECT_EQ(v1 + v2 + v3, 24);
    char* untouched[1] = {};
    char** texts = untouched;
    char** labels = untouched;
    int count = -1;
    EXPECT_EQ(GetVarAttributes(0, "a", &texts, &count), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(GetCValueLabels(0, &texts, &labels, &count), VEXA_MALFORMED_MESSAGE);
    MissingCells cells;
    EXPECT_EQ(GetVarCMissingValues(0, &format, cells.cell(0), cells.cell(1), cells.cell(2)),
              VEXA_MALFORMED_MESSAGE);
    EXPECT_TRUE(cells.holds(0, "ZZZZZZZZZZZZ"));
    double* numbers = nullptr;
    EXPECT_EQ(GetNValueLabels(0, &numbers, &labels, &count), VEXA_MALFORMED_MESSAGE);
    EXPECT_EQ(numbers, nullptr);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(format, -7);
    EXPECT_EQ(texts, untouched);
    EXPECT_EQ(labels, untouched);
    EXPECT_EQ(engine.Finish(), 0);
}

TEST(MultiResponseSet, TwoStringsGiveAnEmptyMemberList) {
    apitest::AttachAsRunning();
    ScriptedEngine engine({"int=1,2;str=Label;str=Counted", "int=3,4;str=L;str=;str=v1;str=v2"});
    char* label = nullptr;
    char* second = nullptr;
    int firstInteger = 0, secondInteger = 0, err = -1;
    void* members = nullptr;
    GetMultiResponseSet("set", &label, &firstInteger, &second, &secondInteger, &members, &err);
    ASSERT_EQ(err, 0);
    EXPECT_STREQ(label, "Label");
    EXPECT_STREQ(second, "Counted");
    EXPECT_EQ(firstInteger, 1);
    EXPECT_EQ(secondInteger, 2);
    EXPECT_EQ(GetStringListLength(members), 0);
    EXPECT_EQ(FreeString(label), 0);
    EXPECT_EQ(FreeString(second), 0);
    RemoveStringList(members);
    GetMultiResponseSetInProcDS("set", &label, &firstInteger, &second, &secondInteger, &members,
                                &err);
    ASSERT_EQ(err, 0);
    EXPECT_STREQ(second, "");
    EXPECT_EQ(firstInteger, 3);
    ASSERT_EQ(GetStringListLength(members), 2);
    EXPECT_STREQ(GetStringFromList(members, 0), "v1");
    EXPECT_STREQ(GetStringFromList(members, 1), "v2");
    FreeString(label);
    FreeString(second);
    RemoveStringList(members);
    EXPECT_EQ(engine.Finish(), 0);
}
