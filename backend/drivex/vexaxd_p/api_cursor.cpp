// The case cursor: the engine keeps the authoritative cursor, this process a
// mirror that receives cases in blocks, so that moving to the next case and
// reading its values costs a round trip only when a block is used up.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "apiconnection.h"
#include "callshapes.h"
#include "codec/protocol.h"
#include "cursorexchange.h"
#include "replyreader.h"
#include "resultreaders.h"
#include "runtime/dxtracer.h"
#include "scopeexit.h"
#include "vexaxd_p.h"

using api::Refusal;

namespace {

api::CaseCursorState& CaseData() { return api::KeptConnection().caseData(); }

// Everything the engine's answer to a value request carries: the missing flag
// first, then the value.
struct EngineStringInto {
    char* buffer;
    int length;
    int* missing;
    int operator()(CleXDSmb& reply) const {
        int flag = 0;
        std::string text;
        if (int status = api::ReadInt(reply, 0, flag)) return status;
        if (int status = api::ReadString(reply, 0, text)) return status;
        const std::size_t count = static_cast<std::size_t>(length);
        const std::size_t copied = std::min(text.size(), count);
        std::memcpy(buffer, text.data(), copied);
        std::memset(buffer + copied, 0, count - copied);
        *missing = flag;
        return 0;
    }
};

// Every integer of the reply as a caller-owned array.
struct IntArrayInto {
    int* count;
    bool usable() const { return count != nullptr; }
    int operator()(CleXDSmb& reply, int*& values) const {
        const auto& integers = reply.GetLongDataRef().Values();
        int* array = nullptr;
        if (!integers.empty()) {
            array = new int[integers.size()];
            std::copy(integers.begin(), integers.end(), array);
        }
        *count = static_cast<int>(integers.size());
        values = array;
        return 0;
    }
};

// The mirror of the cursor the engine just made.
int MirrorNewCursor(const char* access) {
    auto cursor = std::make_unique<CursorDataSmb>();
    cursor->SetAccessType(api::AccessTypeOf(access));
    // The engine's cursor is new either way: a stale mirror must not outlive it.
    CaseData().SetCursor(nullptr);
    if (int status = api::LoadCursorLayout(*cursor)) {
        DxTraceError("MakeCaseCursor layout", status);
        return status;
    }
    CaseData().SetCursor(std::move(cursor));
    return 0;
}

int MoveToNextCase() {
    CursorDataSmb* cursor = CaseData().cursor();
    if (!cursor) return api::StatusCall(cmd::kNextCase, Refusal::kNever, api::NoResult);
    const int local = cursor->NextCase();
    if (local != CursorDataSmb::NO_CACHE_DATA) return local;
    return api::RefillCaseBlock(*cursor);
}

// Every step the quick lane does not take; out of line, so the lane keeps
// no frame.
[[gnu::noinline]] int StepToNextCase() {
    return api::LocalCall(Refusal::kWhenNotRunning, true, MoveToNextCase);
}

// The end of a split group is an answer too: its code is the result, with
// the flag of its reply.
int EndSplitFlag(int* flag) {
    if (const CursorDataSmb* cursor = CaseData().cursor(); cursor && cursor->HasData()) {
        *flag = 0;
        return 0;
    }
    return api::AnsweredCall(cmd::kIsEndSplit, Refusal::kNever, protocol::kEndOfSplit,
                             api::IntsInto<1>{{flag}});
}

}  // namespace

int MakeCaseCursor(const char* access) {
    if (!access) return VEXA_BAD_ARGUMENT;
    return api::ChangeCall(
        cmd::kMakeCaseCursor, Refusal::kWhenNotRunning, api::NothingToPrepare,
        [&] { return MirrorNewCursor(access); }, access);
}

int NextCase(void) {
    return api::QuickLocalCall(
        true,
        [](api::ApiConnection& connection) {
            CursorDataSmb* cursor = connection.caseData().cursor();
            return cursor && cursor->QuickNextCase();
        },
        StepToNextCase);
}

namespace {

// Everything but the quick lane's case: no cursor, an unusable output, user
// missing values, a malformed block. Out of line, so the lane keeps no frame.
[[gnu::noinline]] int ReadNumericValue(int index, double* value, int* missing) {
    return api::LocalCall(Refusal::kWhenNotRunning, value && missing, [&]() -> int {
        if (const CursorDataSmb* cursor = CaseData().cursor()) {
            return cursor->GetNumericValue(static_cast<std::uint32_t>(index), *value, *missing);
        }
        return api::StatusCall(cmd::kGetNumericValue, Refusal::kWhenNotRunning,
                               api::NumbersInto<1, 1>{{missing}, {value}}, index);
    });
}

}  // namespace

int GetNumericValue(int index, double* value, int* missing) {
    return api::QuickLocalCall(
        value && missing,
        [=](api::ApiConnection& connection) {
            const CursorDataSmb* cursor = connection.caseData().cursor();
            return cursor &&
                   cursor->QuickNumericValue(static_cast<std::uint32_t>(index), *value, *missing);
        },
        [=] { return ReadNumericValue(index, value, missing); });
}

int GetStringValue(int index, char** buffer, int length, int* missing) {
    const bool usable = buffer && missing && length >= 0 && (length == 0 || *buffer);
    return api::LocalCall(Refusal::kWhenNotRunning, usable, [&]() -> int {
        if (const CursorDataSmb* cursor = CaseData().cursor()) {
            return cursor->GetStringValue(static_cast<std::uint32_t>(index), *buffer, length,
                                          *missing);
        }
        return api::StatusCall(cmd::kGetStringValue, Refusal::kWhenNotRunning,
                               EngineStringInto{*buffer, length, missing}, index, length);
    });
}

int GetCursorPosition(int* position) {
    return api::StatusCall(cmd::kGetCursorPosition, Refusal::kWhenNotRunning,
                           api::IntsInto<1>{{position}});
}

int HasCursor(int* flag) {
    return api::StatusCall(cmd::kHasCursor, Refusal::kWhenNotRunning, api::IntsInto<1>{{flag}});
}

int IsEndSplit(int* flag) {
    return api::LocalCall(Refusal::kWhenNotRunning, flag != nullptr,
                          [&] { return EndSplitFlag(flag); });
}

int IsNeedCache(int* flag) {
    return api::StatusCall(cmd::kIsNeedCache, Refusal::kWhenNotRunning, api::IntsInto<1>{{flag}});
}

int* GetSplitEndIndex(int* count, int* err) {
    return api::ValueCall<int*>(cmd::kGetSplitEndIndex, Refusal::kNever, nullptr, err,
                                IntArrayInto{count});
}

int FreeIntArray(int* values, int count) {
    if (count > 0) delete[] values;
    return 0;
}

namespace {

int ClearMirror() {
    CaseData().Clear();
    return 0;
}

}  // namespace

int RemoveCaseCursor(void) {
    return api::ChangeCall(cmd::kRemoveCaseCursor, Refusal::kWhenNotRunning, ClearMirror,
                           api::NothingToPrepare);
}

int ResetDataPass(void) {
    return api::LocalCall(Refusal::kWhenNotRunning, true, [] {
        // The mirror goes whatever the engine answers, even on an exception.
        const api::ScopeExit clear([] { CaseData().Clear(); });
        return api::StatusCall(cmd::kResetDataPass, Refusal::kNever, api::NoResult);
    });
}
