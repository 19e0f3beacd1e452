// Checked access to reply values: a reply that lacks a value a call reads is
// a failed call (99105), never a read past the reply.
#pragma once

#include <string>

#include "codec/clexdsmb.h"

namespace api {

int ReadInt(CleXDSmb& reply, int index, int& value);
int ReadDouble(CleXDSmb& reply, int index, double& value);
int ReadString(CleXDSmb& reply, int index, std::string& value);

// Reader of the first integer, for the value shapes.
inline int FirstInt(CleXDSmb& reply, int& value) { return ReadInt(reply, 0, value); }

// Status-shape reader writing consecutive integers to caller outputs, all or none.
template <int N>
struct IntsInto {
    int* outputs[N];
    bool usable() const {
        for (int* output : outputs) {
            if (!output) return false;
        }
        return true;
    }
    int operator()(CleXDSmb& reply) const {
        int values[N];
        for (int i = 0; i < N; ++i) {
            if (int status = ReadInt(reply, i, values[i])) return status;
        }
        for (int i = 0; i < N; ++i) *outputs[i] = values[i];
        return 0;
    }
};

}  // namespace api
