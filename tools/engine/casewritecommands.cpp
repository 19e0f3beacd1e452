// The case-writing family: new variables declared through a writing case
// cursor with their dictionary properties, values for them in the existing
// cases, new cases, and the end of the changes, which makes all of it part
// of the active dataset. Every request is checked in full before anything
// changes.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "caseblock.h"
#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

constexpr int kMaxFormatWidth = 255;

// The cursor the write-side commands work through, or the code why there is
// none.
int WritingCursor(DataContext& state, CaseCursor*& cursor) {
    if (!state.output.IsOpen()) return kNoProcedureOpen;
    CaseCursor& cases = ProcedureCases(state);
    if (!cases.IsMade()) return kNoCaseCursor;
    if (!cases.Writes()) return kReadOnlyCursor;
    cursor = &cases;
    return VEXA_OK;
}

template <PartHandler<DataContext> Handler>
int Writing(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    CaseCursor* cursor = nullptr;
    if (int refused = WritingCursor(state, cursor)) return refused;
    return Handler(args, reply, state);
}

int SetVarNameAndType(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    const LongData& ints = args.Ints();
    const StringData& names = args.Strings();
    if (ints.Size() < 1) return VEXA_MALFORMED_MESSAGE;
    const std::int32_t count = ints[ints.Size() - 1];
    // Size() - 1 cannot overflow as count + 1 could.
    if (count < 1 || ints.Size() - 1 != count || names.Size() != count) return kBadCount;
    CaseChanges& changes = state.cases.changes();
    std::vector<std::string> earlier;
    for (std::int32_t i = 0; i < count; ++i) {
        if (int refused = changes.CheckDeclaration(state.active, names[i], ints[i], earlier))
            return refused;
        earlier.push_back(names[i]);
    }
    for (std::int32_t i = 0; i < count; ++i) changes.Declare(names[i], ints[i]);
    return VEXA_OK;
}

int SetOneVarNameAndType(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    auto name = args.String(0);
    auto type = args.Int(0);
    if (!name || !type) return VEXA_MALFORMED_MESSAGE;
    CaseChanges& changes = state.cases.changes();
    if (int refused = changes.CheckDeclaration(state.active, *name, *type, {})) return refused;
    changes.Declare(std::move(*name), *type);
    return VEXA_OK;
}

// Variables are kept as they are declared; the count is only checked.
int AllocNewVarsBuffer(const RequestArgs& args, CleXDSmb&, DataContext&) {
    auto count = args.Int(0);
    if (!count) return VEXA_MALFORMED_MESSAGE;
    if (*count < 0) return kBadCount;
    return VEXA_OK;
}

// A setter reads its arguments after the variable's name (string 0): the
// strings from 1, the integers and doubles from 0.
using NewVariableSetter = int (*)(const RequestArgs& args, Variable& variable);

template <NewVariableSetter Setter>
int OnNewVariable(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    Variable* variable = state.cases.changes().FindNew(*name);
    if (!variable) return kNoSuchWriteVariable;
    return Setter(args, *variable);
}

int Label(const RequestArgs& args, Variable& variable) {
    auto label = args.String(1);
    if (!label) return VEXA_MALFORMED_MESSAGE;
    variable.label = std::move(*label);
    return VEXA_OK;
}

int StringValueLabel(const RequestArgs& args, Variable& variable) {
    auto value = args.String(1);
    auto label = args.String(2);
    if (!value || !label) return VEXA_MALFORMED_MESSAGE;
    if (variable.IsNumeric()) return kWrongValueType;
    variable.properties.stringLabels.Set(*value, std::move(*label));
    return VEXA_OK;
}

int NumericValueLabel(const RequestArgs& args, Variable& variable) {
    auto value = args.Double(0);
    auto label = args.String(1);
    if (!value || !label) return VEXA_MALFORMED_MESSAGE;
    if (!variable.IsNumeric()) return kWrongValueType;
    variable.properties.numericLabels.Set(*value, std::move(*label));
    return VEXA_OK;
}

// Strings 1.. are the values; the format says how many count.
int StringMissing(const RequestArgs& args, Variable& variable) {
    auto format = args.Int(0);
    if (!format) return VEXA_MALFORMED_MESSAGE;
    if (variable.IsNumeric()) return kWrongValueType;
    if (*format < 0 || *format > 3 || args.Strings().Size() - 1 < *format) return kBadMissingValues;
    MissingValues missing;
    missing.format = *format;
    for (std::int32_t k = 0; k < *format; ++k) {
        std::string text = args.Strings()[k + 1];
        if (text.size() > kStringMissingWidth) return kBadMissingValues;
        missing.texts[static_cast<std::size_t>(k)] = std::move(text);
    }
    variable.properties.missing = std::move(missing);
    return VEXA_OK;
}

