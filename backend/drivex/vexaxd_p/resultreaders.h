// Readers that turn a reply's blocks into the caller's results: shared
// strings, caller-owned arrays, value labels, string lists. Each checks
// everything it needs before it writes or allocates anything, so a reply that
// falls short leaves the caller's outputs as they were (99105).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "codec/clexdsmb.h"
#include "replyreader.h"
#include "resultlists.h"

namespace api {

// A reply's first string as the shared single string.
enum class MissingString { kFails, kEmpty, kNull };

struct SharedStringReader {
    MissingString whenMissing = MissingString::kFails;
    int operator()(CleXDSmb& reply, const char*& value) const;
};

// Consecutive integers, then consecutive doubles, to the caller's outputs.
template <int IntCount, int DoubleCount>
struct NumbersInto {
    int* ints[IntCount > 0 ? IntCount : 1] = {};
    double* doubles[DoubleCount > 0 ? DoubleCount : 1] = {};
    bool usable() const {
        for (int i = 0; i < IntCount; ++i) {
            if (!ints[i]) return false;
        }
        for (int i = 0; i < DoubleCount; ++i) {
            if (!doubles[i]) return false;
        }
        return true;
    }
    int operator()(CleXDSmb& reply) const {
        int intValues[IntCount > 0 ? IntCount : 1];
        double doubleValues[DoubleCount > 0 ? DoubleCount : 1];
        for (int i = 0; i < IntCount; ++i) {
            if (int status = ReadInt(reply, i, intValues[i])) return status;
        }
        for (int i = 0; i < DoubleCount; ++i) {
            if (int status = ReadDouble(reply, i, doubleValues[i])) return status;
        }
        for (int i = 0; i < IntCount; ++i) *ints[i] = intValues[i];
        for (int i = 0; i < DoubleCount; ++i) *doubles[i] = doubleValues[i];
        return 0;
    }
};

template <int N>
using IntsInto = NumbersInto<N, 0>;

// Missing format and three string missing values into 8-byte buffers.
struct StringMissingInto {
    int* format;
    char* buffers[3];
    bool usable() const;
    int operator()(CleXDSmb& reply) const;
};

// Count (the first integer) and that many strings as a caller-owned array.
struct StringArrayInto {
    char*** texts;
    int* count;
    bool usable() const { return texts && count; }
    int operator()(CleXDSmb& reply) const;
};

// Every string of the reply as a caller-owned array; the count is theirs.
struct AllStringsInto {
    char*** texts;
    int* count;
    bool usable() const { return texts && count; }
    int operator()(CleXDSmb& reply) const;
};

struct NumericLabelsInto {
    double** values;
    char*** labels;
    int* count;
    bool usable() const { return values && labels && count; }
    int operator()(CleXDSmb& reply) const;
};

struct StringLabelsInto {
    char*** values;
    char*** labels;
    int* count;
    bool usable() const { return values && labels && count; }
    int operator()(CleXDSmb& reply) const;
};

// Every string of the reply as a new string list.
[[nodiscard]] int ReadStringList(CleXDSmb& reply, void*& list);

struct MultiResponseSetInto {
    // The dataset form takes what a short reply holds: the two integers only
    // when both came, the two texts only when both came, and always the list.
    enum class ShortReply { kFails, kReadWhatCame };

    char** label;
    int* firstInteger;
    char** secondText;
    int* secondInteger;
    void** members;
    ShortReply whenShort = ShortReply::kFails;
    bool usable() const { return label && firstInteger && secondText && secondInteger && members; }
    // `done` is the value-shape result slot; the set goes to the outputs.
    int operator()(CleXDSmb& reply, int& done) const;
};

// The reply's wide string as the shared wide result; no wide string is the
// empty text, which the wire cannot tell apart from it.
[[nodiscard]] int ReadWideText(CleXDSmb& reply, const std::uint16_t*& value);

// An image: the binary string becomes the caller's data, the first integer
// its size (never beyond the bytes that came), a non-empty first string a new
// type text. A short reply leaves the binary string to the reply.
struct ImageInto {
    int* size;
    char** type;
    bool usable() const { return size && type; }
    int operator()(CleXDSmb& reply, char*& data) const;
};

// 99105, traced with the count the reply should have had.
int WrongStringCount(int expected);

// A reply of exactly N strings, each as a new caller-owned string.
template <int N>
struct ExactStringsInto {
    char** texts[N];
    bool usable() const {
        for (char** text : texts) {
            if (!text) return false;
        }
        return true;
    }
    int operator()(CleXDSmb& reply) const {
        const auto& values = reply.GetStringDataRef().Values();
        if (values.size() != static_cast<std::size_t>(N)) return WrongStringCount(N);
        std::unique_ptr<char[]> copies[N];
        for (int i = 0; i < N; ++i) {
            copies[i].reset(CallerString(values[static_cast<std::size_t>(i)]));
        }
        for (int i = 0; i < N; ++i) *texts[i] = copies[i].release();
        return 0;
    }
};
// The engine's locale name as a new caller-owned string, which this process
// then takes as its own locale; an empty string block changes nothing.
struct LocaleInto {
    char** text;
    bool usable() const { return text != nullptr; }
    int operator()(CleXDSmb& reply) const;
};

}  // namespace api
