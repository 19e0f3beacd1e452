// An external program reading the bundled sample's dictionary through the
// library, submitting commands and posting output, against the real engine.
//   integration_dictionary <engine home> <output log path>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
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

std::string Text(const char* text) { return text ? text : "(null)"; }

int IndexOf(const std::string& name) {
    int err = 0;
    for (int i = 0, n = GetVariableCount(&err); i < n; ++i) {
        if (Text(GetVariableName(i, &err)) == name) return i;
    }
    return -1;
}

std::vector<std::string> Strings(char** texts, int count) { return {texts, texts + count}; }

std::vector<std::string> ListItems(void* list) {
    std::vector<std::string> items;
    for (int i = 0; i < GetStringListLength(list); ++i)
        items.emplace_back(GetStringFromList(list, i));
    RemoveStringList(list);
    return items;
}

void CheckVariables() {
    int err = -1;
    Check(GetVariableCount(&err) == 9 && err == 0, "9 variables");
    Check(GetRowCount(&err) == 150 && err == 0, "150 cases");
    Check(Text(GetVariableName(0, &err)) == "sepal_length", "first name");
    Check(Text(GetVariableLabel(0, &err)) == "Sepal length (cm)", "first label");
    Check(Text(GetVariableFormat(0, &err)) == "F8.1", "first format");
    const int species = IndexOf("species");
    Check(species == 4, "species is the fifth variable");
    Check(GetVariableType(species, &err) == 10 && err == 0, "species is a string of width 10");
    Check(GetVariableType(0, &err) == 0, "sepal_length is numeric");
    Check(GetVariableMeasurementLevel(species, &err) == 1, "species nominal");
    Check(GetVariableMeasurementLevel(0, &err) == 3, "sepal_length scale");
    Check(GetVariableRole(species, &err) == 1, "species is a target");
    int type = 0, width = 0, decimals = -1;
    Check(GetVariableFormatType(0, &type, &width, &decimals) == 0 && type == 5 && width == 8 &&
              decimals == 1,
          "format type F8.1 as codes");
    Check(GetVariableName(99, &err) == nullptr && err != 0,
          "a position past the end is an engine error");
    Check(
        Text(GetVariableLabel(IndexOf("flower_count"), &err)) == "Flowers on the \"sampled\" stem",
        "quoted label");
}

void CheckMissingValues() {
    int format = 0;
    double values[3] = {0, 0, 0};
    Check(GetVarNMissingValues(IndexOf("petal_quality"), &format, &values[0], &values[1],
                               &values[2]) == 0 &&
              format == 2 && values[0] == 9 && values[1] == 99,
          "petal_quality: discrete 9 and 99");
    Check(GetVarNMissingValues(IndexOf("growth_index"), &format, &values[0], &values[1],
                               &values[2]) == 0 &&
              format == -2 && values[0] == -999 && values[1] == -900,
          "growth_index: range -999 to -900");
    Check(GetVarNMissingValues(IndexOf("flower_count"), &format, &values[0], &values[1],
                               &values[2]) == 0 &&
              format == -3 && values[0] == 90 && values[1] == 99 && values[2] == 0,
          "flower_count: range 90 to 99 and 0");
    char buffers[3][9] = {};
    Check(GetVarCMissingValues(IndexOf("species"), &format, buffers[0], buffers[1], buffers[2]) ==
                  0 &&
              format == 1 && std::string(buffers[0]) == "unknown ",
          "species: 'unknown' padded to 8 bytes");
}

void CheckValueLabels() {
    double* values = nullptr;
    char** labels = nullptr;
    int count = 0;
    Check(GetNValueLabels(IndexOf("species_code"), &values, &labels, &count) == 0 && count == 3 &&
              values[1] == 2 && std::string(labels[1]) == "versicolor",
          "numeric value labels of species_code");
    FreeNValueLabels(values, labels, count);
    char** codes = nullptr;
    Check(GetCValueLabels(IndexOf("species"), &codes, &labels, &count) == 0 && count == 3 &&
              Strings(codes, 3) == std::vector<std::string>{"setosa", "versicolor", "virginica"} &&
              std::string(labels[2]) == "Iris virginica",
          "string value labels of species");
    FreeCValueLabels(codes, labels, count);
    values = nullptr;
    Check(GetNValueLabels(0, &values, &labels, &count) == 0 && count == 0 && values == nullptr,
          "no value labels: count 0, nothing allocated");
}

