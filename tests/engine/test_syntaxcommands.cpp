// Submitted syntax carried out by the engine: commands in order, honest
// failures with their error text in every view of the output, the computing
// commands on the bundled sample, and who may stop the engine.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "codec/protocol.h"
#include "csvreader.h"
#include "dictionaryreader.h"
#include "enginecodes.h"
#include "enginereplies.h"
#include "outputhtml.h"
#include "outputxml.h"
#include "shownvalues.h"

namespace {

using enginetest::Values;

class SyntaxCommands : public enginetest::EngineReplies {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(engine::ReadCsvFile(VEXA_ENGINE_DATA_FILE, state.active, error)) << error;
        ASSERT_TRUE(
            engine::ReadDictionaryFileIfPresent(VEXA_ENGINE_DICTIONARY_FILE, state.active, error))
            << error;
    }

    int Submit(const std::string& text) { return Ask(cmd::kSubmit, {text}); }

    std::vector<std::string> XPath(const std::string& handle, const std::string& expression) {
        std::vector<std::string> results;
        std::string error;
        EXPECT_EQ(state.documents.Evaluate(handle, "", expression, results, error), 0) << error;
        return results;
    }

    std::vector<std::string> LogOf(engine::OutputLog::Kind kind) {
        std::vector<std::string> texts;
        for (const auto& entry : state.log.entries()) {
            if (entry.kind == kind) texts.push_back(entry.text);
        }
        return texts;
    }

    std::vector<double> Column(const std::string& name) {
        std::vector<double> values;
        const std::size_t v = state.active.FindVariable(name);
        for (std::size_t row = 0; row < state.active.CaseCount(); ++row)
            values.push_back(std::get<double>(state.active.cell(row, v)));
        return values;
    }
};

TEST_F(SyntaxCommands, EveryCommandOfATextRunsInOrder) {
    ASSERT_EQ(Submit("SET WIDTH=100.\nSET OLANG=German."), 0);
    EXPECT_EQ(state.settings.width, 100);
    EXPECT_EQ(state.settings.language, "German");
    ASSERT_EQ(Submit("set\n  width=120\n\n* a comment.\nDERIVE twice = 2 * sepal_length"), 0);
    EXPECT_EQ(state.settings.width, 120);
    EXPECT_EQ(Column("twice").front(), 10.2);
    EXPECT_EQ(LogOf(engine::OutputLog::Kind::kCommand),
              (std::vector<std::string>{"SET WIDTH=100.", "SET OLANG=German.", "set\n  width=120",
                                        "DERIVE twice = 2 * sepal_length"}));
}

TEST_F(SyntaxCommands, AFailureStopsTheRunAndItsTextReachesEveryViewOfTheOutput) {
    EXPECT_EQ(Submit("SET WIDTH=100.\nTHIS IS NOT SYNTAX AT ALL.\nSET WIDTH=120."),
              engine::kUnknownSyntaxCommand);
    EXPECT_EQ(state.settings.width, 100);
    const std::string text = "THIS (line 2): the engine does not know the command 'THIS'";
    EXPECT_EQ(LogOf(engine::OutputLog::Kind::kError), std::vector<std::string>{text});
    EXPECT_EQ(XPath("Error", "string(/error)"), std::vector<std::string>{text});
    EXPECT_EQ(XPath("Error", "concat(/error/@command, ' ', /error/@line, ' ', /error/@code)"),
              std::vector<std::string>{"THIS 2 9100"});
    EXPECT_NE(engine::OutputXml(state.output, state.log).find("<error>" + text.substr(0, 14)),
              std::string::npos);
    EXPECT_NE(engine::OutputHtml(state.output, state.log).find("<p class=\"error\">THIS (line 2)"),
              std::string::npos);
    EXPECT_EQ(engine::OutputLog::LineOf(state.log.entries().back()), "error: " + text);
}

TEST_F(SyntaxCommands, EachKindOfMistakeHasItsCode) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"DESCRIBE VARIABLES=nosuch.", engine::kUnknownVariable},
        {"DESCRIBE VARIABLES=.", engine::kUnknownVariable},
        {"DESCRIBE sepal_length.", engine::kBadSyntax},
        {"DESCRIBE VARIABLES=species.", engine::kWrongVariableType},
        {"TALLY VARIABLES=sepal_length + 1.", engine::kUnknownVariable},
        {"CROSSCOUNT species WITH petal_quality.", engine::kBadSyntax},
        {"CROSSCOUNT species BY.", engine::kUnknownVariable},
        {"DERIVE = 1.", engine::kBadSyntax},
        {"DERIVE x 1.", engine::kBadSyntax},
        {"DERIVE species = 1.", engine::kWrongVariableType},
        {"DERIVE x = nosuch * 2.", engine::kUnknownVariable},
        {"DERIVE x = (1.", engine::kBadSyntax},
        {"KEEP CASES sepal_length > 5.", engine::kBadSyntax},
        {"SET PRINTBACK=ON.", engine::kBadSyntax},
        {"SET WIDTH=20.", engine::kBadSetValue},
        {"SET WIDTH 100.", engine::kBadSyntax},
        {"EXECUTE NOW.", engine::kBadSyntax},
        {"GET DATA /TYPE=XLS /FILE='x.xls'.", engine::kBadSyntax},
        {"SAVE /TYPE=BINARYSTREAM.", engine::kBadTransportCommand},
        {"x = 1.", engine::kUnknownSyntaxCommand},
        {std::string("SET WIDTH=100\0.", 15), engine::kBadSyntax},
    };
    for (const auto& [command, code] : cases) {
        EXPECT_EQ(Submit(command), code) << command;
        ASSERT_FALSE(LogOf(engine::OutputLog::Kind::kError).empty());
        EXPECT_NE(LogOf(engine::OutputLog::Kind::kError).back().find("(line 1): "),
                  std::string::npos);
    }
    // Nothing of the refused commands changed the data.
    EXPECT_EQ(state.active.VariableCount(), 9u);
    EXPECT_EQ(state.active.CaseCount(), 150u);
    EXPECT_EQ(state.settings.width, 80);
}

