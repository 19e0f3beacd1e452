// The engine's dictionary: the dictionary file reader and its error lines,
// print formats, the variable name verdicts, the reply blocks of every
// dictionary question, the procedure twins, and the bundled sample.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "codec/protocol.h"
#include "commandtable.h"
#include "csvreader.h"
#include "dictionaryreader.h"
#include "engineclient.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "runtime/statuscodes.h"
#include "varname.h"

namespace {

using engine::Dataset;
using engine::EngineState;

using Bytes = std::vector<unsigned char>;

constexpr const char* kCsv =
    "height,rating,city,code\n"
    "1.5,1,Bern,b\n"
    "2.25,9,Genf,g\n";

constexpr const char* kDictionary =
    "# a comment line\n"
    "\n"
    "variable height label \"Height \"\"in\"\" m\" format F6.3 level scale role target align "
    "center width 9\n"
    "variable rating label \"Rating\" format F2.0 level ordinal   # trailing comment\n"
    "variable city label \"City\" format A12 level nominal role none\n"
    "missing rating 9 99 -1\n"
    "missing height range -999 -900 value 0.5\n"
    "missing city \"n/a\" \"12345678\"\n"
    "values rating 1 \"low\" 9 \"unrated\"\n"
    "values city \"Bern\" \"Capital\" \"Genf\" \"Lake city\"\n"
    "attribute height Unit \"m\"\n"
    "attribute height Sources \"survey\" \"register\"\n"
    "fileattribute Source \"test\"\n"
    "fileattribute Notes \"one\" \"two\"\n"
    "mrset $both label \"Both\" kind 2 counted \"1\" second 1 members rating height\n"
    "weight height\n"
    "split city code\n";

Dataset Read(const char* csv, const char* dictionary) {
    Dataset data;
    std::istringstream csvInput(csv);
    std::string error;
    EXPECT_TRUE(engine::ReadCsvDataset(csvInput, "test", data, error)) << error;
    std::istringstream dictionaryInput(dictionary);
    EXPECT_TRUE(engine::ReadDictionary(dictionaryInput, data, error)) << error;
    return data;
}

// The error of reading `dictionary` over kCsv's variables; the data must
// stay as it was.
std::string ErrorOf(const std::string& dictionary) {
    Dataset data = Read(kCsv, "");
    std::istringstream input(dictionary);
    std::string error;
    EXPECT_FALSE(engine::ReadDictionary(input, data, error)) << dictionary;
    EXPECT_EQ(data.variable(0).label, "");
    EXPECT_EQ(data.properties(1).missing.format, engine::kNoMissing);
    EXPECT_TRUE(data.file().attributes.empty());
    return error;
}

TEST(DictionaryFile, EveryStatementLandsInTheDictionary) {
    Dataset data = Read(kCsv, kDictionary);
    ASSERT_EQ(data.VariableCount(), 4u);
    EXPECT_EQ(data.variable(0).label, "Height \"in\" m");
    const auto& height = data.properties(0);
    EXPECT_EQ(height.format, (engine::PrintFormat{engine::kFormatNumeric, 6, 3}));
    EXPECT_EQ(height.level, engine::kScale);
    EXPECT_EQ(height.role, engine::kRoleTarget);
    EXPECT_EQ(height.alignment, engine::kAlignCenter);
    EXPECT_EQ(height.columnWidth, 9);
    EXPECT_EQ(height.missing.format, engine::kMissingRangeAndValue);
    EXPECT_EQ(height.missing.numbers, (std::array<double, 3>{-999, -900, 0.5}));
    EXPECT_EQ(data.properties(1).missing.format, 3);
    EXPECT_EQ(data.properties(1).missing.numbers, (std::array<double, 3>{9, 99, -1}));
    EXPECT_EQ(data.properties(2).missing.format, 2);
    EXPECT_EQ(data.properties(2).missing.texts[1], "12345678");
    EXPECT_EQ(data.properties(2).format.Text(), "A12");
    EXPECT_EQ(data.file().weight, "height");
    EXPECT_EQ(data.file().split, (std::vector<std::string>{"city", "code"}));
    ASSERT_EQ(data.file().sets.size(), 1u);
    EXPECT_EQ(data.file().sets[0].members, (std::vector<std::string>{"rating", "height"}));
    EXPECT_EQ(data.file().attributes.Names(), (std::vector<std::string>{"Source", "Notes"}));
}

TEST(DictionaryFile, VariablesItDoesNotNameKeepTheDefaultsOfTheirType) {
    Dataset data = Read(kCsv, kDictionary);
    const auto& code = data.properties(3);
    EXPECT_EQ(code.format.Text(), "A1");
    EXPECT_EQ(code.level, engine::kNominal);
    EXPECT_EQ(code.alignment, engine::kAlignLeft);
    Dataset bare = Read(kCsv, "");
    // Without a dictionary the format follows the data: 2.25 is the widest.
    EXPECT_EQ(bare.properties(0).format.Text(), "F4.2");
    EXPECT_EQ(bare.properties(1).format.Text(), "F1.0");
    EXPECT_EQ(bare.properties(0).level, engine::kScale);
    EXPECT_EQ(bare.properties(0).alignment, engine::kAlignRight);
    EXPECT_EQ(bare.properties(0).columnWidth, 8);
    EXPECT_EQ(bare.properties(2).format.Text(), "A4");
    EXPECT_EQ(bare.properties(2).columnWidth, 4);
}

TEST(DictionaryFile, ALaterStatementReplacesMissingValuesAndRelabelsInPlace) {
    Dataset data = Read(kCsv,
                        "missing rating 9\nmissing rating range 1 2\n"
                        "values rating 1 \"a\" 2 \"b\"\nvalues rating 1 \"A\"\n"
                        "missing city \"x\"\nmissing city none\n");
    EXPECT_EQ(data.properties(1).missing.format, engine::kMissingRange);
    const auto& labels = data.properties(1).numericLabels.entries();
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0], (std::pair<double, std::string>{1, "A"}));
    EXPECT_EQ(data.properties(2).missing.format, engine::kNoMissing);
}

