// DESCRIBE, TALLY and CROSSCOUNT against R on the same data: the bundled
// sample (its user-missing values as missing) and R's airquality (NA as
// system-missing), unweighted and weighted, whole and split, to 1e-12
// relative. R writes its figures (reference/summaries.R); every line of them
// must be found in the engine's table and agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "codec/protocol.h"
#include "csvreader.h"
#include "dictionaryreader.h"
#include "enginereplies.h"
#include "platform/process.h"
#include "shownvalues.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '|');) fields.push_back(field);
    return fields;
}

bool CategoryIs(const engine::Category& category, const std::string& wanted) {
    const engine::ShownValue& value = category.value;
    if (value.kind == engine::ShownValue::Kind::kVariableName) return value.variableName == wanted;
    if (value.kind == engine::ShownValue::Kind::kVariableValue && value.number) {
        return engine::ShortestText(*value.number) == wanted;
    }
    return value.text == wanted;
}

// The number of the cell at these category texts, one per dimension.
std::optional<double> CellNumber(engine::PivotTable& table,
                                 const std::vector<std::string>& categories) {
    if (categories.size() != table.dimensions.size()) return std::nullopt;
    std::vector<std::size_t> at;
    for (std::size_t d = 0; d < categories.size(); ++d) {
        const auto& all = table.dimensions[d].categories;
        std::size_t i = 0;
        while (i < all.size() && !CategoryIs(all[i], categories[d])) ++i;
        if (i == all.size()) return std::nullopt;
        at.push_back(i);
    }
    const engine::Cell* cell = table.FindCell(at);
    if (!cell || !cell->value.number) return std::nullopt;
    return *cell->value.number;
}

class SummariesAgainstR : public enginetest::EngineReplies {
  protected:
    static void SetUpTestSuite() {
        directory = fs::temp_directory_path() /
                    ("vexa-rcheck-" + std::to_string(platform::CurrentProcessId()));
        fs::create_directories(directory);
        const std::string command =
            "Rscript --vanilla '" VEXA_REFERENCE_SCRIPT "' '" VEXA_ENGINE_DATA_FILE "' '" +
            directory.string() + "' > '" + (directory / "r.log").string() + "' 2>&1";
        rStatus = std::system(command.c_str());
    }
    static void TearDownTestSuite() { fs::remove_all(directory); }

    void SetUp() override {
        if (rStatus != 0) GTEST_SKIP() << "Rscript did not run (status " << rStatus << ")";
    }

    void Load(bool iris) {
        std::string error;
        const std::string path =
            iris ? VEXA_ENGINE_DATA_FILE : (directory / "airquality.csv").string();
        ASSERT_TRUE(engine::ReadCsvFile(path, state.active, error)) << error;
        if (iris) {
            ASSERT_TRUE(engine::ReadDictionaryFileIfPresent(VEXA_ENGINE_DICTIONARY_FILE,
                                                            state.active, error))
                << error;
        }
    }

    // The procedure `back` places from the end.
    engine::Procedure& Procedure(std::size_t back) {
        const auto& all = state.output.procedures();
        return const_cast<engine::Procedure&>(all.at(all.size() - back));
    }

    engine::PivotTable* TableTitled(engine::Procedure& procedure, const std::string& title) {
        for (auto& table : procedure.tables) {
            if (table.key.title == title) return &table;
        }
        return nullptr;
    }

    // Runs the three commands and checks every figure R wrote for the scenario.
    void Check(const std::string& scenario, const std::string& describe,
               const std::vector<std::string>& tally, const std::string& cross,
               const std::vector<std::string>& tallyTitles) {
        std::string tallied = "TALLY VARIABLES=";
        for (const auto& name : tally) tallied += name + " ";
        ASSERT_EQ(Ask(cmd::kSubmit, {"DESCRIBE VARIABLES=" + describe + ".\n" + tallied +
                                     ".\nCROSSCOUNT " + cross + "."}),
                  0);
        engine::PivotTable& described = Procedure(3).tables.at(0);
        engine::Procedure& tallies = Procedure(2);
        engine::PivotTable& crossed = Procedure(1).tables.at(0);

        std::ifstream figures(directory / (scenario + ".txt"));
        ASSERT_TRUE(figures) << scenario;
        int checked = 0;
        for (std::string line; std::getline(figures, line);) {
            std::vector<std::string> f = Fields(line);
            std::vector<std::string> at;
            if (f[1] != "-") at.push_back(f[1]);
            engine::PivotTable* table = nullptr;
            if (f[0] == "D") {
                table = &described;
                at.insert(at.end(), {f[2], f[3]});
            } else if (f[0] == "L") {
                table = &described;
                at.insert(at.end(), {"Valid N (listwise)", "N"});
            } else if (f[0] == "T") {
                const auto which = std::find(tally.begin(), tally.end(), f[2]) - tally.begin();
                table = TableTitled(tallies, tallyTitles.at(static_cast<std::size_t>(which)));
                at.insert(at.end(), {f[3], f[4]});
            } else {
                table = &crossed;
                at.insert(at.end(), {f[2], f[3]});
            }
            ASSERT_NE(table, nullptr) << line;
            const double expected = std::strtod(f.back().c_str(), nullptr);
            const auto actual = CellNumber(*table, at);
            ASSERT_TRUE(actual.has_value()) << scenario << ": no cell for " << line;
            EXPECT_LE(std::fabs(*actual - expected), 1e-12 * std::fabs(expected))
                << scenario << ": " << line;
            ++checked;
        }
        EXPECT_GT(checked, 40) << scenario;
    }

    void Weigh(bool weighted, const char* weight) {
        state.active.file().weight = weighted ? weight : "";
    }
    void Split(bool split, const char* variable) {
        state.active.file().split.clear();
        if (split) state.active.file().split.push_back(variable);
    }

    static inline fs::path directory;
    static inline int rStatus = -1;
};

TEST_F(SummariesAgainstR, TheBundledSampleAgreesWeightedOrNotWholeOrSplit) {
    Load(true);
    for (bool weighted : {false, true}) {
        for (bool split : {false, true}) {
            Weigh(weighted, "sepal_width");
            Split(split, "species_code");
            Check(std::string("iris-") + (weighted ? "weighted" : "plain") + "-" +
                      (split ? "split" : "whole"),
                  "sepal_length sepal_width petal_length petal_width growth_index flower_count",
                  {"petal_quality", "species_code"}, "species_code BY petal_quality",
                  {"Petal quality rating", "Species code"});
        }
    }
}

TEST_F(SummariesAgainstR, AirqualityAgreesWithItsNAsAsSystemMissing) {
    Load(false);
    for (bool weighted : {false, true}) {
        for (bool split : {false, true}) {
            Weigh(weighted, "w");
            Split(split, "Month");
            Check(std::string("air-") + (weighted ? "weighted" : "plain") + "-" +
                      (split ? "split" : "whole"),
                  "Ozone Solar.R Wind Temp", {"Ozone", "Month"}, "Month BY windy",
                  {"Ozone", "Month"});
        }
    }
}

}  // namespace