TEST_F(SyntaxCommands, QueuedPartsRunOnceTheCommandIsComplete) {
    EXPECT_EQ(Ask(cmd::kQueueCommandPart, {"DERIVE half ="}), 0);
    EXPECT_EQ(state.active.VariableCount(), 9u);
    EXPECT_EQ(Ask(cmd::kQueueCommandPart, {"  sepal_length / 2."}), 0);
    EXPECT_EQ(Column("half").front(), 2.55);
    EXPECT_EQ(Ask(cmd::kQueueCommandPart, {"NO SUCH"}), 0);
    EXPECT_EQ(Ask(cmd::kQueueCommandPart, {""}), engine::kUnknownSyntaxCommand);
    EXPECT_EQ(Ask(cmd::kQueueCommandPart, {"BEGIN PROGRAM TESTLANG."}),
              engine::kUnknownSyntaxCommand);
}

TEST_F(SyntaxCommands, DescribeFilesItsTableAsAClientTableIsFiled) {
    ASSERT_EQ(Submit("DESCRIBE VARIABLES=sepal_length growth_index."), 0);
    // growth_index: values in -999..-900 are user-missing.
    double sum = 0, squares = 0, n = 0, low = 1e300, high = -1e300;
    const std::size_t v = state.active.FindVariable("growth_index");
    for (std::size_t row = 0; row < state.active.CaseCount(); ++row) {
        const double x = std::get<double>(state.active.cell(row, v));
        if (x >= -999 && x <= -900) continue;
        n += 1, sum += x, low = std::min(low, x), high = std::max(high, x);
    }
    const double mean = sum / n;
    for (std::size_t row = 0; row < state.active.CaseCount(); ++row) {
        const double x = std::get<double>(state.active.cell(row, v));
        if (!(x >= -999 && x <= -900)) squares += (x - mean) * (x - mean);
    }
    const std::string cell =
        "/procedure/pivotTable/cell[at[@text='Growth index (petal area)'] and "
        "at[@text='%s']]/@number";
    const auto stat = [&](const std::string& name) {
        std::string expression = cell;
        expression.replace(expression.find("%s"), 2, name);
        const auto found = XPath("Describe", expression);
        return found.size() == 1 ? std::stod(found[0]) : std::nan("");
    };
    EXPECT_EQ(stat("N"), n);
    EXPECT_EQ(stat("Minimum"), low);
    EXPECT_EQ(stat("Maximum"), high);
    EXPECT_NEAR(stat("Mean"), mean, 1e-13 * std::fabs(mean));
    EXPECT_NEAR(stat("Std. Deviation"), std::sqrt(squares / (n - 1)), 1e-13);
    EXPECT_EQ(XPath("Describe",
                    "string(/procedure/pivotTable/cell[at[@text='Valid N (listwise)']]/@number)"),
              std::vector<std::string>{engine::ShortestText(n)});
    EXPECT_EQ(XPath("Describe", "/procedure/pivotTable/@title"),
              std::vector<std::string>{"Descriptive Statistics"});
    // Shown in the variable's format, two more decimals for the mean.
    EXPECT_EQ(XPath("Describe",
                    "string(//cell[at[@text='Sepal length (cm)'] and at[@text='Mean']]/@text)"),
              std::vector<std::string>{"5.843"});
}