TEST(DictionaryFile, BadLinesAreNamedByNumberAndChangeNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"variable height label \"ok\"\nfrobnicate x\n", "line 2: unknown statement frobnicate"},
        {"\n\nvariable height label \"open\n", "line 3: unterminated quote"},
        {"variable nosuch label \"x\"\n", "line 1: unknown variable nosuch"},
        {"variable height format A8\n", "line 1: format A8 does not fit the type"},
        {"variable city format F8.2\n", "line 1: format F8.2 does not fit the type"},
        {"variable height format F8.8\n", "line 1: bad format F8.8"},
        {"variable height level loud\n", "line 1: bad level loud"},
        {"variable height width 0\n", "line 1: bad column width 0"},
        {"variable height label\n", "line 1: value expected after label"},
        {"variable height colour red\n", "line 1: unknown property colour"},
        {"missing rating 1 2 3 4\n", "line 1: at most 3 missing values"},
        {"missing rating range 5 1\n", "line 1: range ends in the wrong order"},
        {"missing rating range 1 5 9\n", "line 1: range may be followed only by value <number>"},
        {"missing rating nan\n", "line 1: missing value nan is no number"},
        {"missing city range \"a\" \"b\"\n", "line 1: a string variable has no missing range"},
        {"missing city \"123456789\"\n", "line 1: string missing value longer than 8 bytes"},
        {"missing rating\n", "line 1: missing values expected"},
        {"values rating 1 \"a\" 2\n", "line 1: value and label pairs expected"},
        {"values rating one \"a\"\n", "line 1: value one is no number"},
        {"attribute height Unit\n", "line 1: attribute values expected"},
        {"fileattribute\n", "line 1: attribute name expected"},
        {"mrset sizes members height\n", "line 1: set name starting with $ expected"},
        {"mrset $s kind 3 members height\n", "line 1: kind is 1 or 2"},
        {"mrset $s label \"x\"\n", "line 1: members expected"},
        {"mrset $s members height\nmrset $s members rating\n", "line 2: repeated set $s"},
        {"weight city\n", "line 1: the weight variable must be numeric"},
        {"split\n", "line 1: variable name expected"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ErrorOf(text), expected) << text;
}

TEST(DictionaryFile, GoodLinesBeforeABadOneAreNotApplied) {
    EXPECT_EQ(ErrorOf("variable height label \"kept?\"\nmissing rating 9\nfileattribute A "
                      "\"x\"\nweight nosuch\n"),
              "line 4: unknown variable nosuch");
}

