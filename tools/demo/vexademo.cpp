// A small external-driver program: starts the reference engine through the
// library, prints the active dataset's dictionary and stops it.
//   vexademo <engine home>
#include <cstdio>
#include <string>

#include "vexaxd_p.h"

namespace {

const char* OrEmpty(const char* text) { return text ? text : ""; }

std::string TypeText(int type) { return type == 0 ? "numeric" : "string(" + std::to_string(type) + ")"; }

void PrintNumericMissing(int index) {
    int format = 0;
    double values[3] = {0, 0, 0};
    if (GetVarNMissingValues(index, &format, &values[0], &values[1], &values[2]) != 0 || format == 0) return;
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
    if (GetVarCMissingValues(index, &format, values[0], values[1], values[2]) != 0 || format <= 0) return;
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
        for (int i = 0; i < count; ++i) std::printf("      value %g = \"%s\"\n", values[i], labels[i]);
        FreeNValueLabels(values, labels, count);
    } else {
        char** values = nullptr;
        if (GetCValueLabels(index, &values, &labels, &count) != 0) return;
        for (int i = 0; i < count; ++i) std::printf("      value '%s' = \"%s\"\n", values[i], labels[i]);
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
        std::printf("  %-14s %-10s %-8s \"%s\"\n", name.c_str(), TypeText(type).c_str(), format.c_str(),
                    label.c_str());
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <engine home>\n", argv[0]);
        return 2;
    }
    const std::string arguments = std::string("-vexahome=") + argv[1];
    int started = StartVexa(arguments.c_str());
    std::printf("StartVexa: %d\n", started);
    if (started != 0) return 1;
    std::printf("ready: %s\n", IsBackendReady() ? "yes" : "no");
    std::printf("driven by this program: %s\n", IsXDriven() ? "yes" : "no");
    PrintDictionary();
    int err = 0;
    GetVariableCount(&err);
    StopVexa();
    std::printf("stopped; ready: %s\n", IsBackendReady() ? "yes" : "no");
    return err == 0 ? 0 : 1;
}
