// The engine's CSV reader: record splitting, column typing, refusals that
// name the line, and the bundled data file.
#include <gtest/gtest.h>

#include <sstream>

#include "csvreader.h"

namespace {

using engine::CellValue;
using engine::Dataset;
using engine::kSystemMissing;

bool Read(const std::string& text, Dataset& out, std::string& error) {
    std::istringstream input(text);
    return engine::ReadCsvDataset(input, "sample", out, error);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

double Number(const Dataset& data, std::size_t row, std::size_t column) {
    return std::get<double>(data.cell(row, column));
}

std::string Text(const Dataset& data, std::size_t row, std::size_t column) {
    return std::get<std::string>(data.cell(row, column));
}

TEST(CsvDataset, ColumnTypesFollowEveryValue) {
    Dataset data;
    std::string error;
    ASSERT_TRUE(Read("id,name,score\n1,al,2.5\n2,bo,x\n-3e2,cyrus,4\n", data, error)) << error;
    ASSERT_EQ(data.VariableCount(), 3u);
    ASSERT_EQ(data.CaseCount(), 3u);
    EXPECT_TRUE(data.variable(0).IsNumeric());
    EXPECT_DOUBLE_EQ(Number(data, 2, 0), -300.0);
    // Strings are as wide as their longest value.
    EXPECT_EQ(data.variable(1).type, 5);
    // One value that is not a number turns the whole column into text,
    // the numbers in it kept as written.
    EXPECT_EQ(data.variable(2).type, 3);
    EXPECT_EQ(Text(data, 0, 2), "2.5");
    EXPECT_EQ(Text(data, 1, 2), "x");
    EXPECT_EQ(data.name(), "sample");
}

TEST(CsvDataset, EmptyNumericFieldIsSystemMissing) {
    Dataset data;
    std::string error;
    ASSERT_TRUE(Read("a,b,c\n1,,x\n,2,\n", data, error)) << error;
    EXPECT_EQ(Number(data, 1, 0), kSystemMissing);
    EXPECT_EQ(Number(data, 0, 1), kSystemMissing);
    EXPECT_DOUBLE_EQ(Number(data, 1, 1), 2.0);
    // In a string column an empty field stays an empty string.
    EXPECT_FALSE(data.variable(2).IsNumeric());
    EXPECT_EQ(Text(data, 1, 2), "");
}

TEST(CsvDataset, QuotedValuesAndCarriageReturnsAreNotPartOfTheValue) {
    Dataset data;
    std::string error;
    ASSERT_TRUE(Read("city,note\r\n\"Lyon, FR\",\"a \"\"b\"\"\"\r\nRome,c\r\n", data, error))
        << error;
    ASSERT_EQ(data.CaseCount(), 2u);
    EXPECT_EQ(Text(data, 0, 0), "Lyon, FR");
    EXPECT_EQ(Text(data, 0, 1), "a \"b\"");
    EXPECT_EQ(Text(data, 1, 1), "c");
    EXPECT_EQ(data.variable(0).type, 8);
}

TEST(CsvDataset, WrongFieldCountNamesTheLineCountingBlankLines) {
    Dataset data;
    std::string error;
    EXPECT_FALSE(Read("a,b\n1,2\n\n3\n4,5\n", data, error));
    EXPECT_TRUE(StartsWith(error, "sample: line 4:")) << error;
    EXPECT_FALSE(Read("a,b\n1,2,3\n", data, error));
    EXPECT_TRUE(StartsWith(error, "sample: line 2:")) << error;
}

TEST(CsvDataset, UnclosedQuoteNamesItsLine) {
    Dataset data;
    std::string error;
    EXPECT_FALSE(Read("a,b\n1,2\n3,\"open\n", data, error));
    EXPECT_TRUE(StartsWith(error, "sample: line 3:")) << error;
    EXPECT_FALSE(Read("a,\"b\n1,2\n", data, error));
    EXPECT_TRUE(StartsWith(error, "sample: line 1:")) << error;
}

TEST(CsvDataset, MissingOrRepeatedVariableNamesAreRefused) {
    Dataset data;
    std::string error;
    EXPECT_FALSE(Read("", data, error));
    EXPECT_TRUE(StartsWith(error, "sample: line 1:")) << error;
    EXPECT_FALSE(Read("a,a\n1,2\n", data, error));
    EXPECT_TRUE(StartsWith(error, "sample: line 1:")) << error;
    EXPECT_FALSE(Read("a,,c\n1,2,3\n", data, error));
}

TEST(CsvDataset, FailureLeavesTheOutputAsItWas) {
    Dataset data("before");
    ASSERT_TRUE(data.AddVariable({"keep", "", 0}));
    ASSERT_TRUE(data.AddCase({CellValue(7.0)}));
    std::string error;
    for (const char* bad : {"x,y\n1\n", "x,y\n1,\"2\n", "x,x\n1,2\n", ""}) {
        EXPECT_FALSE(Read(bad, data, error)) << bad;
        EXPECT_EQ(data.name(), "before");
        ASSERT_EQ(data.VariableCount(), 1u);
        EXPECT_EQ(data.variable(0).name, "keep");
        ASSERT_EQ(data.CaseCount(), 1u);
        EXPECT_DOUBLE_EQ(Number(data, 0, 0), 7.0);
    }
}

TEST(CsvDataset, SuccessReplacesTheWholeOutput) {
    Dataset data("before");
    ASSERT_TRUE(data.AddVariable({"keep", "", 0}));
    std::string error;
    ASSERT_TRUE(Read("x\n1\n2\n", data, error)) << error;
    EXPECT_EQ(data.name(), "sample");
    ASSERT_EQ(data.VariableCount(), 1u);
    EXPECT_EQ(data.variable(0).name, "x");
    EXPECT_EQ(data.CaseCount(), 2u);
}

TEST(CsvFile, BundledDataFileHasFiveVariablesAnd150Cases) {
    Dataset data;
    std::string error;
    ASSERT_TRUE(engine::ReadCsvFile(VEXA_ENGINE_DATA_FILE, data, error)) << error;
    EXPECT_EQ(data.name(), "iris");
    ASSERT_EQ(data.VariableCount(), 9u);
    EXPECT_EQ(data.CaseCount(), 150u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(data.variable(i).IsNumeric()) << i;
    EXPECT_EQ(data.variable(4).name, "species");
    EXPECT_EQ(data.variable(4).type, 10);  // "versicolor"
    EXPECT_DOUBLE_EQ(Number(data, 0, 0), 5.1);
    EXPECT_EQ(Text(data, 0, 4), "setosa");
    EXPECT_EQ(Text(data, 149, 4), "virginica");
}

TEST(CsvFile, MissingFileIsRefusedWithItsPath) {
    Dataset data("before");
    std::string error;
    EXPECT_FALSE(engine::ReadCsvFile("/nonexistent/none.csv", data, error));
    EXPECT_NE(error.find("/nonexistent/none.csv"), std::string::npos) << error;
    EXPECT_EQ(data.name(), "before");
}

}  // namespace