TEST(DictionaryFile, PathIsTheDataFileWithItsExtensionReplaced) {
    EXPECT_EQ(engine::DictionaryPathFor("/data/iris.csv"), "/data/iris.dict");
    EXPECT_EQ(engine::DictionaryPathFor("/data/iris"), "/data/iris.dict");
    EXPECT_EQ(engine::DictionaryPathFor("/data.d/iris"), "/data.d/iris.dict");
    EXPECT_EQ(engine::DictionaryPathFor("a.b.csv"), "a.b.dict");
}

TEST(DictionaryFile, AbsentFileIsNoErrorAndABadOneNamesItsPath) {
    Dataset data = Read(kCsv, "");
    std::string error;
    EXPECT_TRUE(engine::ReadDictionaryFileIfPresent("/nonexistent/x.dict", data, error));
    EXPECT_EQ(error, "");

    const auto path =
        std::filesystem::temp_directory_path() /
        ("dicttest-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".dict");
    std::ofstream(path) << "variable height label \"ok\"\nweight\n";
    EXPECT_FALSE(engine::ReadDictionaryFileIfPresent(path.string(), data, error));
    std::filesystem::remove(path);
    EXPECT_EQ(error, path.string() + ": line 2: variable name expected");
    EXPECT_EQ(data.variable(0).label, "");
}

TEST(PrintFormat, TextAndParseRoundTripWithinTheLimits) {
    for (const char* text : {"F8.2", "F3.0", "A10", "A255", "F255.254"}) {
        auto format = engine::ParsePrintFormat(text);
        ASSERT_TRUE(format) << text;
        EXPECT_EQ(format->Text(), text);
    }
    EXPECT_EQ(engine::ParsePrintFormat("f3")->Text(), "F3.0");
    for (const char* text : {"", "F", "X8.2", "F0", "F256", "A8.2", "F8.", "F.2", "F8.2x", "F-1"}) {
        EXPECT_FALSE(engine::ParsePrintFormat(text)) << text;
    }
}

TEST(VariableNameVerdict, EachRuleHasItsCode) {
    EXPECT_EQ(engine::ValidateVariableName("sepal_length"), engine::kNameValid);
    EXPECT_EQ(engine::ValidateVariableName("@x.1#$"), engine::kNameValid);
    EXPECT_EQ(engine::ValidateVariableName(std::string(64, 'v')), engine::kNameValid);
    EXPECT_EQ(engine::ValidateVariableName(""), engine::kNameEmpty);
    EXPECT_EQ(engine::ValidateVariableName(std::string(65, 'v')), engine::kNameTooLong);
    EXPECT_EQ(engine::ValidateVariableName("1abc"), engine::kNameBadFirst);
    EXPECT_EQ(engine::ValidateVariableName("_abc"), engine::kNameBadFirst);
    EXPECT_EQ(engine::ValidateVariableName("ab c"), engine::kNameBadCharacter);
    EXPECT_EQ(engine::ValidateVariableName("ab-c"), engine::kNameBadCharacter);
    EXPECT_EQ(engine::ValidateVariableName(std::string("a\0b", 3)), engine::kNameBadCharacter);
    for (const char* word :
         {"ALL", "and", "By", "EQ", "ge", "GT", "LE", "LT", "NE", "not", "OR", "TO", "With"})
        EXPECT_EQ(engine::ValidateVariableName(word), engine::kNameReserved) << word;
    EXPECT_EQ(engine::ValidateVariableName("ALLx"), engine::kNameValid);
    EXPECT_EQ(engine::kNameValid, 0);
    EXPECT_EQ(engine::kNameReserved, 5);
}

// Asks the table as a client would and keeps the reply.
class DictionaryReplies : public enginetest::EngineReplies {
  protected:
    void SetUp() override { state.active = Read(kCsv, kDictionary); }

    static std::vector<std::string> Texts(const StringData& block) {
        return Block<std::string>(block);
    }

    Bytes Image() {
        EXPECT_EQ(reply.ContructSendData(), 0);
        std::int32_t length = 0;
        const auto* bytes = static_cast<const unsigned char*>(reply.GetSendBuf(length));
        return Bytes(bytes, bytes + length);
    }
};

TEST_F(DictionaryReplies, CountsAndTheVariableDescription) {
    ASSERT_EQ(Ask(cmd::kGetVariableCount), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{4}));
    ASSERT_EQ(Ask(cmd::kGetRowCount), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{2}));
    ASSERT_EQ(Ask(cmd::kGetVariableName, {2}), 0);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"city"}));
    ASSERT_EQ(Ask(cmd::kGetVariableLabel, {0}), 0);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"Height \"in\" m"}));
    ASSERT_EQ(Ask(cmd::kGetVariableType, {2}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{4}));
    ASSERT_EQ(Ask(cmd::kGetVariableType, {0}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));
    ASSERT_EQ(Ask(cmd::kGetVariableFormat, {0}), 0);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"F6.3"}));
    ASSERT_EQ(Ask(cmd::kGetVariableMeasurementLevel, {1}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kOrdinal}));
    ASSERT_EQ(Ask(cmd::kGetVariableRole, {0}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kRoleTarget}));
    ASSERT_EQ(Ask(cmd::kGetVariableFormatType, {2}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kFormatString, 12, 0}));
    ASSERT_EQ(Ask(cmd::kGetVariableFormatType, {0}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kFormatNumeric, 6, 3}));
}

