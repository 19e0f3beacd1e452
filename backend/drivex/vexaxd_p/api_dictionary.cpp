// Dictionary queries about the active dataset, and engine-wide values.
#include "callshapes.h"
#include "commandcodes.h"
#include "replyreader.h"
#include "resultreaders.h"
#include "vexaxd_p.h"

using api::Refusal;

namespace {

constexpr api::SharedStringReader kSharedString{api::MissingString::kFails};

}  // namespace

int GetVariableCount(int* err) {
    return api::ValueCall(cmd::kGetVariableCount, Refusal::kNever, 0, err, api::FirstInt);
}

int GetRowCount(int* err) { return api::ValueCall(cmd::kGetRowCount, Refusal::kNever, -1, err, api::FirstInt); }

const char* GetVariableName(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableName, Refusal::kNever, nullptr, err, kSharedString, index);
}

const char* GetVariableLabel(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableLabel, Refusal::kNever, nullptr, err, kSharedString, index);
}

int GetVariableType(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableType, Refusal::kNever, 0, err, api::FirstInt, index);
}

const char* GetVariableFormat(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableFormat, Refusal::kNever, nullptr, err, kSharedString, index);
}

int GetVariableMeasurementLevel(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableMeasurementLevel, Refusal::kNever, 0, err, api::FirstInt, index);
}

int GetVariableRole(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableRole, Refusal::kNever, 0, err, api::FirstInt, index);
}

int GetVariableFormatType(int index, int* formatType, int* width, int* decimals) {
    return api::StatusCall(cmd::kGetVariableFormatType, Refusal::kWhenNotRunning,
                           api::IntsInto<3>{{formatType, width, decimals}}, index);
}

int GetVarNMissingValues(int index, int* missingFormat, double* value1, double* value2, double* value3) {
    return api::StatusCall(cmd::kGetVarNMissingValues, Refusal::kWhenNotRunning,
                           api::NumbersInto<1, 3>{{missingFormat}, {value1, value2, value3}}, index);
}

int GetVarCMissingValues(int index, int* missingFormat, char* buffer1, char* buffer2, char* buffer3) {
    return api::StatusCall(cmd::kGetVarCMissingValues, Refusal::kWhenNotRunning,
                           api::StringMissingInto{missingFormat, {buffer1, buffer2, buffer3}}, index);
}

int GetNValueLabels(int index, double** values, char*** labels, int* count) {
    return api::StatusCall(cmd::kGetNValueLabels, Refusal::kWhenNotRunning,
                           api::NumericLabelsInto{values, labels, count}, index);
}

int GetCValueLabels(int index, char*** values, char*** labels, int* count) {
    return api::StatusCall(cmd::kGetCValueLabels, Refusal::kWhenNotRunning,
                           api::StringLabelsInto{values, labels, count}, index);
}

int GetVarAttributeNames(int index, char*** names, int* count) {
    return api::StatusCall(cmd::kGetVarAttributeNames, Refusal::kWhenNotRunning, api::StringArrayInto{names, count},
                           index);
}

int GetVarAttributes(int index, const char* attributeName, char*** values, int* count) {
    return api::StatusCall(cmd::kGetVarAttributes, Refusal::kWhenNotRunning, api::StringArrayInto{values, count},
                           index, attributeName);
}

int GetDataFileAttributeNames(char*** names, int* count) {
    return api::StatusCall(cmd::kGetDataFileAttributeNames, Refusal::kWhenNotRunning,
                           api::StringArrayInto{names, count});
}

int GetDataFileAttributes(const char* attributeName, char*** values, int* count) {
    return api::StatusCall(cmd::kGetDataFileAttributes, Refusal::kWhenNotRunning,
                           api::StringArrayInto{values, count}, attributeName);
}

void* GetMultiResponseSetNames(int* err) {
    return api::ValueCall<void*>(cmd::kGetMultiResponseSetNames, Refusal::kNever, nullptr, err, api::ReadStringList);
}

void GetMultiResponseSet(const char* setName, char** label, int* firstInteger, char** secondText,
                         int* secondInteger, void** members, int* err) {
    api::ReportCall(cmd::kGetMultiResponseSet, Refusal::kNever, err,
                    api::MultiResponseSetInto{label, firstInteger, secondText, secondInteger, members}, setName);
}

const char* GetWeightVar(int* err) {
    return api::ValueCall<const char*>(cmd::kGetWeightVar, Refusal::kNever, nullptr, err, kSharedString);
}

void* GetSplitVariableNames(int* err) {
    return api::ValueCall<void*>(cmd::kGetSplitVariableNames, Refusal::kNever, nullptr, err, api::ReadStringList);
}

int GetSystemMissingValue(double* value) {
    return api::StatusCall(cmd::kGetSystemMissingValue, Refusal::kWhenNotRunning,
                           api::NumbersInto<0, 1>{{}, {value}});
}

int GetVEXALowHigh(double* low, double* high) {
    return api::StatusCall(cmd::kGetVEXALowHigh, Refusal::kWhenNotRunning, api::NumbersInto<0, 2>{{}, {low, high}});
}

int ValidateVarName(const char* name) { return api::BareCall(cmd::kValidateVarName, 0, api::FirstInt, name); }
