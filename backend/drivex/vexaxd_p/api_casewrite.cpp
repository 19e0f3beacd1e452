// The write side of a case cursor: new variables and their dictionary, the
// values of the current or a new case collected locally, and the commits
// that send them.
#include <string>

#include "apiconnection.h"
#include "callframe.h"
#include "callshapes.h"
#include "codec/ownedbuffer.h"
#include "commandcodes.h"
#include "cursorexchange.h"
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

}  // namespace api

namespace {

template <typename... Args>
int DictionaryChange(int command, const Args&... args) {
    return api::StatusCall(command, api::Refusal::kWhenNotRunning, api::NoResult, args...);
}

api::CaseCursorState& CaseData() { return api::Connection().caseData(); }

// The values set so far go with the request; the buffer is gone afterwards
// whatever the outcome, so nothing is kept for a retry.
int SendCaseValues(int command, bool withCursorBlock) {
    if (!api::Connection().running()) return VEXA_ENGINE_NOT_RUNNING;
    struct DropOnExit {
        ~DropOnExit() { CaseData().DropWriteBuffer(); }
    } drop;
    api::CallFrame frame(command);
    if (const api::CaseWriteBuffer* values = CaseData().writeBuffer()) {
        values->AppendTo(frame.request());
    }
    CursorDataSmb* cursor = withCursorBlock ? CaseData().cursor() : nullptr;
    if (cursor) {
        frame.request().SetLong(1);
        frame.request().SetLong(cursor->GetOneCaseSize());
    }
    if (int status = frame.Exchange()) return status;
    return cursor ? api::AdoptCommittedCases(*cursor, frame.reply()) : 0;
}

int SendManyCases(const char* const* names, const int* types, int count, int secondCount,
                  codec::OwnedBuffer data, int length) {
    if (count < 0 || length < 0 || (count > 0 && (!names || !types)) ||
        (length > 0 && data.empty())) {
        return VEXA_BAD_ARGUMENT;
    }
    for (int i = 0; i < count; ++i) {
        if (!names[i]) return VEXA_BAD_ARGUMENT;
    }
    if (!api::Connection().running()) return VEXA_ENGINE_NOT_RUNNING;
    api::CallFrame frame(cmd::kCommitManyCases);
    CleXDSmb& request = frame.request();
    LongData typeList;
    for (int i = 0; i < count; ++i) {
        request.SetString(names[i]);
        typeList.SetValue(types[i]);
    }
    request.SetVoidData(data.release(), length);
    request.SetLong(count);
    request.SetLong(secondCount);
    request.SetLongArray(typeList);
    const int result = frame.Exchange();
    CaseData().DropWriteBuffer();
    return result;
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
    return api::Guarded([&]() -> int {
        if (!name) return VEXA_BAD_ARGUMENT;
        if (!api::Connection().running()) return VEXA_ENGINE_NOT_RUNNING;
        CaseData().EnsureWriteBuffer().AddNumeric(name, value);
        return 0;
    });
}

int SetValueChar(const char* name, const char* value, int length) {
    return api::Guarded([&]() -> int {
        if (!name || !api::Valid(api::TextBytes{value, length})) return VEXA_BAD_ARGUMENT;
        if (!api::Connection().running()) return VEXA_ENGINE_NOT_RUNNING;
        std::string bytes = length > 0 ? std::string(value, static_cast<std::size_t>(length)) : "";
        CaseData().EnsureWriteBuffer().AddString(name, std::move(bytes));
        return 0;
    });
}

int CommitCaseRecord(void) {
    return api::Guarded([] { return SendCaseValues(cmd::kCommitCaseRecord, true); });
}

int CommitNewCase(void) {
    return api::Guarded([] { return SendCaseValues(cmd::kCommitNewCase, false); });
}

int CommitManyCases(const char* const* names, const int* types, void* data, int count, int length,
                    int secondCount) {
    // The block is ours from here on, whatever the outcome.
    codec::OwnedBuffer block(data, length > 0 ? static_cast<std::size_t>(length) : 0);
    return api::Guarded(
        [&] { return SendManyCases(names, types, count, secondCount, std::move(block), length); });
}
