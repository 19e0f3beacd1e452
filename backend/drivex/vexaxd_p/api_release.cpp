// Release functions and string lists; all local.
#include <cstring>

#include "apiconnection.h"
#include "callshapes.h"
#include "resultlists.h"
#include "runtime/statuscodes.h"
#include "vexaxd_p.h"

namespace api {

char* CallerString(const std::string& text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

char** CallerStringArray(const std::vector<std::string>& texts) {
    if (texts.empty()) return nullptr;
    char** array = new char*[texts.size()];
    for (std::size_t i = 0; i < texts.size(); ++i) array[i] = CallerString(texts[i]);
    return array;
}

namespace {

void ReleaseStrings(char** texts, int count) {
    for (int i = 0; i < count; ++i) delete[] texts[i];
    delete[] texts;
}

// The refusal rule of every array release: 17 while the engine is not running,
// nothing for an empty count, 99108 for a null array that claims entries.
// True when the arrays are to be released; `status` is the answer either way.
bool ShouldRelease(int count, bool arraysPresent, int& status) {
    status = 0;
    if (Refused(Refusal::kWhenNotRunning)) {
        status = VEXA_ENGINE_NOT_RUNNING;
    } else if (count >= 1 && !arraysPresent) {
        status = VEXA_BAD_ARGUMENT;
    }
    return status == 0 && count >= 1;
}

}  // namespace
}  // namespace api

int FreeString(char* text) {
    delete[] text;
    return 0;
}

int FreeDoubleArray(double* values, int count) {
    if (count > 0) delete[] values;
    return 0;
}

int FreeStringArray(char** texts, int count) {
    int status;
    if (api::ShouldRelease(count, texts != nullptr, status)) api::ReleaseStrings(texts, count);
    return status;
}

int FreeAttributes(char** texts, int count) { return FreeStringArray(texts, count); }

int FreeAttributeNames(char** texts, int count) { return FreeStringArray(texts, count); }

int FreeNValueLabels(double* values, char** labels, int count) {
    int status;
    if (api::ShouldRelease(count, values && labels, status)) {
        api::ReleaseStrings(labels, count);
        delete[] values;
    }
    return status;
}

int FreeCValueLabels(char** values, char** labels, int count) {
    int status;
    if (api::ShouldRelease(count, values && labels, status)) {
        api::ReleaseStrings(values, count);
        api::ReleaseStrings(labels, count);
    }
    return status;
}

int GetStringListLength(void* list) {
    return list ? static_cast<int>(static_cast<api::StringList*>(list)->items.size()) : 0;
}

const char* GetStringFromList(void* list, int index) {
    if (!list || index < 0) return "";
    const auto& items = static_cast<api::StringList*>(list)->items;
    return static_cast<std::size_t>(index) < items.size()
               ? items[static_cast<std::size_t>(index)].c_str()
               : "";
}

void RemoveStringList(void* list) { delete static_cast<api::StringList*>(list); }
