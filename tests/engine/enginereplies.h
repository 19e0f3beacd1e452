// A command table over a fresh engine state, asked one request at a time:
// the fixture the engine's handler tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "codec/clexdsmb.h"
#include "commandtable.h"

namespace enginetest {

// A request's values: strings, integers and doubles, each block in order.
struct Values {
    Values(std::vector<std::string> s = {}, std::vector<std::int32_t> i = {},
           std::vector<double> d = {})
        : strings(std::move(s)), ints(std::move(i)), doubles(std::move(d)) {}
    std::vector<std::string> strings;
    std::vector<std::int32_t> ints;
    std::vector<double> doubles;
};

// A request built value by value, for requests whose blocks interleave.
struct Call {
    explicit Call(int action) { request.SetCommandAction(action); }
    Call& Int(std::int32_t value) {
        request.SetLong(value);
        return *this;
    }
    Call& Number(double value) {
        request.SetDouble(value);
        return *this;
    }
    Call& Text(const std::string& value) {
        request.SetString(value);
        return *this;
    }
    CleXDSmb request;
};

class EngineReplies : public ::testing::Test {
  protected:
    // The reply's error code; the reply stays in `reply`.
    int Dispatch(const CleXDSmb& request) {
        reply = CleXDSmb();
        table.Dispatch(request, reply, state);
        EXPECT_EQ(reply.GetCommandAction(), request.GetCommandAction());
        return reply.GetErrorCode();
    }
    int Ask(int code, const Values& values) {
        CleXDSmb request;
        request.SetCommandAction(code);
        for (const auto& text : values.strings) request.SetString(text);
        for (auto value : values.ints) request.SetLong(value);
        for (auto value : values.doubles) request.SetDouble(value);
        return Dispatch(request);
    }
    int Ask(int code, std::initializer_list<std::string> strings = {}) {
        return Ask(code, Values(strings));
    }
    int Ask(int code, std::initializer_list<std::int32_t> ints,
            std::initializer_list<std::string> strings = {}) {
        return Ask(code, Values(strings, ints));
    }

    // The reply's error code; the reply goes to the caller's message.
    int Run(const Call& call, CleXDSmb& reply) {
        table.Dispatch(call.request, reply, state);
        return reply.GetErrorCode();
    }
    int Run(const Call& call) {
        CleXDSmb reply;
        return Run(call, reply);
    }

    std::vector<std::int32_t> ReplyInts() const {
        return Block<std::int32_t>(reply.GetLongDataRef());
    }
    std::vector<double> ReplyDoubles() const { return Block<double>(reply.GetDoubleDataRef()); }
    std::vector<std::string> ReplyStrings() const {
        return Block<std::string>(reply.GetStringDataRef());
    }

    template <typename T, typename B>
    static std::vector<T> Block(const B& block) {
        std::vector<T> values;
        for (std::int32_t i = 0; i < block.Size(); ++i) values.push_back(block[i]);
        return values;
    }

    engine::CommandTable table = engine::BuildCommandTable();
    engine::EngineState state;
    CleXDSmb reply;
};

}  // namespace enginetest
