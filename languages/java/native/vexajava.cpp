#include "vexajava.h"

#include <cmath>
#include <string>

#include "hosting/dxstartup.h"
#include "runtime/dxglobal.h"
#include "runtime/statuscodes.h"
#include "transport/xpipemanager.h"
#include "vexaxd_p.h"

namespace {

// NextCase's answers once the cases are used up: the library's and the engine's.
constexpr int kCasesUsedUp = 1900;
constexpr int kNoFurtherCase = 23;
constexpr int kSystemMissing = 2;

bool Given(const char* text) { return text != nullptr && *text != '\0'; }

}  // namespace

extern "C" int VexaJavaJoinEngine(const char* tempDirectory, const char* pidText,
                                  const char* language, const char* engineHome) {
    if (!Given(tempDirectory) || !Given(pidText) || !Given(language) || !Given(engineHome)) {
        return VEXA_BAD_ARGUMENT;
    }
    try {
        if (IsDXGlobalInit()) return VEXA_BAD_ARGUMENT;
        std::string temp(tempDirectory);
        DecoratePathEnd(temp);
        InitDxGlobal(temp, pidText, language, engineHome);
        SetVexaRunning(true);
        // The engine serves a block's calls on level 0 of the language's suite.
        XPipeSuit* suit = GetXPipeManager()->getPipeSuit(language);
        if (suit->getIndex() < 0) suit->increaseIndex();
        return 0;
    } catch (...) {
        return VEXA_PIPE_FAILED;
    }
}

extern "C" int VexaJavaReadBlock(const int* indexes, const int* widths, int columns, int capacity,
                                 int userMissingAsNaN, double* numbers, char* texts,
                                 signed char* missing, int* rows) {
    if (!indexes || !widths || !missing || !rows || columns < 0 || capacity < 0)
        return VEXA_BAD_ARGUMENT;
    for (int c = 0; c < columns; ++c) {
        if (widths[c] < 0 || (widths[c] == 0 && !numbers) || (widths[c] > 0 && !texts)) {
            return VEXA_BAD_ARGUMENT;
        }
    }
    *rows = 0;
    const std::size_t stride = static_cast<std::size_t>(capacity);
    for (int row = 0; row < capacity; ++row) {
        const int next = NextCase();
        if (next == kCasesUsedUp || next == kNoFurtherCase) return 0;
        if (next != 0) return next;
        std::size_t numeric = 0;
        std::size_t textOffset = 0;
        for (int c = 0; c < columns; ++c) {
            int flag = 0;
            int status;
            if (widths[c] == 0) {
                double value = 0;
                status = GetNumericValue(indexes[c], &value, &flag);
                if (flag == kSystemMissing || (flag != 0 && userMissingAsNaN)) value = std::nan("");
                numbers[numeric++ * stride + row] = value;
            } else {
                char* destination =
                    texts + textOffset * stride + static_cast<std::size_t>(row) * widths[c];
                status = GetStringValue(indexes[c], &destination, widths[c], &flag);
                textOffset += static_cast<std::size_t>(widths[c]);
            }
            if (status != 0) return status;
            missing[static_cast<std::size_t>(c) * stride + row] = static_cast<signed char>(flag);
        }
        *rows = row + 1;
    }
    return 0;
}
