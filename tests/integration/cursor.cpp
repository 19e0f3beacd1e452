// An external program walking the real engine's bundled sample through a
// read cursor, comparing every value and missing flag with the data file,
// then adding a variable with a value per case and a new case through a
// write cursor and finding both in the dictionary afterwards.
//   integration_cursor <engine home> <sample data file>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vexaxd_p.h"

namespace {

int g_failures = 0;

void Check(bool condition, const std::string& what) {
    std::printf("%s %s\n", condition ? "ok  " : "FAIL", what.c_str());
    if (!condition) ++g_failures;
}

constexpr int kVariables = 9;
constexpr int kSpecies = 4;
constexpr int kSpeciesWidth = 10;

using Row = std::vector<std::string>;

std::vector<Row> ReadRows(const std::string& path) {
    std::ifstream file(path);
    std::vector<Row> rows;
    std::string line;
    std::getline(file, line);  // the header
    while (std::getline(file, line)) {
        if (line.empty()) continue;
        Row row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}

// The flag the dictionary's missing values give each column of the sample.
int ExpectedMissing(int column, const std::string& field) {
    if (column == kSpecies) return field == "unknown" ? 1 : 0;
    const double x = std::strtod(field.c_str(), nullptr);
    switch (column) {
        case 6:
            return x == 9 || x == 99 ? 1 : 0;
        case 7:
            return x >= -999 && x <= -900 ? 1 : 0;
        case 8:
            return (x >= 90 && x <= 99) || x == 0 ? 1 : 0;
        default:
            return 0;
    }
}

// Every value of the current case against `row`; the first difference is
// reported.
bool CaseMatches(const Row& row, int caseNumber, int& userMissing) {
    for (int column = 0; column < kVariables; ++column) {
        int missing = -1;
        bool same = false;
        if (column == kSpecies) {
            char text[kSpeciesWidth + 1] = {};
            char* buffer = text;
            same = GetStringValue(column, &buffer, kSpeciesWidth, &missing) == 0;
            std::string value(text);
            value.erase(value.find_last_not_of(' ') + 1);
            same = same && value == row[static_cast<std::size_t>(column)];
        } else {
            double value = 0;
            same = GetNumericValue(column, &value, &missing) == 0 &&
                   value == std::strtod(row[static_cast<std::size_t>(column)].c_str(), nullptr);
        }
        const int expected = ExpectedMissing(column, row[static_cast<std::size_t>(column)]);
        if (!same || missing != expected) {
            std::printf("     case %d variable %d: value or missing flag %d differs\n", caseNumber,
                        column, missing);
            return false;
        }
        userMissing += missing;
    }
    return true;
}

void ReadEveryCase(const std::vector<Row>& rows) {
    Check(StartProcedure("Cursor pass", nullptr) == 0, "StartProcedure");
    Check(MakeCaseCursor("r") == 0, "a read cursor");
    int flag = -1;
    Check(HasCursor(&flag) == 0 && flag == 1, "the engine holds a cursor");
    int cases = 0;
    int userMissing = 0;
    bool matches = true;
    int last = 0;
    while ((last = NextCase()) == 0) {
        if (cases < static_cast<int>(rows.size())) {
            matches =
                CaseMatches(rows[static_cast<std::size_t>(cases)], cases, userMissing) && matches;
        }
        ++cases;
    }
    Check(cases == static_cast<int>(rows.size()),
          "every case of the data file, " + std::to_string(cases));
    Check(last == 23, "the pass ends with 23, got " + std::to_string(last));
    Check(matches, "every value and missing flag as in the data file");
    Check(userMissing > 0, "user-missing values were met");
    double value = 0;
    int missing = 0;
    Check(GetNumericValue(kSpecies, &value, &missing) == VEXA_CURSOR_WRONG_TYPE,
          "a string read as a number");
    Check(RemoveCaseCursor() == 0, "RemoveCaseCursor");
    Check(EndProcedure() == 0, "EndProcedure");
}

void WriteNewVariableAndCase(int rowCount) {
    Check(StartProcedure("Cursor write", nullptr) == 0, "StartProcedure for writing");
    Check(MakeCaseCursor("w") == 0, "a write cursor");
    Check(SetOneVarNameAndType("petal_ratio", 0) == 0, "a new numeric variable");
    Check(SetVarLabel("petal_ratio", "Petal length by width") == 0, "its label");
    Check(CommitHeader() == 0, "CommitHeader");
    int cases = 0;
    bool committed = true;
    int last = 0;
    while ((last = NextCase()) == 0) {
        double length = 0, width = 0;
        int missing = 0;
        committed = GetNumericValue(2, &length, &missing) == 0 &&
                    GetNumericValue(3, &width, &missing) == 0 &&
                    SetValueNumeric("petal_ratio", length / width) == 0 &&
                    CommitCaseRecord() == 0 && committed;
        ++cases;
    }
    Check(cases == rowCount && last == 23, "the write cursor visits every case once");
    Check(committed, "a value committed for each case");
    Check(SetValueNumeric("sepal_length", 7.5) == 0 &&
              SetValueChar("species", "hybridXXXX", 6) == 0 &&
              SetValueNumeric("petal_ratio", 1) == 0 && CommitNewCase() == 0,
          "a new case");
    Check(EndChanges() == 0, "EndChanges");
    int err = -1;
    Check(GetVariableCount(&err) == kVariables + 1 && err == 0, "one variable more");
    const char* name = GetVariableName(kVariables, &err);
    Check(name && std::string(name) == "petal_ratio", "the new variable is the last");
    Check(GetRowCount(&err) == rowCount + 1, "one case more");
    Check(RemoveCaseCursor() == 0 && EndProcedure() == 0, "the procedure ends");
}

void ReadBack(int rowCount) {
    Check(StartProcedure("Read back", nullptr) == 0, "StartProcedure for reading back");
    Check(MakeCaseCursor("r") == 0, "a read cursor over the changed data");
    int cases = 0;
    bool ratios = true;
    double ratio = 0;
    int missing = 0;
    while (NextCase() == 0) {
        double length = 0, width = 0;
        GetNumericValue(2, &length, &missing);
        GetNumericValue(3, &width, &missing);
        const bool read = GetNumericValue(kVariables, &ratio, &missing) == 0;
        if (cases < rowCount) ratios = ratios && read && ratio == length / width;
        ++cases;
    }
    Check(cases == rowCount + 1, "the new case is read too");
    Check(ratios, "the ratios committed are in the cases");
    char text[kSpeciesWidth] = {};
    char* buffer = text;
    Check(GetStringValue(kSpecies, &buffer, kSpeciesWidth, &missing) == VEXA_NO_CACHE_DATA,
          "no current case after the pass");
    Check(ResetDataPass() == 0 && EndProcedure() == 0, "ResetDataPass and EndProcedure");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <engine home> <sample data file>\n", argv[0]);
        return 2;
    }
    const std::vector<Row> rows = ReadRows(argv[2]);
    if (rows.size() != 150) {
        std::printf("FAIL the data file has %zu cases\n", rows.size());
        return 1;
    }
    const std::string arguments = std::string("-vexahome=") + argv[1];
    if (StartVexa(arguments.c_str()) != 0) {
        std::printf("FAIL StartVexa\n");
        return 1;
    }
    ReadEveryCase(rows);
    WriteNewVariableAndCase(static_cast<int>(rows.size()));
    ReadBack(static_cast<int>(rows.size()));
    StopVexa();
    return g_failures == 0 ? 0 : 1;
}
