// Dictionary of a named dataset: the dataset's name goes first, as the first
// string; the rest mirrors the active dataset's dictionary.
#include "callshapes.h"
#include "codec/protocol.h"
#include "dictionaryqueries.h"
#include "replyreader.h"
#include "resultreaders.h"
#include "vexaxd_p.h"

namespace api {
namespace {

// `count` texts as one block of the string-block array.
struct TextList {
    const char* const* texts;
    int count;
};

bool Valid(const TextList& list) {
    if (list.count < 0 || (list.count > 0 && !list.texts)) return false;
    for (int i = 0; i < list.count; ++i) {
        if (!list.texts[i]) return false;
    }
    return true;
}

void Append(CleXDSmb& request, const TextList& list) {
    StringData block;
    for (int i = 0; i < list.count; ++i) block.SetValue(list.texts[i]);
    request.SetStringArray(block);
}

}  // namespace
}  // namespace api

using api::Refusal;

namespace {

constexpr api::SharedStringReader kSharedString{api::MissingString::kFails};

template <typename... Args>
int Change(int command, const Args&... args) {
    return api::StatusCall(command, Refusal::kWhenNotRunning, api::NoResult, args...);
}

template <typename... Args>
const char* SharedText(int command, const char* failure, int* err, const Args&... args) {
    return api::ValueCall<const char*>(command, Refusal::kNever, failure, err, kSharedString,
                                       args...);
}

template <typename... Args>
int Number(int command, int failure, int* err, const Args&... args) {
    return api::ValueCall(command, Refusal::kNever, failure, err, api::FirstInt, args...);
}

}  // namespace

int SetVarNameInDS(const char* dataset, int variable, const char* name) {
    return Change(cmd::kSetVarNameInDS, dataset, variable, name);
}

int SetVarLabelInDS(const char* dataset, int variable, const char* label) {
    return Change(cmd::kSetVarLabelInDS, dataset, variable, label);
}

int SetVarRoleInDS(const char* dataset, int variable, int role) {
    return Change(cmd::kSetVarRoleInDS, dataset, variable, role);
}

int SetVarFormatInDS(const char* dataset, int variable, int formatType, int width, int decimals) {
    return Change(cmd::kSetVarFormatInDS, dataset, variable, formatType, width, decimals);
}

int SetVarAlignmentInDS(const char* dataset, int variable, int alignment) {
    return Change(cmd::kSetVarAlignmentInDS, dataset, variable, alignment);
}

int SetVarMeasurementLevelInDS(const char* dataset, int variable, const char* level) {
    return Change(cmd::kSetVarMeasurementLevelInDS, dataset, variable, level);
}

int SetVarColumnWidthInDS(const char* dataset, int variable, int width) {
    return Change(cmd::kSetVarColumnWidthInDS, dataset, variable, width);
}

int SetVarNMissingValuesInDS(const char* dataset, int variable, int missingFormat, double value1,
                             double value2, double value3) {
    return Change(cmd::kSetVarNMissingValuesInDS, dataset, variable, missingFormat, value1, value2,
                  value3);
}

int SetVarCMissingValuesInDS(const char* dataset, int variable, int missingFormat,
                             const char* value1, const char* value2, const char* value3) {
    return Change(cmd::kSetVarCMissingValuesInDS, dataset, variable, missingFormat, value1, value2,
                  value3);
}

int SetVarNValueLabelInDS(const char* dataset, int variable, double value, const char* label) {
    return Change(cmd::kSetVarNValueLabelInDS, dataset, variable, value, label);
}

int SetVarCValueLabelInDS(const char* dataset, int variable, const char* value, const char* label) {
    return Change(cmd::kSetVarCValueLabelInDS, dataset, variable, value, label);
}

int DelVarValueLabelInDS(const char* dataset, int variable) {
    return Change(cmd::kDelVarValueLabelInDS, dataset, variable);
}

int DelVarNValueLabelInDS(const char* dataset, int variable, double value) {
    return Change(cmd::kDelVarNValueLabelInDS, dataset, variable, value);
}

int DelVarCValueLabelInDS(const char* dataset, int variable, const char* value) {
    return Change(cmd::kDelVarCValueLabelInDS, dataset, variable, value);
}

int SetVarAttributesInDS(const char* dataset, int variable, const char* attributeName,
                         const char* const* values, int count) {
    return Change(cmd::kSetVarAttributesInDS, dataset, variable, attributeName,
                  api::TextList{values, count});
}

int DelVarAttributesInDS(const char* dataset, int variable, const char* attributeName) {
    return Change(cmd::kDelVarAttributesInDS, dataset, variable, attributeName);
}

int SetDataFileAttributesInDS(const char* dataset, const char* attributeName,
                              const char* const* values, int count) {
    return Change(cmd::kSetDataFileAttributesInDS, dataset, attributeName,
                  api::TextList{values, count});
}

int DelDataFileAttributesInDS(const char* dataset, const char* attributeName) {
    return Change(cmd::kDelDataFileAttributesInDS, dataset, attributeName);
}

