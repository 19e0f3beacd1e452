// The dictionary family: questions about the active dataset, their twins
// about the procedure's dataset (answered only while a procedure is open)
// and about a named dataset (the request's first string names it, so the
// question's own strings come after it), and the engine-wide values.
#include <algorithm>
#include <cctype>
#include <limits>
#include <string>
#include <vector>

#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"
#include "varname.h"

namespace engine {

namespace {

constexpr const char* kLevelTexts[] = {"nominal", "ordinal", "scale"};

}  // namespace

std::string LevelText(int level) {
    if (level < kNominal || level > kScale) return std::string();
    return kLevelTexts[level - kNominal];
}

std::optional<int> ParseLevelText(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (int level = kNominal; level <= kScale; ++level) {
        if (lower == kLevelTexts[level - kNominal]) return level;
    }
    return std::nullopt;
}

namespace {

// Questions about the active dataset, of the procedure's included.
struct ActiveScope {
    static constexpr std::int32_t kFirstString = 0;
    static int Select(const RequestArgs&, DataContext& state, Dataset*& data) {
        data = &state.active;
        return VEXA_OK;
    }
};

struct NamedScope {
    static constexpr std::int32_t kFirstString = 1;
    static int Select(const RequestArgs& args, DataContext& state, Dataset*& data) {
        return NamedDataset(args, state, data);
    }
};

// The position argument as an index of `data`; 0 or the failure's code.
int Position(const RequestArgs& args, const Dataset& data, std::size_t& index) {
    auto position = args.Int(0);
    if (!position) return VEXA_MALFORMED_MESSAGE;
    if (*position < 0 || static_cast<std::size_t>(*position) >= data.VariableCount())
        return kNoSuchItem;
    index = static_cast<std::size_t>(*position);
    return VEXA_OK;
}

void SetCount(CleXDSmb& reply, std::size_t count) {
    reply.SetLong(static_cast<std::int32_t>(count));
}

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
template <VariableAnswer Answer, typename Scope = ActiveScope>
int AboutVariable(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = Scope::Select(args, state, data)) return failed;
    std::size_t index = 0;
    if (int failed = Position(args, *data, index)) return failed;
    Answer(data->variable(index), reply);
    return VEXA_OK;
}

void Name(const Variable& variable, CleXDSmb& reply) { reply.SetString(variable.name); }
void Label(const Variable& variable, CleXDSmb& reply) { reply.SetString(variable.label); }
void Type(const Variable& variable, CleXDSmb& reply) { reply.SetLong(variable.type); }
void FormatText(const Variable& variable, CleXDSmb& reply) {
    reply.SetString(variable.properties.format.Text());
}
void Level(const Variable& variable, CleXDSmb& reply) { reply.SetLong(variable.properties.level); }
void RoleOf(const Variable& variable, CleXDSmb& reply) { reply.SetLong(variable.properties.role); }
void AlignmentOf(const Variable& variable, CleXDSmb& reply) {
    reply.SetLong(variable.properties.alignment);
}
void ColumnWidth(const Variable& variable, CleXDSmb& reply) {
    reply.SetLong(variable.properties.columnWidth);
}
void LevelName(const Variable& variable, CleXDSmb& reply) {
    reply.SetString(LevelText(variable.properties.level));
}

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
    for (const auto& text : missing.texts)
        reply.SetString(MissingCell(applies ? text : std::string()));
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
template <typename Scope = ActiveScope>
int VariableAttributes(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = Scope::Select(args, state, data)) return failed;
    std::size_t index = 0;
    if (int failed = Position(args, *data, index)) return failed;
    auto name = args.String(Scope::kFirstString);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    SetAttributeValues(data->variable(index).properties.attributes, *name, reply);
    return VEXA_OK;
}

using DatasetAnswer = int (*)(const RequestArgs& args, std::int32_t firstString, Dataset& data,
                              CleXDSmb& reply);

// A question about the dataset as a whole.
template <DatasetAnswer Answer, typename Scope = ActiveScope>
int AboutDataset(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = Scope::Select(args, state, data)) return failed;
    return Answer(args, Scope::kFirstString, *data, reply);
}

int VariableCount(const RequestArgs&, std::int32_t, Dataset& data, CleXDSmb& reply) {
    SetCount(reply, data.VariableCount());
    return VEXA_OK;
}