TEST_F(DictionaryReplies, FormatTypeReplyImage) {
    ASSERT_EQ(Ask(cmd::kGetVariableFormatType, {0}), 0);
    const Bytes expected = {0x40, 0, 0, 0, 29, 0, 0, 0, 0, 0, 0, 0,  // T 64, action 29, error 0
                            3,    0, 0, 0, 5,  0, 0, 0, 6, 0, 0, 0,
                            3,    0, 0, 0,                            // long block {5, 6, 3}: F6.3
                            0,    0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0,   // double, string, struct
                            0,    0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0,   // three array counts
                            0,    0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0};  // binary, wide, void
    EXPECT_EQ(Image(), expected);
}

TEST_F(DictionaryReplies, NumericMissingValuesRangeAndValue) {
    ASSERT_EQ(Ask(cmd::kGetVarNMissingValues, {0}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kMissingRangeAndValue}));
    EXPECT_EQ(ReplyDoubles(), (std::vector<double>{-999, -900, 0.5}));
    ASSERT_EQ(Ask(cmd::kGetVarNMissingValues, {1}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{3}));
    EXPECT_EQ(ReplyDoubles(), (std::vector<double>{9, 99, -1}));
    // A string variable has no numeric missing values.
    ASSERT_EQ(Ask(cmd::kGetVarNMissingValues, {2}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));
    EXPECT_EQ(ReplyDoubles().size(), 3u);
}

TEST_F(DictionaryReplies, StringMissingValuesAreThreeBlankPaddedCells) {
    ASSERT_EQ(Ask(cmd::kGetVarCMissingValues, {2}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"n/a     ", "12345678", "        "}));
    const Bytes expected = {
        0x5c, 0,   0,   0,   31,  0,   0,   0,   0,   0,   0,   0,  // T 92, action 31
        1,    0,   0,   0,   2,   0,   0,   0,                      // long block {2}
        0,    0,   0,   0,                                          // double block
        3,    0,   0,   0,                                          // string block, 3 values
        8,    0,   0,   0,   'n', '/', 'a', ' ', ' ', ' ', ' ', ' ', 8, 0,
        0,    0,   '1', '2', '3', '4', '5', '6', '7', '8', 8,   0,   0, 0,
        ' ',  ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0,   0,   0,   0,   // struct
        0,    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   // array counts
        0,    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0};  // binary, wide, void
    EXPECT_EQ(Image(), expected);
    ASSERT_EQ(Ask(cmd::kGetVarCMissingValues, {0}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));
    EXPECT_EQ(ReplyStrings().size(), 3u);
}

TEST_F(DictionaryReplies, NumericValueLabelsAreCountDoublesAndTexts) {
    ASSERT_EQ(Ask(cmd::kGetNValueLabels, {1}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(ReplyDoubles(), (std::vector<double>{1, 9}));
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"low", "unrated"}));
    ASSERT_EQ(Ask(cmd::kGetNValueLabels, {0}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));
    EXPECT_TRUE(ReplyDoubles().empty());
}