TEST_F(SyntaxCommands, TallyShowsLabelsMissingRowsAndTotals) {
    ASSERT_EQ(Submit("TALLY VARIABLES=petal_quality."), 0);
    const auto rows = XPath("Tally", "//dimension[@name='Values']/category/@text");
    EXPECT_EQ(rows,
              (std::vector<std::string>{"poor", "2", "3", "4", "excellent", "Valid total",
                                        "not rated", "not applicable", "Missing total", "Total"}));
    const auto count = [&](const std::string& row, const std::string& column) {
        return XPath("Tally", "string(//cell[at[@text='" + row + "'] and at[@text='" + column +
                                  "']]/@number)");
    };
    EXPECT_EQ(count("poor", "Frequency"), std::vector<std::string>{"28"});
    EXPECT_EQ(count("not applicable", "Frequency"), std::vector<std::string>{"4"});
    EXPECT_EQ(count("Valid total", "Frequency"), std::vector<std::string>{"140"});
    EXPECT_EQ(count("excellent", "Cumulative Percent"), std::vector<std::string>{"100"});
    EXPECT_EQ(count("poor", "Valid Percent"), std::vector<std::string>{"20"});
    EXPECT_EQ(count("Total", "Frequency"), std::vector<std::string>{"150"});
}

TEST_F(SyntaxCommands, CrosscountAddsUpToItsMargins) {
    ASSERT_EQ(Submit("CROSSCOUNT species_code BY petal_quality."), 0);
    const auto count = [&](const std::string& row, const std::string& column) {
        const auto found =
            XPath("Crosscount", "string(//cell[at[@dimension='species_code' and @text='" + row +
                                    "'] and at[@dimension='petal_quality' and @text='" + column +
                                    "']]/@number)");
        return std::stod(found.at(0));
    };
    double total = 0;
    for (const char* row : {"setosa", "versicolor", "virginica"}) {
        double across = 0;
        for (const char* column : {"poor", "2", "3", "4", "excellent"})
            across += count(row, column);
        EXPECT_EQ(count(row, "Total"), across) << row;
        total += across;
    }
    EXPECT_EQ(count("Total", "Total"), total);
    EXPECT_EQ(total, 140);
}

TEST_F(SyntaxCommands, DeriveMakesOrOverwritesANumericVariableAndKeepCasesSubsets) {
    ASSERT_EQ(
        Submit("DERIVE ratio = sepal_length / (petal_width - 0.2).\nDERIVE ratio = ratio * 2."), 0);
    const std::size_t ratio = state.active.FindVariable("ratio");
    ASSERT_LT(ratio, state.active.VariableCount());
    EXPECT_EQ(state.active.variable(ratio).properties.format.Text(), "F8.2");
    EXPECT_EQ(Column("ratio")[0], engine::kSystemMissing);  // petal width 0.2: division by zero
    EXPECT_DOUBLE_EQ(Column("ratio")[50], 2 * 7.0 / (1.4 - 0.2));
    ASSERT_EQ(Submit("KEEP CASES IF species_code = 2 AND NOT MISSING(petal_quality)."), 0);
    EXPECT_EQ(state.active.CaseCount(), 47u);
    for (double code : Column("species_code")) EXPECT_EQ(code, 2);
    // A missing condition counts as false.
    ASSERT_EQ(Submit("KEEP CASES IF petal_quality > 3 OR ratio > 1e9."), 0);
    EXPECT_EQ(state.active.CaseCount(), 18u);
}

TEST_F(SyntaxCommands, ShowCasesWritesATextTable) {
    ASSERT_EQ(
        Submit(
            "KEEP CASES IF VALUE(petal_quality) = 99.\nSHOW CASES VARIABLES=species sepal_length."),
        0);
    const auto text = XPath("Show Cases", "string(/procedure/textBlock)");
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].substr(0, text[0].find('\n', text[0].find('\n') + 1)),
              "Case  species     sepal_length\n   1  setosa" + std::string(15, ' ') + "5.4");
}

TEST_F(SyntaxCommands, EngineCommandsWaitForAClientProcedureToEnd) {
    ASSERT_EQ(Ask(cmd::kStartProcedure, {"Mine"}), 0);
    EXPECT_EQ(Submit("DESCRIBE VARIABLES=sepal_length."), engine::kProcedureAlreadyOpen);
    EXPECT_EQ(Submit("DERIVE fresh = 1."), engine::kActiveDatasetInUse);
    EXPECT_EQ(Submit("DERIVE sepal_length = sepal_length + 1."), 0);
    ASSERT_EQ(Ask(cmd::kEndProcedure), 0);
    // The errors were filed in the procedure that was open.
    EXPECT_EQ(XPath("Mine", "count(/procedure/error)"), std::vector<std::string>{"2"});
}

TEST_F(SyntaxCommands, OnlyTheProgramThatStartedTheEngineDrivesAndStopsIt) {
    for (int depth : {0, 1, 2}) {
        state.callerDepth = depth;
        ASSERT_EQ(Ask(cmd::kIsXDriven), 0);
        EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{depth == 0 ? 1 : 0});
        ASSERT_EQ(Ask(cmd::kGetNestDepth), 0);
        EXPECT_EQ(ReplyInts(), std::vector<std::int32_t>{depth});
    }
    state.callerDepth = 1;
    EXPECT_EQ(Ask(cmd::kStopVexa), engine::kStopNotAllowed);
    EXPECT_FALSE(state.stopRequested);
    state.callerDepth = 0;
    EXPECT_EQ(Ask(cmd::kStopVexa), 0);
    EXPECT_TRUE(state.stopRequested);
}

}  // namespace