int CaseCount(const RequestArgs&, std::int32_t, Dataset& data, CleXDSmb& reply) {
    SetCount(reply, data.CaseCount());
    return VEXA_OK;
}

int FileAttributeNames(const RequestArgs&, std::int32_t, Dataset& data, CleXDSmb& reply) {
    SetCountedStrings(reply, data.file().attributes.Names());
    return VEXA_OK;
}

int FileAttributes(const RequestArgs& args, std::int32_t firstString, Dataset& data,
                   CleXDSmb& reply) {
    auto name = args.String(firstString);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    SetAttributeValues(data.file().attributes, *name, reply);
    return VEXA_OK;
}

int SetNames(const RequestArgs&, std::int32_t, Dataset& data, CleXDSmb& reply) {
    for (const auto& set : data.file().sets) reply.SetString(set.name);
    return VEXA_OK;
}

int SetDefinition(const RequestArgs& args, std::int32_t firstString, Dataset& data,
                  CleXDSmb& reply) {
    auto name = args.String(firstString);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    const MultiResponseSet* set = data.file().FindSet(*name);
    if (!set) return kNoSuchItem;
    reply.SetLong(set->kind);
    reply.SetLong(set->second);
    reply.SetString(set->label);
    reply.SetString(set->countedValue);
    for (const auto& member : set->members) reply.SetString(member);
    return VEXA_OK;
}

int WeightVariable(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    reply.SetString(state.active.file().weight);
    return VEXA_OK;
}

int SplitVariables(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    for (const auto& name : state.active.file().split) reply.SetString(name);
    return VEXA_OK;
}

int SystemMissing(const RequestArgs&, CleXDSmb& reply, DataContext&) {
    reply.SetDouble(kSystemMissing);
    return VEXA_OK;
}

// The markers for "lowest" and "highest" in value ranges.
int LowHigh(const RequestArgs&, CleXDSmb& reply, DataContext&) {
    reply.SetDouble(std::numeric_limits<double>::lowest());
    reply.SetDouble(std::numeric_limits<double>::max());
    return VEXA_OK;
}

// A request without a name (the library sends none for a null pointer)
// asks about the empty name.
int ValidateName(const RequestArgs& args, CleXDSmb& reply, DataContext&) {
    reply.SetLong(ValidateVariableName(args.String(0).value_or(std::string())));
    return VEXA_OK;
}

template <PartHandler<DataContext> Handler>
int InProcedure(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    if (!state.output.IsOpen()) return kNoProcedureOpen;
    return Handler(args, reply, state);
}

constexpr int kNoTwin = -1;

template <PartHandler<DataContext> Handler>
void Ask(CommandTable& table, int activeCode, int procedureCode = kNoTwin) {
    table.Register(activeCode, Handler);
    if (procedureCode != kNoTwin) table.Register(procedureCode, InProcedure<Handler>);
}

}  // namespace