TEST_F(DictionaryReplies, StringValueLabelsTravelAsTwoStringArrays) {
    ASSERT_EQ(Ask(cmd::kGetCValueLabels, {2}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{2}));
    EXPECT_TRUE(ReplyStrings().empty());
    auto arrays = reply.GetStringArray();
    ASSERT_EQ(arrays.size(), 2u);
    EXPECT_EQ(Texts(arrays[0]), (std::vector<std::string>{"Bern", "Genf"}));
    EXPECT_EQ(Texts(arrays[1]), (std::vector<std::string>{"Capital", "Lake city"}));
    // Without labels the two arrays are still there, empty.
    ASSERT_EQ(Ask(cmd::kGetCValueLabels, {3}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));
    const Bytes expected = {0x40, 0, 0, 0, 125, 0, 0, 0, 0, 0, 0, 0,   // T 64, action 125
                            1,    0, 0, 0, 0,   0, 0, 0,               // long block {0}
                            0,    0, 0, 0, 0,   0, 0, 0, 0, 0, 0, 0,   // double, string, struct
                            0,    0, 0, 0, 0,   0, 0, 0,               // no long or double arrays
                            2,    0, 0, 0, 0,   0, 0, 0, 0, 0, 0, 0,   // two empty string arrays
                            0,    0, 0, 0, 0,   0, 0, 0, 0, 0, 0, 0};  // binary, wide, void
    EXPECT_EQ(Image(), expected);
}

TEST_F(DictionaryReplies, AttributesOfAVariableAndOfTheFile) {
    ASSERT_EQ(Ask(cmd::kGetVarAttributeNames, {0}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"Unit", "Sources"}));
    ASSERT_EQ(Ask(cmd::kGetVarAttributes, {0}, {"Sources"}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"survey", "register"}));
    ASSERT_EQ(Ask(cmd::kGetVarAttributes, {0}, {"Nothing"}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));
    EXPECT_EQ(Ask(cmd::kGetVarAttributes, {0}), VEXA_MALFORMED_MESSAGE);
    ASSERT_EQ(Ask(cmd::kGetVarAttributeNames, {1}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));

    ASSERT_EQ(Ask(cmd::kGetDataFileAttributeNames), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"Source", "Notes"}));
    ASSERT_EQ(Ask(cmd::kGetDataFileAttributes, {}, {"Notes"}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"one", "two"}));
    ASSERT_EQ(Ask(cmd::kGetDataFileAttributes, {}, {"notes"}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));
    EXPECT_EQ(Ask(cmd::kGetDataFileAttributes), VEXA_MALFORMED_MESSAGE);
}

TEST_F(DictionaryReplies, MultipleResponseSetsWeightAndSplit) {
    ASSERT_EQ(Ask(cmd::kGetMultiResponseSetNames), 0);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"$both"}));
    EXPECT_TRUE(ReplyInts().empty());
    ASSERT_EQ(Ask(cmd::kGetMultiResponseSet, {}, {"$both"}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kDichotomySet, 1}));
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"Both", "1", "rating", "height"}));
    EXPECT_EQ(Ask(cmd::kGetMultiResponseSet, {}, {"$none"}), engine::kNoSuchItem);
    EXPECT_EQ(Ask(cmd::kGetMultiResponseSet), VEXA_MALFORMED_MESSAGE);
    ASSERT_EQ(Ask(cmd::kGetWeightVar), 0);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"height"}));
    ASSERT_EQ(Ask(cmd::kGetSplitVariableNames), 0);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{"city", "code"}));

    state.active = Read(kCsv, "");
    ASSERT_EQ(Ask(cmd::kGetWeightVar), 0);
    EXPECT_EQ(ReplyStrings(), (std::vector<std::string>{""}));
    ASSERT_EQ(Ask(cmd::kGetSplitVariableNames), 0);
    EXPECT_TRUE(ReplyStrings().empty());
    ASSERT_EQ(Ask(cmd::kGetMultiResponseSetNames), 0);
    EXPECT_TRUE(ReplyStrings().empty());
}

TEST_F(DictionaryReplies, EngineWideValuesAndTheNameVerdict) {
    ASSERT_EQ(Ask(cmd::kGetSystemMissingValue), 0);
    EXPECT_EQ(ReplyDoubles(), (std::vector<double>{std::numeric_limits<double>::lowest()}));
    ASSERT_EQ(Ask(cmd::kGetVEXALowHigh), 0);
    EXPECT_EQ(ReplyDoubles(), (std::vector<double>{std::numeric_limits<double>::lowest(),
                                                   std::numeric_limits<double>::max()}));
    ASSERT_EQ(Ask(cmd::kValidateVarName, {}, {"to"}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kNameReserved}));
    ASSERT_EQ(Ask(cmd::kValidateVarName, {}, {"ok"}), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kNameValid}));
    ASSERT_EQ(Ask(cmd::kValidateVarName), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{engine::kNameEmpty}));
}