void CheckAttributes() {
    char** names = nullptr;
    int count = 0;
    const int species = IndexOf("species");
    Check(GetVarAttributeNames(species, &names, &count) == 0 && count == 1 &&
              std::string(names[0]) == "Source",
          "attribute names of species");
    FreeAttributeNames(names, count);
    Check(GetVarAttributes(species, "Source", &names, &count) == 0 &&
              Strings(names, count) == std::vector<std::string>{"field notes", "herbarium sheets"},
          "two attribute values");
    FreeAttributes(names, count);
    Check(GetDataFileAttributeNames(&names, &count) == 0 && count == 2, "two data file attributes");
    FreeAttributeNames(names, count);
    Check(GetDataFileAttributes("Notes", &names, &count) == 0 && count == 2 &&
              std::string(names[1]) == "Codes 9 and 99 mark unrated petals",
          "data file attribute values");
    FreeAttributes(names, count);
}

void CheckSetsWeightSplit() {
    int err = -1;
    Check(
        ListItems(GetMultiResponseSetNames(&err)) == std::vector<std::string>{"$sizes", "$codes"} &&
            err == 0,
        "two multiple response sets");
    char* label = nullptr;
    char* counted = nullptr;
    int kind = 0, second = -1;
    void* members = nullptr;
    GetMultiResponseSet("$codes", &label, &kind, &counted, &second, &members, &err);
    Check(err == 0 && Text(label) == "Coded flower traits" && kind == 2 && Text(counted) == "1" &&
              second == 1 &&
              ListItems(members) == std::vector<std::string>{"species_code", "petal_quality"},
          "the set's label, kind and members");
    FreeString(label);
    FreeString(counted);
    Check(Text(GetWeightVar(&err)) == "" && err == 0, "no weight variable");
    Check(ListItems(GetSplitVariableNames(&err)).empty() && err == 0, "no split variables");
    double sysmis = 0, low = 0, high = 0;
    Check(GetSystemMissingValue(&sysmis) == 0 && sysmis == std::numeric_limits<double>::lowest(),
          "system-missing is the lowest finite double");
    Check(GetVEXALowHigh(&low, &high) == 0 && low == std::numeric_limits<double>::lowest() &&
              high == std::numeric_limits<double>::max(),
          "low and high markers");
    Check(ValidateVarName("height") == 0, "a valid name");
    Check(ValidateVarName("1st") == 3, "a name starting with a digit");
    Check(ValidateVarName("WITH") == 5, "a reserved word");
}