void RegisterDictionaryCommands(CommandTable& table) {
    Ask<AboutDataset<VariableCount>>(table, cmd::kGetVariableCount, cmd::kGetVariableCountInProcDS);
    Ask<AboutDataset<CaseCount>>(table, cmd::kGetRowCount, cmd::kGetRowCountInProcDS);
    Ask<AboutVariable<Name>>(table, cmd::kGetVariableName, cmd::kGetVariableNameInProcDS);
    Ask<AboutVariable<Label>>(table, cmd::kGetVariableLabel, cmd::kGetVariableLabelInProcDS);
    Ask<AboutVariable<Type>>(table, cmd::kGetVariableType, cmd::kGetVariableTypeInProcDS);
    Ask<AboutVariable<FormatText>>(table, cmd::kGetVariableFormat, cmd::kGetVariableFormatInProcDS);
    Ask<AboutVariable<Level>>(table, cmd::kGetVariableMeasurementLevel,
                              cmd::kGetVariableMeasurementLevelInProcDS);
    Ask<AboutVariable<RoleOf>>(table, cmd::kGetVariableRole, cmd::kGetVariableRoleInProcDS);
    Ask<AboutVariable<FormatType>>(table, cmd::kGetVariableFormatType,
                                   cmd::kGetVariableFormatTypeInProcDS);
    Ask<AboutVariable<NumericMissing>>(table, cmd::kGetVarNMissingValues,
                                       cmd::kGetVarNMissingValuesInProcDS);
    Ask<AboutVariable<StringMissing>>(table, cmd::kGetVarCMissingValues,
                                      cmd::kGetVarCMissingValuesInProcDS);
    Ask<AboutVariable<NumericLabels>>(table, cmd::kGetNValueLabels);
    Ask<AboutVariable<StringLabels>>(table, cmd::kGetCValueLabels);
    Ask<AboutVariable<AttributeNames>>(table, cmd::kGetVarAttributeNames,
                                       cmd::kGetVarAttributeNamesInProcDS);
    Ask<VariableAttributes<>>(table, cmd::kGetVarAttributes, cmd::kGetVarAttributesInProcDS);
    Ask<AboutDataset<FileAttributeNames>>(table, cmd::kGetDataFileAttributeNames,
                                          cmd::kGetDataFileAttributeNamesInProcDS);
    Ask<AboutDataset<FileAttributes>>(table, cmd::kGetDataFileAttributes,
                                      cmd::kGetDataFileAttributesInProcDS);
    Ask<AboutDataset<SetNames>>(table, cmd::kGetMultiResponseSetNames,
                                cmd::kGetMultiResponseSetNamesInProcDS);
    Ask<AboutDataset<SetDefinition>>(table, cmd::kGetMultiResponseSet,
                                     cmd::kGetMultiResponseSetInProcDS);
    Ask<WeightVariable>(table, cmd::kGetWeightVar);
    Ask<SplitVariables>(table, cmd::kGetSplitVariableNames);
    Ask<SystemMissing>(table, cmd::kGetSystemMissingValue);
    Ask<LowHigh>(table, cmd::kGetVEXALowHigh);
    Ask<ValidateName>(table, cmd::kValidateVarName);

    // The same questions about a named dataset.
    Ask<AboutDataset<VariableCount, NamedScope>>(table, cmd::kGetVarCountInDS);
    Ask<AboutDataset<CaseCount, NamedScope>>(table, cmd::kGetCaseCountInDS);
    Ask<AboutVariable<Name, NamedScope>>(table, cmd::kGetVarNameInDS);
    Ask<AboutVariable<Label, NamedScope>>(table, cmd::kGetVarLabelInDS);
    Ask<AboutVariable<Type, NamedScope>>(table, cmd::kGetVarTypeInDS);
    Ask<AboutVariable<FormatText, NamedScope>>(table, cmd::kGetVarFormatInDS);
    Ask<AboutVariable<AlignmentOf, NamedScope>>(table, cmd::kGetVarAlignmentInDS);
    Ask<AboutVariable<LevelName, NamedScope>>(table, cmd::kGetVarMeasurementLevelInDS);
    Ask<AboutVariable<RoleOf, NamedScope>>(table, cmd::kGetVarRoleInDS);
    Ask<AboutVariable<ColumnWidth, NamedScope>>(table, cmd::kGetVarColumnWidthInDS);
    Ask<AboutVariable<NumericMissing, NamedScope>>(table, cmd::kGetVarNMissingValuesInDS);
    Ask<AboutVariable<StringMissing, NamedScope>>(table, cmd::kGetVarCMissingValuesInDS);
    Ask<AboutVariable<NumericLabels, NamedScope>>(table, cmd::kGetVarNValueLabelInDS);
    Ask<AboutVariable<StringLabels, NamedScope>>(table, cmd::kGetVarCValueLabelInDS);
    Ask<AboutVariable<AttributeNames, NamedScope>>(table, cmd::kGetVarAttributesNameInDS);
    Ask<VariableAttributes<NamedScope>>(table, cmd::kGetVarAttributesInDS);
    Ask<AboutDataset<FileAttributeNames, NamedScope>>(table, cmd::kGetDataFileAttributeNamesInDS);
    Ask<AboutDataset<FileAttributes, NamedScope>>(table, cmd::kGetDataFileAttributesInDS);
    Ask<AboutDataset<SetNames, NamedScope>>(table, cmd::kGetMultiResponseSetNamesInDS);
    Ask<AboutDataset<SetDefinition, NamedScope>>(table, cmd::kGetMultiResponseSetInDS);
}

}  // namespace engine