TEST_F(DictionaryReplies, PositionOutsideTheDictionaryOrAbsentIsRefused) {
    for (int code :
         {cmd::kGetVariableName, cmd::kGetVariableLabel, cmd::kGetVariableType,
          cmd::kGetVariableFormat, cmd::kGetVariableMeasurementLevel, cmd::kGetVariableRole,
          cmd::kGetVariableFormatType, cmd::kGetVarNMissingValues, cmd::kGetVarCMissingValues,
          cmd::kGetNValueLabels, cmd::kGetCValueLabels, cmd::kGetVarAttributeNames}) {
        EXPECT_EQ(Ask(code, {4}), engine::kNoSuchItem) << code;
        EXPECT_TRUE(ReplyInts().empty() && ReplyStrings().empty() && ReplyDoubles().empty())
            << code;
        EXPECT_EQ(Ask(code, {-1}), engine::kNoSuchItem) << code;
        EXPECT_EQ(Ask(code), VEXA_MALFORMED_MESSAGE) << code;
    }
    EXPECT_EQ(Ask(cmd::kGetVarAttributes, {4}, {"Unit"}), engine::kNoSuchItem);
    EXPECT_EQ(engine::kNoSuchItem, 9003);
}

// Active-dataset code and its procedure twin, with the request of one case.
struct Twin {
    int active;
    int procedure;
    std::vector<std::int32_t> ints;
    std::vector<std::string> strs;
};

const Twin kTwins[] = {
    {cmd::kGetVariableCount, cmd::kGetVariableCountInProcDS, {}, {}},
    {cmd::kGetRowCount, cmd::kGetRowCountInProcDS, {}, {}},
    {cmd::kGetVariableName, cmd::kGetVariableNameInProcDS, {1}, {}},
    {cmd::kGetVariableLabel, cmd::kGetVariableLabelInProcDS, {0}, {}},
    {cmd::kGetVariableFormat, cmd::kGetVariableFormatInProcDS, {0}, {}},
    {cmd::kGetVariableType, cmd::kGetVariableTypeInProcDS, {2}, {}},
    {cmd::kGetVariableMeasurementLevel, cmd::kGetVariableMeasurementLevelInProcDS, {1}, {}},
    {cmd::kGetVariableRole, cmd::kGetVariableRoleInProcDS, {0}, {}},
    {cmd::kGetVariableFormatType, cmd::kGetVariableFormatTypeInProcDS, {0}, {}},
    {cmd::kGetVarNMissingValues, cmd::kGetVarNMissingValuesInProcDS, {0}, {}},
    {cmd::kGetVarCMissingValues, cmd::kGetVarCMissingValuesInProcDS, {2}, {}},
    {cmd::kGetVarAttributeNames, cmd::kGetVarAttributeNamesInProcDS, {0}, {}},
    {cmd::kGetVarAttributes, cmd::kGetVarAttributesInProcDS, {0}, {"Sources"}},
    {cmd::kGetDataFileAttributeNames, cmd::kGetDataFileAttributeNamesInProcDS, {}, {}},
    {cmd::kGetDataFileAttributes, cmd::kGetDataFileAttributesInProcDS, {}, {"Notes"}},
    {cmd::kGetMultiResponseSetNames, cmd::kGetMultiResponseSetNamesInProcDS, {}, {}},
    {cmd::kGetMultiResponseSet, cmd::kGetMultiResponseSetInProcDS, {}, {"$both"}},
};

