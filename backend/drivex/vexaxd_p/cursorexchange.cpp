#include "cursorexchange.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "callshapes.h"
#include "codec/protocol.h"
#include "replyreader.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"

namespace api {
namespace {

int Malformed(const char* condition) {
    DxTraceError(std::string("case cursor ") + condition, VEXA_MALFORMED_MESSAGE);
    return VEXA_MALFORMED_MESSAGE;
}

// Values of `block` that a missing format uses.
int ValuesUsed(int format, bool numeric) {
    if (format >= 1 && format <= 3) return format;
    if (numeric && format == VarInfo::RANGE) return 2;
    if (numeric && format == VarInfo::RANGE_AND_VALUE) return 3;
    return 0;
}

struct NumericMissingRecord {
    VarInfo& info;
    int operator()(CleXDSmb& reply) const {
        int format = 0;
        if (int status = ReadInt(reply, 0, format)) return status;
        const auto& values = reply.GetDoubleDataRef().Values();
        if (values.size() < static_cast<std::size_t>(ValuesUsed(format, true))) {
            return Malformed("numeric missing values cover their format");
        }
        double cells[3] = {0.0, 0.0, 0.0};
        std::copy_n(values.begin(), std::min<std::size_t>(values.size(), 3), cells);
        info.SetNumericMissing(format, cells[0], cells[1], cells[2]);
        return 0;
    }
};

// Blank-padded like the case values they are compared with, so that an
// engine sending "NA" or "NA      " declares the same value.
struct StringMissingRecord {
    VarInfo& info;
    int operator()(CleXDSmb& reply) const {
        int format = 0;
        if (int status = ReadInt(reply, 0, format)) return status;
        const auto& values = reply.GetStringDataRef().Values();
        if (values.size() < static_cast<std::size_t>(ValuesUsed(format, false))) {
            return Malformed("string missing values cover their format");
        }
        info.missingFormat = format;
        const std::size_t given = std::min<std::size_t>(values.size(), 3);
        for (std::size_t k = 0; k < given; ++k) {
            info.SetStringMissingValue(static_cast<int>(k), values[k]);
        }
        return 0;
    }
};

int LoadVariable(CursorDataSmb& cursor, int index) {
    int err = 0;
    const int type =
        ValueCall(cmd::kGetVariableTypeInProcDS, Refusal::kNever, -1, &err, FirstInt, index);
    if (err) return err;
    if (type < 0) return Malformed("variable type >= 0");
    VarInfo info;
    info.type = type;
    const int missing = type != 0 ? StatusCall(cmd::kGetVarCMissingValues, Refusal::kNever,
                                               StringMissingRecord{info}, index)
                                  : StatusCall(cmd::kGetVarNMissingValues, Refusal::kNever,
                                               NumericMissingRecord{info}, index);
    if (missing) return missing;
    if (cursor.AddVariable(info)) return Malformed("case size fits 32 bits");
    return 0;
}

void ReleaseBlock(CursorDataSmb& cursor) {
    cursor.SetCasePtr(nullptr, 0);
    cursor.SetReceivedCases(-1);
    cursor.SetLastError(0);
}

// The block of void data, where the cases start in it and their length.
struct ReceivedBlock {
    codec::OwnedBuffer block;
    std::size_t length = 0;
    std::size_t offset = 0;

    explicit ReceivedBlock(CleXDSmb& reply) {
        std::int32_t bytes = 0;
        block = reply.TakeVoidBlock(bytes, offset);
        length = static_cast<std::size_t>(std::max(bytes, 0));
    }
    int HandTo(CursorDataSmb& cursor, int cases, int lastError) {
        return cursor.TakeCaseBlock(block, cases, lastError, length, offset);
    }
};

// The reply to a block fetch: the count of cases first, the block as void
// data. An end code's reply without cases ends the pass with that code; a
// plain reply without cases is an empty block, used up at once.
struct NextBlockInto {
    CursorDataSmb& cursor;
    int operator()(CleXDSmb& reply) const {
        const bool ends = reply.GetErrorCode() != 0;
        if (ends && (reply.GetLongDataRef().Size() < 1 || reply.GetLongDataRef()[0] < 1)) return 0;
        int cases = 0;
        if (int status = ReadInt(reply, 0, cases)) return status;
        if (cases == 0) return CursorDataSmb::NO_CACHE_DATA;
        return ReceivedBlock(reply).HandTo(cursor, cases, reply.GetErrorCode());
    }
};

}  // namespace

int AccessTypeOf(const char* text) {
    if (!text) return 2;
    if (std::strcmp(text, "r") == 0 || std::strcmp(text, "R") == 0) return 0;
    if (std::strcmp(text, "w") == 0 || std::strcmp(text, "W") == 0) return 1;
    return 2;
}

int LoadCursorLayout(CursorDataSmb& cursor) {
    int err = 0;
    const int count = ValueCall(cmd::kGetVariableCountInProcDS, Refusal::kNever, 0, &err, FirstInt);
    if (err) return err;
    if (count < 0) return Malformed("variable count >= 0");
    for (int i = 0; i < count; ++i) {
        if (int status = LoadVariable(cursor, i)) return status;
    }
    return 0;
}

int RefillCaseBlock(CursorDataSmb& cursor) {
    codec::OwnedBuffer room = cursor.TakeUsedBlock();
    const std::int32_t wanted = cursor.CasesPerBlock();
    const std::int32_t caseSize = cursor.GetOneCaseSize();
    // Whatever the outcome, the used-up block is gone; a reply with cases
    // hands the cursor its next one.
    ReleaseBlock(cursor);
    const AnswerCodes<2> ends{{protocol::kEndOfData, protocol::kEndOfSplit}};
    const int status = AnsweredCall(cmd::kNextCaseRefill, Refusal::kNever, ends,
                                    NextBlockInto{cursor}, ReplyRoom{&room}, wanted, caseSize);
    // Cases arrived: an end code that came with them waits in the cursor
    // until they are used up.
    return cursor.HasData() ? 0 : status;
}

int AdoptCommittedCases(CursorDataSmb& cursor, CleXDSmb& reply) {
    std::int32_t length = 0;
    reply.GetVoidData(length);
    if (length <= 0) return 0;
    int cases = 0;
    if (int status = ReadInt(reply, 0, cases)) return status;
    if (int status = ReceivedBlock(reply).HandTo(cursor, cases, 0)) return status;
    cursor.SetCurCasePos(-1);
    return 0;
}

}  // namespace api
