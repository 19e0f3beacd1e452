// The write side of a case cursor: new variables and their dictionary, the
// values of the current or a new case collected locally, and the commits
// that send them.
#include <string>

#include "apiconnection.h"
#include "callshapes.h"
#include "codec/ownedbuffer.h"
#include "codec/protocol.h"
#include "cursorexchange.h"
#include "scopeexit.h"
#include "vexaxd_p.h"

namespace api {

// Names with their types: each type to the long block, each name to the
// string block. A null name would shift every name after it.
struct NamesAndTypes {
    const char* const* names;
    const int* types;
    int count;
};

inline bool Valid(const NamesAndTypes& list) {
    if (list.count < 1 || !list.names || !list.types) return false;
    for (int i = 0; i < list.count; ++i) {
        if (!list.names[i]) return false;
    }
    return true;
}

inline void Append(CleXDSmb& request, const NamesAndTypes& list) {
    for (int i = 0; i < list.count; ++i) {
        request.SetLong(list.types[i]);
        request.SetString(list.names[i]);
    }
}

// The values set so far, and the request for a new block of the cursor that
// the commit refills (none when `cursor` is null).
struct PendingCaseValues {
    const CaseWriteBuffer* values;
    const CursorDataSmb* cursor;
};

inline void Append(CleXDSmb& request, const PendingCaseValues& pending) {
    if (pending.values) pending.values->AppendTo(request);
    if (pending.cursor) {
        request.SetLong(1);
        request.SetLong(pending.cursor->GetOneCaseSize());
    }
}

// Many cases in one image: the names, the block (ours from the start), the
// counts and the types.
struct ManyCases {
    const char* const* names;
    const int* types;
    int count;
    int secondCount;
    codec::OwnedBuffer* data;
    int length;
};

inline bool Valid(const ManyCases& cases) {
    if (cases.count < 0 || cases.length < 0) return false;
    if (cases.count > 0 && (!cases.names || !cases.types)) return false;
    if (cases.length > 0 && cases.data->empty()) return false;
    for (int i = 0; i < cases.count; ++i) {
        if (!cases.names[i]) return false;
    }
    return true;
}

inline void Append(CleXDSmb& request, const ManyCases& cases) {
    LongData typeList;
    for (int i = 0; i < cases.count; ++i) {
        request.SetString(cases.names[i]);
        typeList.SetValue(cases.types[i]);
    }
    request.SetVoidData(cases.data->release(), cases.length);
    request.SetLong(cases.count);
    request.SetLong(cases.secondCount);
    request.SetLongArray(typeList);
}

}  // namespace api

namespace {

using api::Refusal;

template <typename... Args>
int DictionaryChange(int command, const Args&... args) {
    return api::StatusCall(command, api::Refusal::kWhenNotRunning, api::NoResult, args...);
}

api::CaseCursorState& CaseData() { return api::Connection().caseData(); }

// The values set so far go with the request; the buffer is gone afterwards
// whatever the outcome, so nothing is kept for a retry.
template <typename Request>
int SendCaseValues(int command, bool usable, const Request& request, CursorDataSmb* cursor) {
    return api::LocalCall(Refusal::kWhenNotRunning, usable, [&] {
        const api::ScopeExit drop([] { CaseData().DropWriteBuffer(); });
        return api::StatusCall(
            command, Refusal::kNever,
            [cursor](CleXDSmb& reply) {
                return cursor ? api::AdoptCommittedCases(*cursor, reply) : 0;
            },
            request);
    });
}

int CommitCaseValues(int command, bool withCursorBlock) {
    CursorDataSmb* cursor = withCursorBlock ? CaseData().cursor() : nullptr;
    return SendCaseValues(command, true, api::PendingCaseValues{CaseData().writeBuffer(), cursor},
                          cursor);
}

}  // namespace

int SetVarNameAndType(const char* const* names, const int* types, int count) {
    return DictionaryChange(cmd::kSetVarNameAndType, api::NamesAndTypes{names, types, count},
                            count);
}

int SetOneVarNameAndType(const char* name, int type) {
    return DictionaryChange(cmd::kSetOneVarNameAndType, name, type);
}

int AllocNewVarsBuffer(int count) { return DictionaryChange(cmd::kAllocNewVarsBuffer, count); }

int SetVarLabel(const char* name, const char* label) {
    return DictionaryChange(cmd::kSetVarLabel, name, label);
}

int SetVarCValueLabel(const char* name, const char* value, const char* label) {
    return DictionaryChange(cmd::kSetVarCValueLabel, name, value, label);
}

int SetVarNValueLabel(const char* name, double value, const char* label) {
    return DictionaryChange(cmd::kSetVarNValueLabel, name, value, label);
}

int SetVarCMissingValues(const char* name, int missingFormat, const char* value1,
                         const char* value2, const char* value3) {
    return DictionaryChange(cmd::kSetVarCMissingValues, name, missingFormat, value1, value2,
                            value3);
}

int SetVarNMissingValues(const char* name, int missingFormat, double value1, double value2,
                         double value3) {
    return DictionaryChange(cmd::kSetVarNMissingValues, name, missingFormat, value1, value2,
                            value3);
}

int SetVarMeasureLevel(const char* name, int level) {
    return DictionaryChange(cmd::kSetVarMeasureLevel, name, level);
}

int SetVarRole(const char* name, int role) {
    return DictionaryChange(cmd::kSetVarRole, name, role);
}

int SetVarAlignment(const char* name, int alignment) {
    return DictionaryChange(cmd::kSetVarAlignment, name, alignment);
}

int SetVarFormat(const char* name, int formatType, int width, int decimals) {
    return DictionaryChange(cmd::kSetVarFormat, name, formatType, width, decimals);
}

int SetVarAttributes(const char* name, const char* attributeName, const char* attributeValue,
                     int position) {
    return DictionaryChange(cmd::kSetVarAttributes, name, attributeName, attributeValue, position);
}

int CommitHeader(void) { return DictionaryChange(cmd::kCommitHeader); }

int EndChanges(void) { return DictionaryChange(cmd::kEndChanges); }

int SetValueNumeric(const char* name, double value) {
    return api::LocalCall(Refusal::kWhenNotRunning, name != nullptr, [&] {
        CaseData().EnsureWriteBuffer().AddNumeric(name, value);
        return 0;
    });
}

int SetValueChar(const char* name, const char* value, int length) {
    const bool usable = name && api::Valid(api::TextBytes{value, length});
    return api::LocalCall(Refusal::kWhenNotRunning, usable, [&] {
        std::string bytes = length > 0 ? std::string(value, static_cast<std::size_t>(length)) : "";
        CaseData().EnsureWriteBuffer().AddString(name, std::move(bytes));
        return 0;
    });
}

int CommitCaseRecord(void) {
    return api::Guarded([] { return CommitCaseValues(cmd::kCommitCaseRecord, true); });
}

int CommitNewCase(void) {
    return api::Guarded([] { return CommitCaseValues(cmd::kCommitNewCase, false); });
}

int CommitManyCases(const char* const* names, const int* types, void* data, int count, int length,
                    int secondCount) {
    // The block is ours from here on, whatever the outcome.
    codec::OwnedBuffer block(data, length > 0 ? static_cast<std::size_t>(length) : 0);
    const api::ManyCases cases{names, types, count, secondCount, &block, length};
    return SendCaseValues(cmd::kCommitManyCases, api::Valid(cases), cases, nullptr);
}