TEST_F(DictionaryReplies, ProcedureTwinsAnswerLikeTheActiveDatasetOnlyWhileAProcedureIsOpen) {
    CleXDSmb activeReply;
    for (const Twin& twin : kTwins) {
        CleXDSmb request;
        request.SetCommandAction(twin.procedure);
        for (auto value : twin.ints) request.SetLong(value);
        for (const auto& value : twin.strs) request.SetString(value);
        CleXDSmb closed;
        table.Dispatch(request, closed, state);
        EXPECT_EQ(closed.GetErrorCode(), engine::kNoProcedureOpen) << twin.procedure;
        EXPECT_EQ(closed.GetLongDataRef().Size() + closed.GetStringDataRef().Size(), 0)
            << twin.procedure;
    }
    ASSERT_EQ(Ask(cmd::kStartProcedure, {}, {"test"}), 0);
    for (const Twin& twin : kTwins) {
        CleXDSmb request;
        request.SetCommandAction(twin.active);
        for (auto value : twin.ints) request.SetLong(value);
        for (const auto& value : twin.strs) request.SetString(value);
        CleXDSmb expected;
        table.Dispatch(request, expected, state);
        ASSERT_EQ(expected.GetErrorCode(), 0) << twin.active;
        expected.SetCommandAction(twin.procedure);
        request.SetCommandAction(twin.procedure);
        CleXDSmb open;
        table.Dispatch(request, open, state);
        ASSERT_EQ(open.ContructSendData(), 0);
        ASSERT_EQ(expected.ContructSendData(), 0);
        std::int32_t openLength = 0;
        std::int32_t expectedLength = 0;
        const auto* openBytes = static_cast<const unsigned char*>(open.GetSendBuf(openLength));
        const auto* expectedBytes =
            static_cast<const unsigned char*>(expected.GetSendBuf(expectedLength));
        EXPECT_EQ(Bytes(openBytes, openBytes + openLength),
                  Bytes(expectedBytes, expectedBytes + expectedLength))
            << twin.procedure;
    }
    // Out of range in the procedure's dataset as in the active one.
    EXPECT_EQ(Ask(cmd::kGetVariableNameInProcDS, {9}), engine::kNoSuchItem);
}

TEST_F(DictionaryReplies, ProcedureOpensOnceClosesOnceAndMayBeUnnamed) {
    ASSERT_EQ(Ask(cmd::kHasProcedure), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));
    EXPECT_EQ(Ask(cmd::kEndProcedure), engine::kNoProcedureOpen);
    ASSERT_EQ(Ask(cmd::kStartProcedure), 0);
    EXPECT_EQ(state.output.open()->name, "");
    ASSERT_EQ(Ask(cmd::kHasProcedure), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{1}));
    EXPECT_EQ(Ask(cmd::kStartProcedure, {}, {"second"}), engine::kProcedureAlreadyOpen);
    EXPECT_EQ(state.output.open()->name, "");
    ASSERT_EQ(Ask(cmd::kEndProcedure), 0);
    ASSERT_EQ(Ask(cmd::kHasProcedure), 0);
    EXPECT_EQ(ReplyInts(), (std::vector<std::int32_t>{0}));
    EXPECT_EQ(Ask(cmd::kEndProcedure), engine::kNoProcedureOpen);
    EXPECT_EQ(Ask(cmd::kGetRowCountInProcDS), engine::kNoProcedureOpen);
}

// What the README promises of the bundled sample.
TEST(BundledSample, DataAndDictionaryReadTogether) {
    Dataset data;
    std::string error;
    ASSERT_TRUE(engine::ReadCsvFile(VEXA_ENGINE_DATA_FILE, data, error)) << error;
    ASSERT_EQ(engine::DictionaryPathFor(VEXA_ENGINE_DATA_FILE), VEXA_ENGINE_DICTIONARY_FILE);
    ASSERT_TRUE(engine::ReadDictionaryFileIfPresent(VEXA_ENGINE_DICTIONARY_FILE, data, error))
        << error;
    EXPECT_EQ(data.CaseCount(), 150u);
    ASSERT_EQ(data.VariableCount(), 9u);
    const char* first[] = {"sepal_length", "sepal_width", "petal_length", "petal_width", "species"};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(data.variable(i).name, first[i]);
        EXPECT_NE(data.variable(i).label, "");
    }
    const auto at = [&](const char* name) { return data.FindVariable(name); };
    EXPECT_EQ(data.variable(at("species")).type, 10);
    EXPECT_EQ(data.properties(at("species")).missing.format, 1);
    EXPECT_EQ(data.properties(at("species")).stringLabels.entries().size(), 3u);
    EXPECT_EQ(data.properties(at("species_code")).numericLabels.entries().size(), 3u);
    EXPECT_EQ(data.properties(at("petal_quality")).missing.format, 2);
    EXPECT_EQ(data.properties(at("growth_index")).missing.format, engine::kMissingRange);
    EXPECT_EQ(data.properties(at("flower_count")).missing.format, engine::kMissingRangeAndValue);
    ASSERT_NE(data.properties(at("species")).attributes.Find("Source"), nullptr);
    EXPECT_EQ(data.properties(at("species")).attributes.Find("Source")->size(), 2u);
    ASSERT_NE(data.file().attributes.Find("Notes"), nullptr);
    EXPECT_EQ(data.file().attributes.Find("Notes")->size(), 2u);
    EXPECT_EQ(data.file().sets.size(), 2u);
    EXPECT_EQ(data.file().weight, "");
    EXPECT_TRUE(data.file().split.empty());
    // The sample's user-missing codes occur in its cases.
    std::size_t quality = at("petal_quality");
    std::size_t unrated = 0;
    for (std::size_t c = 0; c < data.CaseCount(); ++c) {
        double value = std::get<double>(data.cell(c, quality));
        if (value == 9 || value == 99) ++unrated;
    }
    EXPECT_GT(unrated, 0u);
}

