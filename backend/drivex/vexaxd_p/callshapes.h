// The result shapes of the exported functions, so that each function is a
// declaration of its command code, its request values and its reply reader.
// A reader is a callable (CleXDSmb& reply, T& value) -> status for the value
// shapes, or (CleXDSmb& reply) -> status for the status shape; it reads
// through the checked accessors of replyreader.h and writes the caller's
// outputs only when everything it needs is there.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "apiconnection.h"
#include "callframe.h"
#include "runtime/statuscodes.h"
#include "scopeexit.h"

namespace api {

enum class Refusal { kNever, kWhenNotRunning };

inline void Append(CleXDSmb& request, int value) { request.SetLong(value); }
// Any true value travels as 1.
inline void Append(CleXDSmb& request, bool value) { request.SetLong(value ? 1 : 0); }
inline void Append(CleXDSmb& request, double value) { request.SetDouble(value); }
// A null text adds no value, so the engine sees one string fewer.
inline void Append(CleXDSmb& request, const char* text) { request.SetString(text); }
inline void Append(CleXDSmb& request, const std::string& text) { request.SetString(text); }

// Exactly `length` bytes of caller text, zero bytes included.
struct TextBytes {
    const char* text;
    int length;
};
inline void Append(CleXDSmb& request, TextBytes bytes) {
    request.SetString(bytes.text, bytes.length);
}

// Queued cell records sent from where they lie, without a copy into the
// request; after the exchange, whatever its outcome, their room comes back
// empty for the next writes.
struct LentRecords {
    codec::CellRecords& records;
};
inline void Append(CleXDSmb& request, LentRecords lent) {
    request.SetStructRecords(std::move(lent.records));
}

// What a request value lent to the request goes back to once the exchange
// is over; values that were copied have nothing to take back.
template <typename Arg>
void Reclaim(CleXDSmb&, const Arg&) {}
inline void Reclaim(CleXDSmb& request, LentRecords lent) {
    lent.records = request.TakeStructRecords();
    lent.records.clear();
}

// Memory a bulk reply is read into instead of a fresh block: the block of an
// earlier reply the caller has used up. It travels with the frame, not the
// request; the frame drops it when the reply did not need it.
struct ReplyRoom {
    codec::OwnedBuffer* block;
};

// Each request value goes to the request, reply room to the reply.
template <typename Arg>
void Place(CallFrame& frame, const Arg& value) {
    Append(frame.request(), value);
}
inline void Place(CallFrame& frame, ReplyRoom room) {
    if (room.block) frame.reply().LendReceiveBlock(std::move(*room.block));
}

// Reply codes that are answers, not failures: one code, or several.
template <std::size_t N>
struct AnswerCodes {
    int codes[N];
    bool Holds(int code) const {
        for (int answer : codes) {
            if (code == answer) return true;
        }
        return false;
    }
};
inline bool IsAnswer(int answer, int code) { return code == answer; }
template <std::size_t N>
bool IsAnswer(const AnswerCodes<N>& answers, int code) {
    return answers.Holds(code);
}

// Caller errors in the request values are refused before anything is sent.
template <typename Arg>
bool Valid(const Arg&) {
    return true;
}
inline bool Valid(TextBytes bytes) {
    return bytes.length >= 0 && (bytes.text || bytes.length == 0);
}

// Nothing thrown inside a call crosses the library's boundary; anything but
// an exhausted heap is a fault of the library itself.
template <typename Body>
[[nodiscard]] int Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    } catch (...) {
        return VEXA_INTERNAL_FAULT;
    }
}

// The connection never moves: looked up once, since the local calls of a
// cursor pass ask for it per value. Null until the first look-up.
inline std::atomic<ApiConnection*> g_keptConnection{nullptr};
inline ApiConnection& KeptConnection() {
    ApiConnection* connection = g_keptConnection.load(std::memory_order_acquire);
    if (!connection) {
        connection = &Connection();
        g_keptConnection.store(connection, std::memory_order_release);
    }
    return *connection;
}

[[nodiscard]] inline bool Refused(Refusal refusal) {
    return refusal == Refusal::kWhenNotRunning && !KeptConnection().running();
}

// The caller's optional error output.
inline void Report(int* err, int status) {
    if (err) *err = status;
}

// Status shape: the result is the error code; outputs through the reader.
// A reader with a usable() member says whether the caller's outputs can take
// a result; a caller error is refused before anything is sent.
template <typename Reader>
bool Usable(const Reader& read) {
    if constexpr (requires { read.usable(); }) {
        return read.usable();
    } else {
        return true;
    }
}

// One round trip after the caller checks and the refusal; `then` takes the
// reply of a call that succeeded, or of one whose reply carries the code
// `answer` (or one of its AnswerCodes: an answer, not a failure; the result
// is that code unless `then` fails). The reply arrives in `into` when given,
// else in the frame's own. Not guarded: the shapes below are.
template <typename Answer, typename Then, typename... Args>
[[nodiscard]] int ExchangedInto(CleXDSmb* into, int command, Refusal refusal, bool usable,
                                const Answer& answer, Then&& then, const Args&... args) {
    if (!usable || !(Valid(args) && ...)) return VEXA_BAD_ARGUMENT;
    if (Refused(refusal)) return VEXA_ENGINE_NOT_RUNNING;
    CallFrame frame(command);
    if (into) frame.ReceiveInto(*into);
    (Place(frame, args), ...);
    const ScopeExit reclaim([&] { (Reclaim(frame.request(), args), ...); });
    const int result = frame.Exchange();
    // An answer code must be the reply's own, not a transport failure.
    const bool answered =
        result == 0 || (IsAnswer(answer, result) && result == frame.reply().GetErrorCode());
    if (!answered) return result;
    if (int status = then(frame.reply())) return status;
    return result;
}

