#include "commandtable.h"

#include <cerrno>
#include <new>

#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

template <typename Block>
auto ValueAt(const Block& block, std::int32_t index)
    -> std::optional<std::decay_t<decltype(block[0])>> {
    if (index < 0 || index >= block.Size()) return std::nullopt;
    return block[index];
}

}  // namespace

std::optional<std::int32_t> RequestArgs::Int(std::int32_t index) const {
    return ValueAt(m_request.GetLongDataRef(), index);
}

std::optional<double> RequestArgs::Double(std::int32_t index) const {
    return ValueAt(m_request.GetDoubleDataRef(), index);
}

std::optional<std::string> RequestArgs::String(std::int32_t index) const {
    return ValueAt(m_request.GetStringDataRef(), index);
}

const StringData* RequestArgs::StringArray(std::size_t index) const {
    const auto& arrays = m_request.GetStringArrayRef();
    return index < arrays.size() ? &arrays[index] : nullptr;
}

const LongData* RequestArgs::LongArray(std::size_t index) const {
    const auto& arrays = m_request.GetLongArrayRef();
    return index < arrays.size() ? &arrays[index] : nullptr;
}

std::span<const unsigned char> RequestArgs::VoidData() const {
    std::int32_t length = 0;
    const void* data = m_request.GetVoidData(length);
    if (!data || length <= 0) return {};
    return {static_cast<const unsigned char*>(data), static_cast<std::size_t>(length)};
}

void CommandTable::Dispatch(const CleXDSmb& request, CleXDSmb& reply, EngineState& state) const {
    reply.SetCommandAction(request.GetCommandAction());
    auto found = m_handlers.find(request.GetCommandAction());
    if (found == m_handlers.end()) {
        reply.SetErrorCode(kUnknownCommand);
        return;
    }
    int code;
    try {
        code = found->second.call(found->second.handler, RequestArgs(request), reply, state);
    } catch (const std::bad_alloc&) {
        code = ENOMEM;
    } catch (...) {
        code = VEXA_MALFORMED_MESSAGE;
    }
    reply.SetErrorCode(code);
}

CommandTable BuildCommandTable() {
    CommandTable table;
    RegisterSessionCommands(table);
    RegisterDictionaryCommands(table);
    RegisterProcedureCommands(table);
    RegisterSubmissionCommands(table);
    RegisterPivotCommands(table);
    RegisterXPathCommands(table);
    RegisterSettingsCommands(table);
    RegisterCursorCommands(table);
    RegisterCaseWriteCommands(table);
    RegisterDatasetCommands(table);
    RegisterDataStepCommands(table);
    RegisterTempFileCommands(table);
    return table;
}

}  // namespace engine
