// A small external-driver program: starts the reference engine through the
// library, prints the active dataset's dictionary, builds a pivot table of it
// in a procedure, reads the cases with a read cursor for descriptive
// statistics, creates a dataset in a data step, moves the sample out of the
// engine and back in through bulk transport, and stops the engine, which
// writes its output as a page.
//   vexademo <engine home> <output page path>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "blockdemo.h"
#include "datademo.h"
#include "vexaxd_p.h"

namespace {

const char* OrEmpty(const char* text) { return text ? text : ""; }

std::string TypeText(int type) {
    return type == 0 ? "numeric" : "string(" + std::to_string(type) + ")";
}

void PrintNumericMissing(int index) {
    int format = 0;
    double values[3] = {0, 0, 0};
    if (GetVarNMissingValues(index, &format, &values[0], &values[1], &values[2]) != 0 ||
        format == 0)
        return;
    if (format > 0) {
        std::printf("      missing values:");
        for (int i = 0; i < format && i < 3; ++i) std::printf(" %g", values[i]);
        std::printf("\n");
    } else {
        std::printf("      missing range: %g thru %g", values[0], values[1]);
        if (format == -3) std::printf(", and %g", values[2]);
        std::printf("\n");
    }
}

void PrintStringMissing(int index) {
    int format = 0;
    // Zero-filled 9-byte buffers: an 8-byte value comes without a terminator.
    char values[3][9] = {};
    if (GetVarCMissingValues(index, &format, values[0], values[1], values[2]) != 0 || format <= 0)
        return;
    std::printf("      missing values:");
    for (int i = 0; i < format && i < 3; ++i) std::printf(" '%s'", values[i]);
    std::printf("\n");
}

void PrintValueLabels(int index, bool numeric) {
    int count = 0;
    char** labels = nullptr;
    if (numeric) {
        double* values = nullptr;
        if (GetNValueLabels(index, &values, &labels, &count) != 0) return;
        for (int i = 0; i < count; ++i)
            std::printf("      value %g = \"%s\"\n", values[i], labels[i]);
        FreeNValueLabels(values, labels, count);
    } else {
        char** values = nullptr;
        if (GetCValueLabels(index, &values, &labels, &count) != 0) return;
        for (int i = 0; i < count; ++i)
            std::printf("      value '%s' = \"%s\"\n", values[i], labels[i]);
        FreeCValueLabels(values, labels, count);
    }
}

void PrintDictionary() {
    int err = 0;
    const int variables = GetVariableCount(&err);
    const int cases = GetRowCount(&err);
    std::printf("active dataset: %d variables, %d cases\n", variables, cases);
    for (int index = 0; index < variables; ++index) {
        // Shared strings are replaced by the next call: copy before asking again.
        std::string name = OrEmpty(GetVariableName(index, &err));
        std::string label = OrEmpty(GetVariableLabel(index, &err));
        std::string format = OrEmpty(GetVariableFormat(index, &err));
        const int type = GetVariableType(index, &err);
        std::printf("  %-14s %-10s %-8s \"%s\"\n", name.c_str(), TypeText(type).c_str(),
                    format.c_str(), label.c_str());
        if (type == 0) {
            PrintNumericMissing(index);
        } else {
            PrintStringMissing(index);
        }
        PrintValueLabels(index, type == 0);
    }
    void* sets = GetMultiResponseSetNames(&err);
    for (int i = 0; i < GetStringListLength(sets); ++i) {
        std::printf("  multiple response set %s\n", GetStringFromList(sets, i));
    }
    RemoveStringList(sets);
}

// The table key and the two dimension keys every pivot call repeats.
constexpr const char* kOutline = "Dictionary";
constexpr const char* kTitle = "Variables of the active dataset";
constexpr const char* kSubtype = "Dictionary Summary";
constexpr const char* kRows = "Variables";
constexpr const char* kColumns = "Properties";

int Row(int variable) {
    return AddVarNameCategory(kOutline, kTitle, kSubtype, false, kRows, 0, 0, false, false,
                              variable);
}

int Column(const char* property) {
    return AddStringCategory(kOutline, kTitle, kSubtype, false, kColumns, 1, 0, false, false,
                             property);
}

int TextCell(const std::string& text) {
    return SetStringCell(kOutline, kTitle, kSubtype, false, kColumns, 1, 0, false, false,
                         text.c_str());
}

int CountCell(int count) {
    SetFormatSpecCount();
    return SetNumberCell(kOutline, kTitle, kSubtype, false, kColumns, 1, 0, false, false, count);
}

int ValueLabelCount(int index, bool numeric) {
    int count = 0;
    char** labels = nullptr;
    if (numeric) {
        double* values = nullptr;
        if (GetNValueLabels(index, &values, &labels, &count) != 0) return 0;
        FreeNValueLabels(values, labels, count);
    } else {
        char** values = nullptr;
        if (GetCValueLabels(index, &values, &labels, &count) != 0) return 0;
        FreeCValueLabels(values, labels, count);
    }
    return count;
}

// One row per variable: its type, its format and how many value labels it has.
int BuildDictionaryTable() {
    int failed = StartProcedure("Dictionary summary", "dictionary_summary");
    if (failed) return failed;
    failed = StartPivotTable(kOutline, kTitle, kSubtype, false);
    failed = failed ? failed
                    : AddDimension(kOutline, kTitle, kSubtype, false, kRows, 0, 0, false, false);
    failed = failed ? failed
                    : AddDimension(kOutline, kTitle, kSubtype, false, kColumns, 1, 0, false, false);
    int err = 0;
    for (int index = 0, count = GetVariableCount(&err); index < count && !failed; ++index) {
        const int type = GetVariableType(index, &err);
        std::string format = OrEmpty(GetVariableFormat(index, &err));
        failed = Row(index);
        failed = failed ? failed : Column("Type");
        failed = failed ? failed : TextCell(TypeText(type));
        failed = failed ? failed : Column("Format");
        failed = failed ? failed : TextCell(format);
        failed = failed ? failed : Column("Value labels");
        failed = failed ? failed : CountCell(ValueLabelCount(index, type == 0));
    }
    if (!failed) {
        PivotTableCaption(kOutline, kTitle, kSubtype, false,
                          "Read through the library's dictionary functions");
        AddTextBlock("Dictionary", "About", "Built by vexademo over the bundled sample.", 0);
    }
    int ended = EndProcedure();
    return failed ? failed : ended;
}

// Count, mean, standard deviation, minimum and maximum of one variable's
// valid values (Welford's update, so large means lose no precision).
struct Statistics {
    long count = 0;
    double mean = 0;
    double squares = 0;
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();

