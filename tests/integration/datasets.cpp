// An external program working with named datasets of the real engine: a data
// step that creates a dataset, gives it a numeric and a string variable and
// cases, writes cells of both types, reads them back through the batch and
// ends, after which the engine holds exactly those values; a copy, a rename
// and a close with the library's open-dataset rules.
//   integration_datasets <engine home>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vexaxd_p.h"

namespace {

int g_failures = 0;

void Check(bool condition, const std::string& what) {
    std::printf("%s %s\n", condition ? "ok  " : "FAIL", what.c_str());
    if (!condition) ++g_failures;
}

// More rows than one batch holds, so that the pass crosses batches.
constexpr int kRows = 10000;
constexpr int kTextWidth = 12;

double NumberOf(int row) { return row * 1.25 - 100.0; }
std::string TextOf(int row) { return std::string(1, 'r').append(std::to_string(row * 7)); }

std::string Owned(char* text) {
    std::string copy = text ? text : "<null>";
    if (text) FreeString(text);
    return copy;
}

std::vector<std::string> Names(int (*list)(char***, int*)) {
    char** names = nullptr;
    int count = 0;
    std::vector<std::string> result;
    if (list(&names, &count) != 0) return {"<failed>"};
    for (int i = 0; i < count; ++i) result.push_back(names[i]);
    if (count > 0) FreeStringArray(names, count);
    return result;
}

bool Lists(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& each : names) {
        if (each == name) return true;
    }
    return false;
}

void DataStepWritesAndReadsBack() {
    Check(SetNCellValue("made", 0, 0, 1.0) == 89, "a cell write outside a data step is 89");
    Check(StartDataStep() == 0, "StartDataStep");
    Check(CreateDataset("made", false, false) == 0, "CreateDataset made");
    Check(InsertVariable("made", 0, "amount", 0) == 0, "InsertVariable amount (numeric)");
    Check(InsertVariable("made", 1, "label", kTextWidth) == 0, "InsertVariable label (string)");
    int failures = 0;
    for (int row = 0; row < kRows; ++row) failures += InsertCase("made", row) != 0;
    Check(failures == 0, "InsertCase for every row");
    Check(SetNCellValue("made", kRows, 0, 1.0) == 97, "a row past the last is 97");
    Check(SetNCellValue("made", 0, 2, 1.0) == 10, "a variable past the last is 10");
    for (int row = 0; row < kRows; ++row) {
        // The last row stays system-missing.
        if (row + 1 < kRows) failures += SetNCellValue("made", row, 0, NumberOf(row)) != 0;
        failures += SetCCellValue("made", row, 1, TextOf(row).c_str()) != 0;
    }
    Check(failures == 0, "queued writes of both types");

    int err = -1;
    int missing = -1;
    // The read commits the queue first.
    Check(GetNCellValueOptimize("made", 3, 0, &missing, &err) == NumberOf(3) && err == 0 &&
              missing == 0,
          "an Optimize read sees a queued write");
    int numberFailures = 0, textFailures = 0;
    for (int row = 0; row < kRows; ++row) {
        const double number = GetNCellValueOptimize("made", row, 0, &missing, &err);
        if (row + 1 < kRows) {
            numberFailures += err != 0 || missing != 0 || number != NumberOf(row);
        } else {
            numberFailures += err != 0 || missing != 2;
        }
        textFailures +=
            Owned(GetCCellValueOptimize("made", row, 1, &missing, &err)) != TextOf(row) || err != 0;
    }
    Check(numberFailures == 0, "every number read back through the batch");
    Check(textFailures == 0, "every text read back through the batch");
    int first = -1, last = -1, third = -1;
    GetRowList("made", kRows - 1, 0, &first, &last, &third, &err);
    Check(err == 0 && first <= kRows - 1 && last == kRows - 1 && first > 0,
          "the last batch ends at the last row");
    Check(Lists(Names(GetDatastepDatasets), "made"), "the step lists made");
    Check(EndDataStep() == 0, "EndDataStep");
    Check(SetNCellValue("made", 0, 0, 1.0) == 89, "after the step a write is 89 again");

    // Outside the step the engine answers from what it holds.
    Check(GetCaseCountInDS("made", &err) == kRows && err == 0, "the engine holds every case");
    Check(GetVarCountInDS("made", &err) == 2, "and both variables");
    Check(std::string(GetVarNameInDS("made", 1, &err)) == "label", "the string variable's name");
    Check(GetVarTypeInDS("made", 1, &err) == kTextWidth, "the string variable's width");
    int cellFailures = 0;
    for (int row = 0; row + 1 < kRows; row += 97) {
        cellFailures += GetNCellValue("made", row, 0, &missing, &err) != NumberOf(row) || err != 0;
        const char* text = GetCCellValue("made", row, 1, &missing, &err);
        cellFailures += !text || text != TextOf(row);
    }
    Check(cellFailures == 0, "single-cell reads agree with the writes");
}

void CopyRenameClose() {
    int err = 0;
    Check(StartDataStep() == 0, "a second StartDataStep");
    Check(CopyDataset("made", "copied") == 0, "CopyDataset made -> copied");
    Check(GetCaseCountInDS("copied", &err) == kRows, "the copy has every case");
    Check(CreateDataset("renamed", false, false) == 0, "CreateDataset renamed");
    Check(InsertVariable("renamed", 0, "v", 0) == 0 && InsertCase("renamed", 0) == 0,
          "a variable and a case");
    Check(SetDatasetName("renamed", "other") == 0, "SetDatasetName renamed -> other");
    Check(SetNCellValue("other", 0, 0, 5.0) == 87, "a write under the new name is 87");
    Check(SetNCellValue("renamed", 0, 0, 5.0) == 0, "the old name is still the library's");
    Check(Lists(Names(GetVexaDatasets), "other") && !Lists(Names(GetVexaDatasets), "renamed"),
          "the engine lists the new name only");
    // Committed under the old name, which the engine no longer knows.
    Check(CommitDataSet() != 0, "the engine refuses the write under the old name");
    Check(CloseDataset("copied") == 0, "CloseDataset copied");
    Check(!Lists(Names(GetVexaDatasets), "copied"), "copied is gone");
    Check(EndDataStep() == 0, "EndDataStep");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: integration_datasets <engine home>\n");
        return 2;
    }
    const std::string arguments = std::string("-vexahome=") + argv[1];
    if (StartVexa(arguments.c_str()) != 0) {
        std::printf("FAIL StartVexa\n");
        return 1;
    }
    DataStepWritesAndReadsBack();
    CopyRenameClose();
    StopVexa();
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
