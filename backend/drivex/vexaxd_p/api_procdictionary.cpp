// Dictionary queries about the dataset of the running procedure. Strings
// are "" rather than null on failure, integers other than the count -1.
#include "callshapes.h"
#include "codec/protocol.h"
#include "dictionaryqueries.h"
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
    return api::ValueCall<const char*>(cmd::kGetVariableNameInProcDS, Refusal::kNever, "", err,
                                       kNameOrEmpty, index);
}

const char* GetVariableLabelInProcDS(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableLabelInProcDS, Refusal::kNever, "", err,
                                       kSharedString, index);
}

const char* GetVariableFormatInProcDS(int index, int* err) {
    return api::ValueCall<const char*>(cmd::kGetVariableFormatInProcDS, Refusal::kNever, "", err,
                                       kSharedString, index);
}

int GetVariableTypeInProcDS(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableTypeInProcDS, Refusal::kNever, -1, err, api::FirstInt,
                          index);
}

int GetVariableMeasurementLevelInProcDS(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableMeasurementLevelInProcDS, Refusal::kNever, -1, err,
                          api::FirstInt, index);
}

int GetVariableRoleInProcDS(int index, int* err) {
    return api::ValueCall(cmd::kGetVariableRoleInProcDS, Refusal::kNever, -1, err, api::FirstInt,
                          index);
}

int GetVariableFormatTypeInProcDS(int index, int* formatType, int* width, int* decimals) {
    return api::FormatTypeQuery(cmd::kGetVariableFormatTypeInProcDS, index, formatType, width,
                                decimals);
}

int GetVarNMissingValuesInProcDS(int index, int* missingFormat, double* value1, double* value2,
                                 double* value3) {
    return api::NumericMissingQuery(cmd::kGetVarNMissingValuesInProcDS, index, missingFormat,
                                    value1, value2, value3);
}

int GetVarCMissingValuesInProcDS(int index, int* missingFormat, char* buffer1, char* buffer2,
                                 char* buffer3) {
    return api::StringMissingQuery(cmd::kGetVarCMissingValuesInProcDS, index, missingFormat,
                                   buffer1, buffer2, buffer3);
}

int GetVarAttributeNamesInProcDS(int index, char*** names, int* count) {
    return api::StringArrayQuery(cmd::kGetVarAttributeNamesInProcDS, names, count, index);
}

int GetVarAttributesInProcDS(int index, const char* attributeName, char*** values, int* count) {
    return api::StringArrayQuery(cmd::kGetVarAttributesInProcDS, values, count, index,
                                 attributeName);
}

int GetDataFileAttributeNamesInProcDS(char*** names, int* count) {
    return api::StringArrayQuery(cmd::kGetDataFileAttributeNamesInProcDS, names, count);
}

int GetDataFileAttributesInProcDS(const char* attributeName, char*** values, int* count) {
    return api::StringArrayQuery(cmd::kGetDataFileAttributesInProcDS, values, count, attributeName);
}

void* GetMultiResponseSetNamesInProcDS(int* err) {
    return api::StringListQuery(cmd::kGetMultiResponseSetNamesInProcDS, err);
}

void GetMultiResponseSetInProcDS(const char* setName, char** label, int* firstInteger,
                                 char** secondText, int* secondInteger, void** members, int* err) {
    api::MultiResponseSetQuery(cmd::kGetMultiResponseSetInProcDS, setName, label, firstInteger,
                               secondText, secondInteger, members, err);
}