    void Add(double value) {
        ++count;
        double delta = value - mean;
        mean += delta / static_cast<double>(count);
        squares += delta * (value - mean);
        minimum = std::min(minimum, value);
        maximum = std::max(maximum, value);
    }
    double StdDev() const {
        return count > 1 ? std::sqrt(squares / static_cast<double>(count - 1)) : 0.0;
    }
};

constexpr const char* kStatsTitle = "Descriptive Statistics";
constexpr const char* kStatsRows = "Variables";
constexpr const char* kStatsColumns = "Statistics";

int StatisticCell(const char* name, double value, bool count) {
    int failed = AddStringCategory(kStatsTitle, kStatsTitle, "Descriptives", false, kStatsColumns,
                                   1, 0, false, false, name);
    if (!failed) failed = count ? SetFormatSpecCount() : SetFormatSpecGeneralStat();
    return failed ? failed
                  : SetNumberCell(kStatsTitle, kStatsTitle, "Descriptives", false, kStatsColumns, 1,
                                  0, false, false, value);
}

// One read-cursor pass over the active dataset, leaving out missing values;
// printed and added to the output as a table.
int Descriptives() {
    int failed = StartProcedure("Descriptives", "descriptives");
    if (failed) return failed;
    int err = 0;
    const int variables = GetVariableCount(&err);
    std::vector<int> numeric;
    for (int index = 0; index < variables; ++index) {
        if (GetVariableType(index, &err) == 0) numeric.push_back(index);
    }
    std::vector<Statistics> statistics(numeric.size());
    failed = MakeCaseCursor("r");
    long cases = 0;
    while (!failed && NextCase() == 0) {
        ++cases;
        for (std::size_t i = 0; i < numeric.size(); ++i) {
            double value = 0;
            int missing = 0;
            if (GetNumericValue(numeric[i], &value, &missing) == 0 && missing == 0)
                statistics[i].Add(value);
        }
    }
    RemoveCaseCursor();
    std::printf("descriptive statistics over %ld cases (missing values left out):\n", cases);
    std::printf("  %-14s %6s %10s %10s %10s %10s\n", "variable", "N", "mean", "std dev", "minimum",
                "maximum");
    if (!failed) failed = StartPivotTable(kStatsTitle, kStatsTitle, "Descriptives", false);
    if (!failed)
        failed = AddDimension(kStatsTitle, kStatsTitle, "Descriptives", false, kStatsRows, 0, 0,
                              false, false);
    if (!failed) {
        failed = AddDimension(kStatsTitle, kStatsTitle, "Descriptives", false, kStatsColumns, 1, 0,
                              false, false);
    }
    for (std::size_t i = 0; i < numeric.size() && !failed; ++i) {
        const Statistics& s = statistics[i];
        std::string name = OrEmpty(GetVariableName(numeric[i], &err));
        std::printf("  %-14s %6ld %10.3f %10.3f %10.3f %10.3f\n", name.c_str(), s.count, s.mean,
                    s.StdDev(), s.minimum, s.maximum);
        failed = AddVarNameCategory(kStatsTitle, kStatsTitle, "Descriptives", false, kStatsRows, 0,
                                    0, false, false, numeric[i]);
        if (!failed) failed = StatisticCell("N", static_cast<double>(s.count), true);
        if (!failed) failed = StatisticCell("Mean", s.mean, false);
        if (!failed) failed = StatisticCell("Std. Deviation", s.StdDev(), false);
        if (!failed) failed = StatisticCell("Minimum", s.minimum, false);
        if (!failed) failed = StatisticCell("Maximum", s.maximum, false);
    }
    int ended = EndProcedure();
    return failed ? failed : ended;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <engine home> <output page path>\n", argv[0]);
        return 2;
    }
    const std::string outputLog = std::string(argv[2]) + ".log";
    std::remove(outputLog.c_str());
    const std::string arguments = std::string("-vexahome=") + argv[1] + ", -outputhtml=" + argv[2] +
                                  " -outputlog=" + outputLog;
    int started = StartVexa(arguments.c_str());
    std::printf("StartVexa: %d\n", started);
    if (started != 0) return 1;
    std::printf("ready: %s\n", IsBackendReady() ? "yes" : "no");
    std::printf("driven by this program: %s\n", IsXDriven() ? "yes" : "no");
    PrintDictionary();
    int err = 0;
    GetVariableCount(&err);
    const int built = BuildDictionaryTable();
    std::printf("pivot table built: %d\n", built);
    const int described = Descriptives();
    std::printf("descriptives: %d\n", described);
    const int stepped = demo::DataStep();
    const int transported = demo::BulkTransport();
    const int blocked = demo::ProgramBlock(outputLog);
    StopVexa();
    std::printf("stopped; ready: %s\n", IsBackendReady() ? "yes" : "no");
    std::printf("output page: %s\n", argv[2]);
    return err == 0 && built == 0 && described == 0 && stepped == 0 && transported == 0 &&
                   blocked == 0
               ? 0
               : 1;
}
