// Checked access to reply values: a reply that lacks a value a call reads is
// a failed call (99105), never a read past the reply.
#pragma once

#include <string>

#include "codec/clexdsmb.h"

namespace api {

[[nodiscard]] int ReadInt(CleXDSmb& reply, int index, int& value);
[[nodiscard]] int ReadDouble(CleXDSmb& reply, int index, double& value);
[[nodiscard]] int ReadString(CleXDSmb& reply, int index, std::string& value);

// Reader of the first integer, for the value shapes.
inline int FirstInt(CleXDSmb& reply, int& value) { return ReadInt(reply, 0, value); }

}  // namespace api