template <typename Answer, typename Then, typename... Args>
[[nodiscard]] int Exchanged(int command, Refusal refusal, bool usable, const Answer& answer,
                            Then&& then, const Args&... args) {
    return ExchangedInto(nullptr, command, refusal, usable, answer, then, args...);
}

template <typename Reader, typename... Args>
[[nodiscard]] int StatusCall(int command, Refusal refusal, Reader&& read, const Args&... args) {
    return Guarded([&] { return Exchanged(command, refusal, Usable(read), 0, read, args...); });
}

// Status shape of a command whose reply may carry `answer` instead of 0; the
// reader takes that reply too.
template <typename Answer, typename Reader, typename... Args>
[[nodiscard]] int AnsweredCall(int command, Refusal refusal, const Answer& answer, Reader&& read,
                               const Args&... args) {
    return Guarded(
        [&] { return Exchanged(command, refusal, Usable(read), answer, read, args...); });
}

// Local status shape: `body()` works on what the library holds, reaching the
// engine at most through other shapes; a caller error is refused first, then
// a call the refusal forbids.
template <typename Body>
[[nodiscard]] int LocalCall(Refusal refusal, bool usable, Body&& body) {
    return Guarded([&]() -> int {
        if (!usable) return VEXA_BAD_ARGUMENT;
        if (Refused(refusal)) return VEXA_ENGINE_NOT_RUNNING;
        return body();
    });
}

// Local status shape with a quick lane: while the engine runs and the
// caller's outputs are usable, `quick(connection)` may answer the common case
// without any call or throw (true: the result is 0). Every other case is
// `slow()`, which makes the full checks itself (a LocalCall out of line), so
// that the lane keeps no frame and a value read costs a few loads.
template <typename Quick, typename Slow>
[[nodiscard]] int QuickLocalCall(bool usable, Quick&& quick, Slow&& slow) {
    ApiConnection* connection = g_keptConnection.load(std::memory_order_acquire);
    if (usable && connection && connection->running() && quick(*connection)) return 0;
    return slow();
}

// Local value shape: `body(T& value)` computes without a round trip; the
// result is the value, `failure` when the body failed; the error code goes to
// `err` when the caller gave one.
template <typename T, typename Body>
[[nodiscard]] T LocalValue(T failure, int* err, Body&& body) {
    T value = failure;
    const int status = Guarded([&]() -> int {
        T got = failure;
        if (int code = body(got)) return code;
        value = got;
        return 0;
    });
    Report(err, status);
    return status == 0 ? value : failure;
}

// Value shape: the result is the value, `failure` when the call failed; the
// error code goes to `err` when the caller gave one.
template <typename T, typename Reader, typename... Args>
[[nodiscard]] T ValueCall(int command, Refusal refusal, T failure, int* err, Reader&& read,
                          const Args&... args) {
    return LocalValue(failure, err, [&](T& got) {
        return Exchanged(
            command, refusal, Usable(read), 0, [&](CleXDSmb& reply) { return read(reply, got); },
            args...);
    });
}

// Exchange shape followed by a local state change: `prepare()` runs after
// the refusal and before the request (its failure ends the call), `change()`
// only after a reply without error; the status is the result.
template <typename Prepare, typename Change, typename... Args>
[[nodiscard]] int ChangeCall(int command, Refusal refusal, Prepare&& prepare, Change&& change,
                             const Args&... args) {
    return Guarded([&]() -> int {
        if (!(Valid(args) && ...)) return VEXA_BAD_ARGUMENT;
        if (Refused(refusal)) return VEXA_ENGINE_NOT_RUNNING;
        if (int prepared = prepare()) return prepared;
        return Exchanged(
            command, Refusal::kNever, true, 0, [&](CleXDSmb&) { return change(); }, args...);
    });
}

// For a ChangeCall with nothing to prepare.
inline int NothingToPrepare() { return 0; }

// Bare value shape: no error is reported, `fallback` stands for any failure.
template <typename T, typename Reader, typename... Args>
[[nodiscard]] T BareCall(int command, T fallback, Reader&& read, const Args&... args) {
    return ValueCall(command, Refusal::kNever, fallback, nullptr, read, args...);
}

// Value shape without a value: the outcome is only reported through `err`.
template <typename Reader, typename... Args>
void ReportCall(int command, Refusal refusal, int* err, Reader&& read, const Args&... args) {
    // The outcome travels through `err` alone.
    static_cast<void>(ValueCall(command, refusal, 0, err, read, args...));
}

// Kept-reply shape: the reply is received into a fresh `Message` that
// `kept` holds after a reply without error (null after any failure), so that
// a bulk reply is read in place for as long as the caller keeps it.
template <typename Message, typename... Args>
[[nodiscard]] int KeptReplyCall(int command, Refusal refusal, std::unique_ptr<Message>& kept,
                                const Args&... args) {
    kept.reset();
    return Guarded([&]() -> int {
        auto reply = std::make_unique<Message>();
        return ExchangedInto(
            reply.get(), command, refusal, true, 0,
            [&](CleXDSmb&) {
                kept = std::move(reply);
                return 0;
            },
            args...);
    });
}

// Reader for calls whose reply carries nothing the caller reads.
inline int NoResult(CleXDSmb&) { return 0; }
inline int NoValue(CleXDSmb&, int&) { return 0; }

}  // namespace api
