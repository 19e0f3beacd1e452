// Maps a request's command action to the handler of its command family.
// Handlers read their arguments through RequestArgs, which never reads a
// value the request lacks, and fill the reply's blocks; the value they return
// is the reply's error code.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "codec/clexdsmb.h"
#include "enginestate.h"

namespace engine {

class RequestArgs {
  public:
    explicit RequestArgs(const CleXDSmb& request) : m_request(request) {}

    std::optional<std::int32_t> Int(std::int32_t index) const;
    std::optional<double> Double(std::int32_t index) const;
    std::optional<std::string> String(std::int32_t index) const;

    // Whole blocks, for commands whose argument lists vary in length.
    const LongData& Ints() const { return m_request.GetLongDataRef(); }
    const DoubleData& Doubles() const { return m_request.GetDoubleDataRef(); }
    const StringData& Strings() const { return m_request.GetStringDataRef(); }
    // Calls visit(const codec::CellRecord&) per cell record until it returns
    // false; whether every record was visited.
    template <typename Visit>
    bool ForEachRecord(Visit&& visit) const {
        return m_request.ForEachCellRecord(visit);
    }
    // Null when the request has no such array.
    const StringData* StringArray(std::size_t index) const;
    const LongData* LongArray(std::size_t index) const;
    std::span<const unsigned char> VoidData() const;

  private:
    const CleXDSmb& m_request;
};

// A handler is given only the part of the engine its command serves: one of
// the state's parts, or a context made from the state for the request (a
// class constructible from EngineState&).
template <typename Part>
using PartHandler = int (*)(const RequestArgs& args, CleXDSmb& reply, Part& part);

class CommandTable {
  public:
    // A code registered twice keeps its first handler; the families must
    // not overlap, and a test checks that they do not. Takes a PartHandler
    // or a lambda without captures that converts to one.
    template <typename Handler>
    bool Register(int code, Handler handler) {
        return Add(code, +handler);
    }
    bool Knows(int code) const { return m_handlers.count(code) != 0; }

    // Fills `reply` and sets its error code: the handler's result, the
    // engine's unknown-command code, or the malformed-message code when a
    // handler failed on what the request held.
    void Dispatch(const CleXDSmb& request, CleXDSmb& reply, EngineState& state) const;

  private:
    // Handlers of every part share one map: each is kept as a plain function
    // pointer beside the caller that turns it back into its own type, which
    // is the round trip the language defines for function pointers.
    using AnyHandler = void (*)();
    using Caller = int (*)(AnyHandler handler, const RequestArgs& args, CleXDSmb& reply,
                           EngineState& state);
    struct Entry {
        AnyHandler handler;
        Caller call;
    };

    template <typename Part>
    bool Add(int code, PartHandler<Part> handler) {
        return m_handlers.emplace(code, Entry{reinterpret_cast<AnyHandler>(handler), &Call<Part>})
            .second;
    }

    template <typename Part>
    static int Call(AnyHandler handler, const RequestArgs& args, CleXDSmb& reply,
                    EngineState& state) {
        const auto typed = reinterpret_cast<PartHandler<Part>>(handler);
        if constexpr (std::is_base_of_v<std::remove_const_t<Part>, EngineState>) {
            return typed(args, reply, state);
        } else {
            Part part(state);
            return typed(args, reply, part);
        }
    }

    std::unordered_map<int, Entry> m_handlers;
};

// One registration function per command family.
void RegisterSessionCommands(CommandTable& table);
void RegisterDictionaryCommands(CommandTable& table);
void RegisterProcedureCommands(CommandTable& table);
void RegisterSubmissionCommands(CommandTable& table);
void RegisterPivotCommands(CommandTable& table);
void RegisterXPathCommands(CommandTable& table);
void RegisterSettingsCommands(CommandTable& table);
void RegisterCursorCommands(CommandTable& table);
void RegisterCaseWriteCommands(CommandTable& table);
void RegisterDatasetCommands(CommandTable& table);
void RegisterDataStepCommands(CommandTable& table);
void RegisterTempFileCommands(CommandTable& table);

// The dataset a request's first string names ("*" the active one): 0, or
// kNoSuchDataset, or the malformed-message code when there is no string.
int NamedDataset(const RequestArgs& args, DataContext& state, Dataset*& data);

// A measurement level as the named-dataset requests spell it ("nominal",
// "ordinal", "scale"); ParseLevelText ignores case.
std::string LevelText(int level);
std::optional<int> ParseLevelText(const std::string& text);

// Every family the engine answers.
CommandTable BuildCommandTable();

}  // namespace engine