int NumericMissing(const RequestArgs& args, Variable& variable) {
    auto format = args.Int(0);
    if (!format) return VEXA_MALFORMED_MESSAGE;
    if (!variable.IsNumeric()) return kWrongValueType;
    const bool range = *format == kMissingRange || *format == kMissingRangeAndValue;
    if (!range && (*format < 0 || *format > 3)) return kBadMissingValues;
    const std::int32_t used = range ? -*format : *format;
    MissingValues missing;
    missing.format = *format;
    for (std::int32_t k = 0; k < used; ++k) {
        auto value = args.Double(k);
        if (!value) return VEXA_MALFORMED_MESSAGE;
        missing.numbers[static_cast<std::size_t>(k)] = *value;
    }
    if (range && !(missing.numbers[0] <= missing.numbers[1])) return kBadMissingValues;
    variable.properties.missing = missing;
    return VEXA_OK;
}

template <int kLowest, int kHighest, int VariableProperties::*Field>
int Code(const RequestArgs& args, Variable& variable) {
    auto code = args.Int(0);
    if (!code) return VEXA_MALFORMED_MESSAGE;
    if (*code < kLowest || *code > kHighest) return kBadPropertyCode;
    variable.properties.*Field = *code;
    return VEXA_OK;
}

// Code, width and decimals: A<w> for text, F<w>.<d> for numbers.
int Format(const RequestArgs& args, Variable& variable) {
    auto code = args.Int(0);
    auto width = args.Int(1);
    auto decimals = args.Int(2);
    if (!code || !width || !decimals) return VEXA_MALFORMED_MESSAGE;
    const int wanted = variable.IsNumeric() ? kFormatNumeric : kFormatString;
    const bool fits = *code == wanted && *width >= 1 && *width <= kMaxFormatWidth &&
                      *decimals >= 0 && *decimals < *width &&
                      (variable.IsNumeric() || *decimals == 0);
    if (!fits) return kBadPropertyCode;
    variable.properties.format = PrintFormat{*code, *width, *decimals};
    return VEXA_OK;
}

// The integer is the value's position among the attribute's values: an
// existing one is replaced, the next free one appended.
int Attribute(const RequestArgs& args, Variable& variable) {
    auto name = args.String(1);
    auto value = args.String(2);
    auto position = args.Int(0);
    if (!name || !value || !position) return VEXA_MALFORMED_MESSAGE;
    AttributeSet& attributes = variable.properties.attributes;
    const std::vector<std::string>* known = attributes.Find(*name);
    std::vector<std::string> values = known ? *known : std::vector<std::string>();
    if (name->empty() || *position < 0 || static_cast<std::size_t>(*position) > values.size())
        return kBadPropertyCode;
    if (static_cast<std::size_t>(*position) == values.size())
        values.push_back(std::move(*value));
    else
        values[static_cast<std::size_t>(*position)] = std::move(*value);
    attributes.Set(*name, std::move(values));
    return VEXA_OK;
}

int CommitHeader(const RequestArgs&, CleXDSmb&, DataContext& state) {
    state.cases.changes().FixHeader();
    return VEXA_OK;
}

struct NamedValue {
    std::string name;
    CellValue value;
};

// The doubles with the names of string array 0, the strings with those of
// string array 1, in that order. No arrays: no values.
int NamedValues(const RequestArgs& args, std::vector<NamedValue>& values) {
    const StringData none;
    const StringData* numericNames = args.StringArray(0);
    const StringData* stringNames = args.StringArray(1);
    if (!numericNames) numericNames = &none;
    if (!stringNames) stringNames = &none;
    if (numericNames->Size() != args.Doubles().Size() ||
        stringNames->Size() != args.Strings().Size())
        return kBadCount;
    for (std::int32_t i = 0; i < numericNames->Size(); ++i)
        values.push_back({(*numericNames)[i], args.Doubles()[i]});
    for (std::int32_t i = 0; i < stringNames->Size(); ++i)
        values.push_back({(*stringNames)[i], args.Strings()[i]});
    return VEXA_OK;
}

