// The queries that the active dataset and the procedure dataset share: the
// same request and reply, another command code.
#pragma once

#include "callshapes.h"
#include "resultreaders.h"

namespace api {

inline int FormatTypeQuery(int command, int index, int* formatType, int* width, int* decimals) {
    return StatusCall(command, Refusal::kWhenNotRunning, IntsInto<3>{{formatType, width, decimals}},
                      index);
}

inline int NumericMissingQuery(int command, int index, int* missingFormat, double* value1,
                               double* value2, double* value3) {
    return StatusCall(command, Refusal::kWhenNotRunning,
                      NumbersInto<1, 3>{{missingFormat}, {value1, value2, value3}}, index);
}

inline int StringMissingQuery(int command, int index, int* missingFormat, char* buffer1,
                              char* buffer2, char* buffer3) {
    return StatusCall(command, Refusal::kWhenNotRunning,
                      StringMissingInto{missingFormat, {buffer1, buffer2, buffer3}}, index);
}

// Attribute names and values: the variable's position (when there is one)
// goes before the attribute's name.
template <typename... Args>
int StringArrayQuery(int command, char*** texts, int* count, const Args&... args) {
    return StatusCall(command, Refusal::kWhenNotRunning, StringArrayInto{texts, count}, args...);
}

inline void* StringListQuery(int command, int* err) {
    return ValueCall<void*>(command, Refusal::kNever, nullptr, err, ReadStringList);
}

inline void MultiResponseSetQuery(int command, const char* setName, char** label, int* firstInteger,
                                  char** secondText, int* secondInteger, void** members, int* err) {
    ReportCall(command, Refusal::kNever, err,
               MultiResponseSetInto{label, firstInteger, secondText, secondInteger, members},
               setName);
}

}  // namespace api
