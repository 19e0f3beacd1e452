// Dictionary queries about the dataset of the running procedure. Strings
// are "" rather than null on failure, integers other than the count -1.
#include "callshapes.h"
#include "commandcodes.h"
#include "replyreader.h"
#include "resultreaders.h"
#include "vexaxd_p.h"

using api::Refusal;

namespace {

constexpr api::SharedStringReader kNameOrEmpty{api::MissingString::kEmpty};
constexpr api::SharedStringReader kSharedString{api::MissingString::kFails};

}  // namespace

int GetVariableCountInProcDS(int* err) {
    return api::ValueCall(cmd::kGetVariableCountInProcDS, Refusal::kNever, 0, err, api::FirstInt);
}

int GetRowCountInProcDS(int* err) {
    return api::ValueCall(cmd::kGetRowCountInProcDS, Refusal::kNever, -1, err, api::FirstInt);
}

const char* GetVariableNameInProcDS(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableNameInProcDS, Refusal::kNever, "", err, kNameOrEmpty, index);
}

const char* GetVariableLabelInProcDS(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableLabelInProcDS, Refusal::kNever, "", err, kSharedString,
                                       index);
}

const char* GetVariableFormatInProcDS(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableFormatInProcDS, Refusal::kNever, "", err, kSharedString,
                                       index);
}

int GetVariableTypeInProcDS(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableTypeInProcDS, Refusal::kNever, -1, err, api::FirstInt, index);
}

int GetVariableMeasurementLevelInProcDS(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableMeasurementLevelInProcDS, Refusal::kNever, -1, err, api::FirstInt, index);
}

int GetVariableRoleInProcDS(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableRoleInProcDS, Refusal::kNever, -1, err, api::FirstInt, index);
}

int GetVariableFormatTypeInProcDS(int index, int* formatType, int* width, int* decimals) {
    return api::StatusCall(cmd::kGetVariableFormatTypeInProcDS, Refusal::kWhenNotRunning,
                           api::IntsInto<3>{{formatType, width, decimals}}, index);
}

int GetVarNMissingValuesInProcDS(int index, int* missingFormat, double* value1, double* value2, double* value3) {
    return api::StatusCall(cmd::kGetVarNMissingValuesInProcDS, Refusal::kWhenNotRunning,
                           api::NumbersInto<1, 3>{{missingFormat}, {value1, value2, value3}}, index);
}

int GetVarCMissingValuesInProcDS(int index, int* missingFormat, char* buffer1, char* buffer2, char* buffer3) {
    return api::StatusCall(cmd::kGetVarCMissingValuesInProcDS, Refusal::kWhenNotRunning,
                           api::StringMissingInto{missingFormat, {buffer1, buffer2, buffer3}}, index);
}

int GetVarAttributeNamesInProcDS(int index, char*** names, int* count) {
    return api::StatusCall(cmd::kGetVarAttributeNamesInProcDS, Refusal::kWhenNotRunning,
                           api::StringArrayInto{names, count}, index);
}

int GetVarAttributesInProcDS(int index, const char* attributeName, char*** values, int* count) {
    return api::StatusCall(cmd::kGetVarAttributesInProcDS, Refusal::kWhenNotRunning,
                           api::StringArrayInto{values, count}, index, attributeName);
}

int GetDataFileAttributeNamesInProcDS(char*** names, int* count) {
    return api::StatusCall(cmd::kGetDataFileAttributeNamesInProcDS, Refusal::kWhenNotRunning,
                           api::StringArrayInto{names, count});
}

int GetDataFileAttributesInProcDS(const char* attributeName, char*** values, int* count) {
    return api::StatusCall(cmd::kGetDataFileAttributesInProcDS, Refusal::kWhenNotRunning,
                           api::StringArrayInto{values, count}, attributeName);
}

void* GetMultiResponseSetNamesInProcDS(int* err) {
    return api::ValueCall<void*>(cmd::kGetMultiResponseSetNamesInProcDS, Refusal::kNever, nullptr, err,
                                 api::ReadStringList);
}

void GetMultiResponseSetInProcDS(const char* setName, char** label, int* firstInteger, char** secondText,
                                 int* secondInteger, void** members, int* err) {
    api::ReportCall(cmd::kGetMultiResponseSetInProcDS, Refusal::kNever, err,
                    api::MultiResponseSetInto{label, firstInteger, secondText, secondInteger, members}, setName);
}