// The value as a variable of `type` keeps it, or the code why it cannot.
int Fitted(int type, CellValue& value) {
    if (std::holds_alternative<double>(value) != (type == 0)) return kWrongValueType;
    if (std::string* text = std::get_if<std::string>(&value)) {
        if (text->size() > static_cast<std::size_t>(type))
            text->resize(static_cast<std::size_t>(type));
    }
    return VEXA_OK;
}

// Positions over the dataset's variables followed by the new ones, which is
// how a new case is laid out.
class FutureVariables {
  public:
    FutureVariables(const Dataset& data, CaseChanges& changes) : m_data(data), m_changes(changes) {}

    std::size_t Count() const { return m_data.VariableCount() + m_changes.variables().size(); }
    // Count() when no variable has the name.
    std::size_t Find(const std::string& name) const {
        const std::size_t old = m_data.FindVariable(name);
        if (old != m_data.VariableCount()) return old;
        const auto& added = m_changes.variables();
        for (std::size_t k = 0; k < added.size(); ++k) {
            if (added[k].name == name) return m_data.VariableCount() + k;
        }
        return Count();
    }
    int Type(std::size_t index) const {
        if (index < m_data.VariableCount()) return m_data.variable(index).type;
        return m_changes.variables()[index - m_data.VariableCount()].type;
    }
    std::vector<CellValue> EmptyCase() const {
        std::vector<CellValue> values;
        for (std::size_t i = 0; i < Count(); ++i) values.push_back(EmptyValue(Type(i)));
        return values;
    }

  private:
    const Dataset& m_data;
    CaseChanges& m_changes;
};

int CommitCaseRecord(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    CaseCursor& cases = state.cases;
    if (cases.access() != CaseAccess::kWrite) return kReadOnlyCursor;
    CaseChanges& changes = cases.changes();
    if (changes.AwaitsHeader()) return kHeaderNotFixed;
    auto current = cases.Current(state.active);
    if (!current) return kNoCurrentCase;
    std::vector<NamedValue> values;
    if (int refused = NamedValues(args, values)) return refused;
    std::vector<std::size_t> targets;
    for (auto& entry : values) {
        const auto& added = changes.variables();
        auto found = std::find_if(added.begin(), added.end(),
                                  [&](const Variable& v) { return v.name == entry.name; });
        if (found == added.end()) return kNoSuchWriteVariable;
        if (int refused = Fitted(found->type, entry.value)) return refused;
        targets.push_back(static_cast<std::size_t>(found - added.begin()));
    }
    // A client with a cursor gives its case size and takes the next case.
    const bool wantsNext = args.Ints().Size() >= 2;
    const CaseLayout layout = CaseLayout::Of(state.active, cases.LayoutVariables());
    if (wantsNext &&
        (args.Ints()[1] < 0 || static_cast<std::size_t>(args.Ints()[1]) != layout.CaseSize()))
        return kCaseSizeMismatch;

    changes.FixHeader();
    for (std::size_t k = 0; k < values.size(); ++k)
        changes.SetNewValue(*current, targets[k], std::move(values[k].value));
    if (!wantsNext) return VEXA_OK;
    // A case that ends the data or a split group is left to a fetch, which
    // reports the end with it.
    auto next = cases.TakeNextIfPlain(state.active);
    if (!next) return VEXA_OK;
    codec::OwnedBuffer block = EncodeCases(state.active, layout, *next, 1);
    if (!block.empty()) {
        const auto length = static_cast<std::int32_t>(block.size());
        reply.SetVoidData(block.release(), length);
    }
    reply.SetLong(1);
    return VEXA_OK;
}

int CommitNewCase(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    CaseChanges& changes = state.cases.changes();
    if (changes.AwaitsHeader()) return kHeaderNotFixed;
    std::vector<NamedValue> values;
    if (int refused = NamedValues(args, values)) return refused;
    const FutureVariables variables(state.active, changes);
    std::vector<CellValue> newCase = variables.EmptyCase();
    for (auto& entry : values) {
        const std::size_t index = variables.Find(entry.name);
        if (index == variables.Count()) return kNoSuchWriteVariable;
        if (int refused = Fitted(variables.Type(index), entry.value)) return refused;
        newCase[index] = std::move(entry.value);
    }
    changes.FixHeader();
    changes.AddCase(std::move(newCase));
    return VEXA_OK;
}

