// Dictionary queries about the active dataset, and engine-wide values.
#include "callshapes.h"
#include "codec/protocol.h"
#include "dictionaryqueries.h"
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

int GetRowCount(int* err) {
    return api::ValueCall(cmd::kGetRowCount, Refusal::kNever, -1, err, api::FirstInt);
}

const char* GetVariableName(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableName, Refusal::kNever, nullptr, err,
                                       kSharedString, index);
}

const char* GetVariableLabel(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableLabel, Refusal::kNever, nullptr, err,
                                       kSharedString, index);
}

int GetVariableType(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableType, Refusal::kNever, 0, err, api::FirstInt, index);
}

const char* GetVariableFormat(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableFormat, Refusal::kNever, nullptr, err,
                                       kSharedString, index);
}

int GetVariableMeasurementLevel(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableMeasurementLevel, Refusal::kNever, 0, err, api::FirstInt,
                          index);
}

int GetVariableRole(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableRole, Refusal::kNever, 0, err, api::FirstInt, index);
}

int GetVariableFormatType(int index, int* formatType, int* width, int* decimals) {
    return api::FormatTypeQuery(cmd::kGetVariableFormatType, index, formatType, width, decimals);
}

int GetVarNMissingValues(int index, int* missingFormat, double* value1, double* value2,
                         double* value3) {
    return api::NumericMissingQuery(cmd::kGetVarNMissingValues, index, missingFormat, value1,
                                    value2, value3);
}

int GetVarCMissingValues(int index, int* missingFormat, char* buffer1, char* buffer2,
                         char* buffer3) {
    return api::StringMissingQuery(cmd::kGetVarCMissingValues, index, missingFormat, buffer1,
                                   buffer2, buffer3);
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
    return api::StringArrayQuery(cmd::kGetVarAttributeNames, names, count, index);
}

int GetVarAttributes(int index, const char* attributeName, char*** values, int* count) {
    return api::StringArrayQuery(cmd::kGetVarAttributes, values, count, index, attributeName);
}

int GetDataFileAttributeNames(char*** names, int* count) {
    return api::StringArrayQuery(cmd::kGetDataFileAttributeNames, names, count);
}

int GetDataFileAttributes(const char* attributeName, char*** values, int* count) {
    return api::StringArrayQuery(cmd::kGetDataFileAttributes, values, count, attributeName);
}

void* GetMultiResponseSetNames(int* err) {
    return api::StringListQuery(cmd::kGetMultiResponseSetNames, err);
}

void GetMultiResponseSet(const char* setName, char** label, int* firstInteger, char** secondText,
                         int* secondInteger, void** members, int* err) {
    api::MultiResponseSetQuery(cmd::kGetMultiResponseSet, setName, label, firstInteger, secondText,
                               secondInteger, members, err);
}

const char* GetWeightVar(int* err) {
    return api::ValueCall<const char*>(cmd::kGetWeightVar, Refusal::kNever, nullptr, err,
                                       kSharedString);
}

void* GetSplitVariableNames(int* err) {
    return api::StringListQuery(cmd::kGetSplitVariableNames, err);
}

int GetSystemMissingValue(double* value) {
    return api::StatusCall(cmd::kGetSystemMissingValue, Refusal::kWhenNotRunning,
                           api::NumbersInto<0, 1>{{}, {value}});
}

int GetVEXALowHigh(double* low, double* high) {
    return api::StatusCall(cmd::kGetVEXALowHigh, Refusal::kWhenNotRunning,
                           api::NumbersInto<0, 2>{{}, {low, high}});
}

int ValidateVarName(const char* name) {
    return api::BareCall(cmd::kValidateVarName, 0, api::FirstInt, name);
}