void CheckProcedureDataset() {
    int err = 0;
    Check(GetVariableCountInProcDS(&err) == 0 && err != 0, "no procedure open: an engine error");
    Check(Text(GetVariableNameInProcDS(0, &err)) == "" && err != 0,
          "no procedure open: an empty name");
    Check(StartProcedure("Demo", nullptr) == 0 && HasProcedure() == 1, "a procedure opens");
    Check(GetVariableCountInProcDS(&err) == 9 && GetRowCountInProcDS(&err) == 150,
          "procedure dataset sizes");
    Check(Text(GetVariableNameInProcDS(4, &err)) == "species" &&
              GetVariableTypeInProcDS(4, &err) == 10,
          "procedure dataset variable");
    Check(Text(GetVariableLabelInProcDS(4, &err)) == "Iris species" &&
              Text(GetVariableFormatInProcDS(4, &err)) == "A10",
          "procedure dataset label and format");
    Check(
        GetVariableMeasurementLevelInProcDS(6, &err) == 2 && GetVariableRoleInProcDS(5, &err) == 2,
        "procedure dataset level and role");
    int format = 0;
    double values[3] = {0, 0, 0};
    Check(GetVarNMissingValuesInProcDS(6, &format, &values[0], &values[1], &values[2]) == 0 &&
              format == 2,
          "procedure dataset missing values");
    char** names = nullptr;
    int count = 0;
    Check(GetDataFileAttributesInProcDS("Source", &names, &count) == 0 && count == 1,
          "procedure file attribute");
    FreeAttributes(names, count);
    Check(ListItems(GetMultiResponseSetNamesInProcDS(&err)).size() == 2, "procedure dataset sets");
    int type = 0, width = 0, decimals = 0;
    Check(GetVariableFormatTypeInProcDS(7, &type, &width, &decimals) == 0 && type == 5 &&
              width == 8 && decimals == 2,
          "procedure dataset format type");
    char buffers[3][9] = {};
    Check(GetVarCMissingValuesInProcDS(4, &format, buffers[0], buffers[1], buffers[2]) == 0 &&
              format == 1 && std::string(buffers[0]) == "unknown ",
          "procedure dataset string missing value");
    Check(GetVarAttributeNamesInProcDS(6, &names, &count) == 0 && count == 1 &&
              std::string(names[0]) == "Scale",
          "procedure dataset attribute names");
    FreeAttributeNames(names, count);
    Check(GetVarAttributesInProcDS(6, "Scale", &names, &count) == 0 && count == 1 &&
              std::string(names[0]) == "1 to 5",
          "procedure dataset attribute values");
    FreeAttributes(names, count);
    Check(GetDataFileAttributeNamesInProcDS(&names, &count) == 0 && count == 2,
          "procedure file attribute names");
    FreeAttributeNames(names, count);
    char* label = nullptr;
    char* counted = nullptr;
    int kind = 0, second = 0;
    void* members = nullptr;
    GetMultiResponseSetInProcDS("$sizes", &label, &kind, &counted, &second, &members, &err);
    Check(err == 0 && kind == 1 && ListItems(members).size() == 4,
          "procedure dataset set of four measurements");
    FreeString(label);
    FreeString(counted);
    Check(EndProcedure() == 0 && HasProcedure() == 0, "the procedure closes");
    Check(EndProcedure() != 0, "closing again is an engine error");
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

void CheckSubmission(const std::string& logPath) {
    int err = -1;
    Check(GetVexaOutputWidth(&err) == 80 && err == 0, "output width 80");
    const std::string setWidth = "SET WIDTH=120.";
    Check(Submit(setWidth.data(), static_cast<int>(setWidth.size())) == 0, "SET WIDTH submitted");
    Check(GetVexaOutputWidth(&err) == 120, "output width follows SET WIDTH");
    Check(QueueCommandPart("SET OLANG=", 10) == 0 && QueueCommandPart("French.", 7) == 0,
          "two command parts");
    Check(Text(GetOutputLanguage(&err)) == "French", "the queued command took effect");
    SetOutputLanguage("English", &err);
    Check(err == 0 && Text(GetOutputLanguage(&err)) == "English", "SetOutputLanguage");
    Check(PostVexaOutput("posted text", 11) == 0, "PostVexaOutput");
    GetGraphic("/tmp/chart.png");
    Check(SetGraphicsLabel("first", "second") == 0, "SetGraphicsLabel");
    // The record-browser copy converts only while the engine says UTF-8.
    const std::string copyPath = logPath + ".records";
    std::remove(copyPath.c_str());
    auto upper = [](const char* source, int length, char* destination, int) {
        for (int i = 0; i < length; ++i)
            destination[i] = static_cast<char>(std::toupper(source[i]));
        return 0;
    };
    SetRecordBrowserOutput(copyPath.c_str(), true);
    RecordBrowserOutput("utf8 ", 5, upper);
    Check(Submit("SET UNICODE=OFF.", 16) == 0 && IsUTF8mode() == 0, "SET UNICODE=OFF");
    RecordBrowserOutput("plain", 5, upper);
    SetRecordBrowserOutput(nullptr, false);
    Check(ReadFile(copyPath) == "UTF8 plain", "record copy converted only in UTF-8 mode");
    std::remove(copyPath.c_str());
    const std::string log = ReadFile(logPath);
    for (const char* entry :
         {"SET WIDTH=120.", "SET OLANG=", "French.", "posted text", "/tmp/chart.png", "first"}) {
        Check(log.find(entry) != std::string::npos, std::string("the output log holds ") + entry);
    }
    Check(log.find("SET WIDTH=120.") < log.find("posted text"), "the output log keeps the order");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <engine home> <output log path>\n", argv[0]);
        return 2;
    }
    std::remove(argv[2]);
    const std::string arguments = std::string("-vexahome=") + argv[1] + ", -outputlog=" + argv[2];
    if (StartVexa(arguments.c_str()) != 0) {
        std::printf("FAIL StartVexa\n");
        return 1;
    }
    CheckVariables();
    CheckMissingValues();
    CheckValueLabels();
    CheckAttributes();
    CheckSetsWeightSplit();
    CheckProcedureDataset();
    CheckSubmission(argv[2]);
    StopVexa();
    std::remove(argv[2]);
    return g_failures == 0 ? 0 : 1;
}
