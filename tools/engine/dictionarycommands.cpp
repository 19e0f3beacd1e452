// The dictionary family: questions about the active dataset, their twins
// about the procedure's dataset (answered only while a procedure is open),
// and the engine-wide values.
#include <limits>
#include <string>
#include <vector>

#include "commandcodes.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"
#include "varname.h"

namespace engine {
namespace {

// The position argument as an index of `data`; 0 or the failure's code.
int Position(const RequestArgs& args, const Dataset& data, std::size_t& index) {
    auto position = args.Int(0);
    if (!position) return VEXA_MALFORMED_MESSAGE;
    if (*position < 0 || static_cast<std::size_t>(*position) >= data.VariableCount()) return kNoSuchItem;
    index = static_cast<std::size_t>(*position);
    return VEXA_OK;
}

void SetCount(CleXDSmb& reply, std::size_t count) { reply.SetLong(static_cast<std::int32_t>(count)); }

void SetCountedStrings(CleXDSmb& reply, const std::vector<std::string>& texts) {
    SetCount(reply, texts.size());
    for (const auto& text : texts) reply.SetString(text);
}

// Blank-padded to the 8 bytes a case cell holds, as the client matches them.
std::string MissingCell(const std::string& text) {
    std::string cell = text;
    if (cell.size() < kStringMissingWidth) cell.resize(kStringMissingWidth, ' ');
    return cell;
}

using VariableAnswer = void (*)(const Variable& variable, CleXDSmb& reply);

// A question whose only argument is the variable's position.
template <VariableAnswer Answer>
int AboutVariable(const RequestArgs& args, CleXDSmb& reply, EngineState& state) {
    std::size_t index = 0;
    if (int failed = Position(args, state.active, index)) return failed;
    Answer(state.active.variable(index), reply);
    return VEXA_OK;
}

void Name(const Variable& variable, CleXDSmb& reply) { reply.SetString(variable.name); }
void Label(const Variable& variable, CleXDSmb& reply) { reply.SetString(variable.label); }
void Type(const Variable& variable, CleXDSmb& reply) { reply.SetLong(variable.type); }
void FormatText(const Variable& variable, CleXDSmb& reply) { reply.SetString(variable.properties.format.Text()); }
void Level(const Variable& variable, CleXDSmb& reply) { reply.SetLong(variable.properties.level); }
void RoleOf(const Variable& variable, CleXDSmb& reply) { reply.SetLong(variable.properties.role); }

void FormatType(const Variable& variable, CleXDSmb& reply) {
    const PrintFormat& format = variable.properties.format;
    reply.SetLong(format.code);
    reply.SetLong(format.width);
    reply.SetLong(format.decimals);
}

// A string variable has no numeric missing values, and the reverse.
void NumericMissing(const Variable& variable, CleXDSmb& reply) {
    const MissingValues& missing = variable.properties.missing;
    const bool applies = variable.IsNumeric();
    reply.SetLong(applies ? missing.format : kNoMissing);
    for (double value : missing.numbers) reply.SetDouble(applies ? value : 0.0);
}

void StringMissing(const Variable& variable, CleXDSmb& reply) {
    const MissingValues& missing = variable.properties.missing;
    const bool applies = !variable.IsNumeric();
    reply.SetLong(applies ? missing.format : kNoMissing);
    for (const auto& text : missing.texts) reply.SetString(MissingCell(applies ? text : std::string()));
}

void NumericLabels(const Variable& variable, CleXDSmb& reply) {
    const auto& entries = variable.properties.numericLabels.entries();
    SetCount(reply, entries.size());
    for (const auto& entry : entries) reply.SetDouble(entry.first);
    for (const auto& entry : entries) reply.SetString(entry.second);
}

void StringLabels(const Variable& variable, CleXDSmb& reply) {
    const auto& entries = variable.properties.stringLabels.entries();
    SetCount(reply, entries.size());
    StringData values;
    StringData labels;
    for (const auto& entry : entries) {
        values.SetValue(entry.first);
        labels.SetValue(entry.second);
    }
    reply.SetStringArray(values);
    reply.SetStringArray(labels);
}

void AttributeNames(const Variable& variable, CleXDSmb& reply) {
    SetCountedStrings(reply, variable.properties.attributes.Names());
}

void SetAttributeValues(const AttributeSet& attributes, const std::string& name, CleXDSmb& reply) {
    const std::vector<std::string>* values = attributes.Find(name);
    SetCountedStrings(reply, values ? *values : std::vector<std::string>());
}

// The position comes first, then the attribute's name.
int VariableAttributes(const RequestArgs& args, CleXDSmb& reply, EngineState& state) {
    std::size_t index = 0;
    if (int failed = Position(args, state.active, index)) return failed;
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    SetAttributeValues(state.active.variable(index).properties.attributes, *name, reply);
    return VEXA_OK;
}

int VariableCount(const RequestArgs&, CleXDSmb& reply, EngineState& state) {
    SetCount(reply, state.active.VariableCount());
    return VEXA_OK;
}

int CaseCount(const RequestArgs&, CleXDSmb& reply, EngineState& state) {
    SetCount(reply, state.active.CaseCount());
    return VEXA_OK;
}

int FileAttributeNames(const RequestArgs&, CleXDSmb& reply, EngineState& state) {
    SetCountedStrings(reply, state.active.file().attributes.Names());
    return VEXA_OK;
}

int FileAttributes(const RequestArgs& args, CleXDSmb& reply, EngineState& state) {
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    SetAttributeValues(state.active.file().attributes, *name, reply);
    return VEXA_OK;
}

int SetNames(const RequestArgs&, CleXDSmb& reply, EngineState& state) {
    for (const auto& set : state.active.file().sets) reply.SetString(set.name);
    return VEXA_OK;
}

int SetDefinition(const RequestArgs& args, CleXDSmb& reply, EngineState& state) {
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    const MultiResponseSet* set = state.active.file().FindSet(*name);
    if (!set) return kNoSuchItem;
    reply.SetLong(set->kind);
    reply.SetLong(set->second);
    reply.SetString(set->label);
    reply.SetString(set->countedValue);
    for (const auto& member : set->members) reply.SetString(member);
    return VEXA_OK;
}

int WeightVariable(const RequestArgs&, CleXDSmb& reply, EngineState& state) {
    reply.SetString(state.active.file().weight);
    return VEXA_OK;
}

int SplitVariables(const RequestArgs&, CleXDSmb& reply, EngineState& state) {
    for (const auto& name : state.active.file().split) reply.SetString(name);
    return VEXA_OK;
}

int SystemMissing(const RequestArgs&, CleXDSmb& reply, EngineState&) {
    reply.SetDouble(kSystemMissing);
    return VEXA_OK;
}

// The markers for "lowest" and "highest" in value ranges.
int LowHigh(const RequestArgs&, CleXDSmb& reply, EngineState&) {
    reply.SetDouble(std::numeric_limits<double>::lowest());
    reply.SetDouble(std::numeric_limits<double>::max());
    return VEXA_OK;
}

// A request without a name (the library sends none for a null pointer)
// asks about the empty name.
int ValidateName(const RequestArgs& args, CleXDSmb& reply, EngineState&) {
    reply.SetLong(ValidateVariableName(args.String(0).value_or(std::string())));
    return VEXA_OK;
}

template <CommandHandler Handler>
int InProcedure(const RequestArgs& args, CleXDSmb& reply, EngineState& state) {
    if (!state.output.IsOpen()) return kNoProcedureOpen;
    return Handler(args, reply, state);
}

constexpr int kNoTwin = -1;

template <CommandHandler Handler>
void Ask(CommandTable& table, int activeCode, int procedureCode = kNoTwin) {
    table.Register(activeCode, Handler);
    if (procedureCode != kNoTwin) table.Register(procedureCode, InProcedure<Handler>);
}

}  // namespace

void RegisterDictionaryCommands(CommandTable& table) {
    Ask<VariableCount>(table, cmd::kGetVariableCount, cmd::kGetVariableCountInProcDS);
    Ask<CaseCount>(table, cmd::kGetRowCount, cmd::kGetRowCountInProcDS);
    Ask<AboutVariable<Name>>(table, cmd::kGetVariableName, cmd::kGetVariableNameInProcDS);
    Ask<AboutVariable<Label>>(table, cmd::kGetVariableLabel, cmd::kGetVariableLabelInProcDS);
    Ask<AboutVariable<Type>>(table, cmd::kGetVariableType, cmd::kGetVariableTypeInProcDS);
    Ask<AboutVariable<FormatText>>(table, cmd::kGetVariableFormat, cmd::kGetVariableFormatInProcDS);
    Ask<AboutVariable<Level>>(table, cmd::kGetVariableMeasurementLevel, cmd::kGetVariableMeasurementLevelInProcDS);
    Ask<AboutVariable<RoleOf>>(table, cmd::kGetVariableRole, cmd::kGetVariableRoleInProcDS);
    Ask<AboutVariable<FormatType>>(table, cmd::kGetVariableFormatType, cmd::kGetVariableFormatTypeInProcDS);
    Ask<AboutVariable<NumericMissing>>(table, cmd::kGetVarNMissingValues, cmd::kGetVarNMissingValuesInProcDS);
    Ask<AboutVariable<StringMissing>>(table, cmd::kGetVarCMissingValues, cmd::kGetVarCMissingValuesInProcDS);
    Ask<AboutVariable<NumericLabels>>(table, cmd::kGetNValueLabels);
    Ask<AboutVariable<StringLabels>>(table, cmd::kGetCValueLabels);
    Ask<AboutVariable<AttributeNames>>(table, cmd::kGetVarAttributeNames, cmd::kGetVarAttributeNamesInProcDS);
    Ask<VariableAttributes>(table, cmd::kGetVarAttributes, cmd::kGetVarAttributesInProcDS);
    Ask<FileAttributeNames>(table, cmd::kGetDataFileAttributeNames, cmd::kGetDataFileAttributeNamesInProcDS);
    Ask<FileAttributes>(table, cmd::kGetDataFileAttributes, cmd::kGetDataFileAttributesInProcDS);
    Ask<SetNames>(table, cmd::kGetMultiResponseSetNames, cmd::kGetMultiResponseSetNamesInProcDS);
    Ask<SetDefinition>(table, cmd::kGetMultiResponseSet, cmd::kGetMultiResponseSetInProcDS);
    Ask<WeightVariable>(table, cmd::kGetWeightVar);
    Ask<SplitVariables>(table, cmd::kGetSplitVariableNames);
    Ask<SystemMissing>(table, cmd::kGetSystemMissingValue);
    Ask<LowHigh>(table, cmd::kGetVEXALowHigh);
    Ask<ValidateName>(table, cmd::kValidateVarName);
}

}  // namespace engine
