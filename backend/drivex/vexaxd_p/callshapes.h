// The three result shapes of the exported functions, so that each function is
// a declaration of its command code, its request values and its reply reader.
// A reader is a callable (CleXDSmb& reply, T& value) -> status for the value
// shapes, or (CleXDSmb& reply) -> status for the status shape; it reads
// through the checked accessors of replyreader.h and writes the caller's
// outputs only when everything it needs is there.
#pragma once

#include <cerrno>
#include <new>
#include <string>

#include "apiconnection.h"
#include "callframe.h"
#include "runtime/statuscodes.h"

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
inline void Append(CleXDSmb& request, TextBytes bytes) { request.SetString(bytes.text, bytes.length); }

// Caller errors in the request values are refused before anything is sent.
template <typename Arg>
bool Valid(const Arg&) {
    return true;
}
inline bool Valid(TextBytes bytes) { return bytes.length >= 0 && (bytes.text || bytes.length == 0); }

// Nothing thrown inside a call crosses the library's boundary.
template <typename Body>
int Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    } catch (...) {
        return VEXA_MALFORMED_MESSAGE;
    }
}

inline bool Refused(Refusal refusal) {
    return refusal == Refusal::kWhenNotRunning && !Connection().running();
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

template <typename Reader, typename... Args>
int StatusCall(int command, Refusal refusal, Reader&& read, const Args&... args) {
    return Guarded([&]() -> int {
        if (!Usable(read) || !(Valid(args) && ...)) return VEXA_BAD_ARGUMENT;
        if (Refused(refusal)) return VEXA_ENGINE_NOT_RUNNING;
        CallFrame frame(command);
        (Append(frame.request(), args), ...);
        if (int status = frame.Exchange()) return status;
        return read(frame.reply());
    });
}

// Value shape: the result is the value, `failure` when the call failed; the
// error code goes to `err` when the caller gave one.
template <typename T, typename Reader, typename... Args>
T ValueCall(int command, Refusal refusal, T failure, int* err, Reader&& read, const Args&... args) {
    T value = failure;
    int status = Guarded([&]() -> int {
        if (!Usable(read) || !(Valid(args) && ...)) return VEXA_BAD_ARGUMENT;
        if (Refused(refusal)) return VEXA_ENGINE_NOT_RUNNING;
        CallFrame frame(command);
        (Append(frame.request(), args), ...);
        if (int code = frame.Exchange()) return code;
        T got = failure;
        if (int code = read(frame.reply(), got)) return code;
        value = got;
        return 0;
    });
    if (err) *err = status;
    return status == 0 ? value : failure;
}

// Bare value shape: no error is reported, `fallback` stands for any failure.
template <typename T, typename Reader, typename... Args>
T BareCall(int command, T fallback, Reader&& read, const Args&... args) {
    return ValueCall(command, Refusal::kNever, fallback, nullptr, read, args...);
}

// Value shape without a value: the outcome is only reported through `err`.
template <typename Reader, typename... Args>
void ReportCall(int command, Refusal refusal, int* err, Reader&& read, const Args&... args) {
    ValueCall(command, refusal, 0, err, read, args...);
}

// Reader for calls whose reply carries nothing the caller reads.
inline int NoResult(CleXDSmb&) { return 0; }
inline int NoValue(CleXDSmb&, int&) { return 0; }

}  // namespace api