void SetMultiResponseSetInDS(const char* dataset, const char* setName, const char* firstText,
                             int value, const char* secondText, const char* const* variables,
                             int count, int* err) {
    api::ReportCall(cmd::kSetMultiResponseSetInDS, Refusal::kNever, err, api::NoValue, dataset,
                    setName, firstText, value, secondText, api::TextList{variables, count});
}

int DelMultiResponseSetInDS(const char* dataset, const char* setName) {
    return Change(cmd::kDelMultiResponseSetInDS, dataset, setName);
}

int GetVarCountInDS(const char* dataset, int* err) {
    return Number(cmd::kGetVarCountInDS, 0, err, dataset);
}

int GetCaseCountInDS(const char* dataset, int* err) {
    return Number(cmd::kGetCaseCountInDS, -1, err, dataset);
}

int GetVarTypeInDS(const char* dataset, int variable, int* err) {
    return Number(cmd::kGetVarTypeInDS, 0, err, dataset, variable);
}

int GetVarRoleInDS(const char* dataset, int variable, int* err) {
    return Number(cmd::kGetVarRoleInDS, 0, err, dataset, variable);
}

int GetVarAlignmentInDS(const char* dataset, int variable, int* err) {
    return Number(cmd::kGetVarAlignmentInDS, 0, err, dataset, variable);
}

int GetVarColumnWidthInDS(const char* dataset, int variable, int* err) {
    return Number(cmd::kGetVarColumnWidthInDS, 0, err, dataset, variable);
}

const char* GetVarNameInDS(const char* dataset, int variable, int* err) {
    return SharedText(cmd::kGetVarNameInDS, "", err, dataset, variable);
}

const char* GetVarLabelInDS(const char* dataset, int variable, int* err) {
    return SharedText(cmd::kGetVarLabelInDS, nullptr, err, dataset, variable);
}

const char* GetVarFormatInDS(const char* dataset, int variable, int* err) {
    return SharedText(cmd::kGetVarFormatInDS, nullptr, err, dataset, variable);
}

const char* GetVarMeasurementLevelInDS(const char* dataset, int variable, int* err) {
    return SharedText(cmd::kGetVarMeasurementLevelInDS, nullptr, err, dataset, variable);
}

int GetVarNMissingValuesInDS(const char* dataset, int variable, int* missingFormat, double* value1,
                             double* value2, double* value3) {
    return api::StatusCall(cmd::kGetVarNMissingValuesInDS, Refusal::kWhenNotRunning,
                           api::NumbersInto<1, 3>{{missingFormat}, {value1, value2, value3}},
                           dataset, variable);
}

int GetVarCMissingValuesInDS(const char* dataset, int variable, int* missingFormat, char* buffer1,
                             char* buffer2, char* buffer3) {
    return api::StatusCall(cmd::kGetVarCMissingValuesInDS, Refusal::kWhenNotRunning,
                           api::StringMissingInto{missingFormat, {buffer1, buffer2, buffer3}},
                           dataset, variable);
}

int GetVarAttributesNameInDS(const char* dataset, int variable, char*** names, int* count) {
    return api::StringArrayQuery(cmd::kGetVarAttributesNameInDS, names, count, dataset, variable);
}

int GetVarAttributesInDS(const char* dataset, int variable, const char* attributeName,
                         char*** values, int* count) {
    return api::StringArrayQuery(cmd::kGetVarAttributesInDS, values, count, dataset, variable,
                                 attributeName);
}

int GetDataFileAttributeNamesInDS(const char* dataset, char*** names, int* count) {
    return api::StringArrayQuery(cmd::kGetDataFileAttributeNamesInDS, names, count, dataset);
}

int GetDataFileAttributesInDS(const char* dataset, const char* attributeName, char*** values,
                              int* count) {
    return api::StringArrayQuery(cmd::kGetDataFileAttributesInDS, values, count, dataset,
                                 attributeName);
}

int GetVarNValueLabelInDS(const char* dataset, int variable, double** values, char*** labels,
                          int* count) {
    return api::StatusCall(cmd::kGetVarNValueLabelInDS, Refusal::kWhenNotRunning,
                           api::NumericLabelsInto{values, labels, count}, dataset, variable);
}

int GetVarCValueLabelInDS(const char* dataset, int variable, char*** values, char*** labels,
                          int* count) {
    return api::StatusCall(cmd::kGetVarCValueLabelInDS, Refusal::kWhenNotRunning,
                           api::StringLabelsInto{values, labels, count}, dataset, variable);
}

void* GetMultiResponseSetNamesInDS(const char* dataset, int* err) {
    return api::ValueCall<void*>(cmd::kGetMultiResponseSetNamesInDS, Refusal::kNever, nullptr, err,
                                 api::ReadStringList, dataset);
}

void GetMultiResponseSetInDS(const char* dataset, const char* setName, char** label,
                             int* firstInteger, char** secondText, int* secondInteger,
                             void** members, int* err) {
    api::ReportCall(
        cmd::kGetMultiResponseSetInDS, Refusal::kNever, err,
        api::MultiResponseSetInto{label, firstInteger, secondText, secondInteger, members,
                                  api::MultiResponseSetInto::ShortReply::kReadWhatCame},
        dataset, setName);
}