// Strings: the variables' names; void data: the cases in the layout of
// those variables; integers: variable count, case count; long array 0: the
// variables' types.
int CommitManyCases(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    CaseChanges& changes = state.cases.changes();
    if (changes.AwaitsHeader()) return kHeaderNotFixed;
    auto count = args.Int(0);
    auto caseCount = args.Int(1);
    if (!count || !caseCount) return VEXA_MALFORMED_MESSAGE;
    const LongData* types = args.LongArray(0);
    if (*count < 1 || *caseCount < 0 || args.Strings().Size() != *count || !types ||
        types->Size() != *count)
        return kBadCount;
    const FutureVariables variables(state.active, changes);
    std::vector<std::size_t> targets;
    for (std::int32_t i = 0; i < *count; ++i) {
        const std::size_t index = variables.Find(args.Strings()[i]);
        if (index == variables.Count()) return kNoSuchWriteVariable;
        if (std::count(targets.begin(), targets.end(), index) != 0) return kRepeatedVariable;
        if ((*types)[i] != variables.Type(index)) return kWrongValueType;
        targets.push_back(index);
    }
    const CaseLayout layout(types->Values());
    const std::span<const unsigned char> block = args.VoidData();
    if (block.size() % layout.CaseSize() != 0 ||
        block.size() / layout.CaseSize() != static_cast<std::size_t>(*caseCount))
        return kCaseSizeMismatch;

    changes.FixHeader();
    const std::size_t perCase = layout.CaseSize() / sizeof(OBS);
    const std::span<const OBS> cells = codec::CellsOf(block.data(), block.size());
    for (std::size_t k = 0; k < static_cast<std::size_t>(*caseCount); ++k) {
        std::vector<CellValue> given = layout.Decode(cells.subspan(k * perCase, perCase));
        std::vector<CellValue> newCase = variables.EmptyCase();
        for (std::size_t v = 0; v < targets.size(); ++v) newCase[targets[v]] = std::move(given[v]);
        changes.AddCase(std::move(newCase));
    }
    return VEXA_OK;
}

// Without a writing cursor nothing is pending, so there is nothing to end.
int EndChanges(const RequestArgs&, CleXDSmb&, DataContext& state) {
    if (!state.output.IsOpen()) return kNoProcedureOpen;
    CaseCursor& cases = ProcedureCases(state);
    if (!cases.Writes()) return VEXA_OK;
    if (!cases.changes().ApplyTo(state.active)) return kVariableNameTaken;
    return VEXA_OK;
}

}  // namespace

void RegisterCaseWriteCommands(CommandTable& table) {
    table.Register(cmd::kSetVarNameAndType, Writing<SetVarNameAndType>);
    table.Register(cmd::kSetOneVarNameAndType, Writing<SetOneVarNameAndType>);
    table.Register(cmd::kAllocNewVarsBuffer, Writing<AllocNewVarsBuffer>);
    table.Register(cmd::kSetVarLabel, Writing<OnNewVariable<Label>>);
    table.Register(cmd::kSetVarCValueLabel, Writing<OnNewVariable<StringValueLabel>>);
    table.Register(cmd::kSetVarNValueLabel, Writing<OnNewVariable<NumericValueLabel>>);
    table.Register(cmd::kSetVarCMissingValues, Writing<OnNewVariable<StringMissing>>);
    table.Register(cmd::kSetVarNMissingValues, Writing<OnNewVariable<NumericMissing>>);
    table.Register(cmd::kSetVarMeasureLevel,
                   Writing<OnNewVariable<Code<kNominal, kScale, &VariableProperties::level>>>);
    table.Register(cmd::kSetVarRole,
                   Writing<OnNewVariable<Code<kRoleInput, kRoleSplit, &VariableProperties::role>>>);
    table.Register(
        cmd::kSetVarAlignment,
        Writing<OnNewVariable<Code<kAlignLeft, kAlignCenter, &VariableProperties::alignment>>>);
    table.Register(cmd::kSetVarFormat, Writing<OnNewVariable<Format>>);
    table.Register(cmd::kSetVarAttributes, Writing<OnNewVariable<Attribute>>);
    table.Register(cmd::kCommitHeader, Writing<CommitHeader>);
    table.Register(cmd::kCommitCaseRecord, Writing<CommitCaseRecord>);
    table.Register(cmd::kCommitNewCase, Writing<CommitNewCase>);
    table.Register(cmd::kCommitManyCases, Writing<CommitManyCases>);
    table.Register(cmd::kEndChanges, EndChanges);
}

}  // namespace engine