// A directory of this process's own, removed with everything in it.
class ScratchDirectory {
  public:
    explicit ScratchDirectory(const std::string& stem)
        : m_path(std::filesystem::temp_directory_path() /
                 (stem + "-" + std::to_string(platform::CurrentProcessId()))) {
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDirectory() { std::filesystem::remove_all(m_path); }
    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

TEST(EngineDictionaryFile, BadDictionaryNextToTheDataFileFailsTheReadyMessage) {
    const ScratchDirectory scratch("enginedict");
    const std::filesystem::path& directory = scratch.path();
    std::ofstream(directory / "small.csv") << kCsv;
    std::ofstream(directory / "small.dict")
        << "variable height label \"x\"\nvariable height level loud\n";

    char pid[16];
    std::snprintf(pid, sizeof pid, "%04xd", static_cast<unsigned>(platform::CurrentProcessId()));
    enginetest::EngineClient client(pid, "BADDICT");
    ASSERT_EQ(client.CreateResultPipe(), 0);
    ASSERT_EQ(client.StartEngine({"-datafile=" + (directory / "small.csv").string()}), 0);
    EXPECT_EQ(client.ReceiveReady(20000), engine::kDataFileUnreadable);
    ASSERT_TRUE(client.engine().WaitFor(20000));
    EXPECT_EQ(client.engine().ExitStatus(), 1);
}

TEST(EngineDictionaryFile, DictionaryNextToTheDataFileIsServed) {
    const ScratchDirectory scratch("enginedictok");
    const std::filesystem::path& directory = scratch.path();
    std::ofstream(directory / "small.csv") << kCsv;
    std::ofstream(directory / "small.dict") << kDictionary;

    char pid[16];
    std::snprintf(pid, sizeof pid, "%04xd", static_cast<unsigned>(platform::CurrentProcessId()));
    enginetest::EngineClient client(pid, "GOODDICT");
    ASSERT_EQ(client.CreateResultPipe(), 0);
    ASSERT_EQ(client.StartEngine({"-datafile=" + (directory / "small.csv").string()}), 0);
    ASSERT_EQ(client.ReceiveReady(20000), 0);
    CleXDSmb request;
    request.SetCommandAction(cmd::kGetVarCMissingValues);
    request.SetLong(2);
    ASSERT_EQ(client.Send(request), 0);
    CleXDSmb reply;
    ASSERT_EQ(client.Receive(reply), 0);
    ASSERT_EQ(reply.GetLongDataRef().Size(), 1);
    EXPECT_EQ(reply.GetLongDataRef()[0], 2);
    ASSERT_EQ(reply.GetStringDataRef().Size(), 3);
    EXPECT_EQ(reply.GetStringDataRef()[0], "n/a     ");
    CleXDSmb stop;
    stop.SetCommandAction(cmd::kStopVexa);
    ASSERT_EQ(client.Send(stop), 0);
    CleXDSmb stopped;
    ASSERT_EQ(client.Receive(stopped), 0);
    ASSERT_TRUE(client.engine().WaitFor(20000));
    EXPECT_EQ(client.engine().ExitStatus(), 0);
}

}  // namespace
