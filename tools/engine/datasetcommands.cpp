// The named-dataset family: datasets made, copied, renamed, activated,
// listed and closed; their cases and variables inserted and deleted; single
// cells read and committed; whole cases read and written in the case layout;
// and the setters of their dictionaries. The questions about their
// dictionaries are the dictionary family's. A request is checked in full
// before anything changes.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "caseblock.h"
#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"
#include "varname.h"

namespace engine {

int NamedDataset(const RequestArgs& args, DataContext& state, Dataset*& data) {
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    data = state.datasets.Find(*name, state.active);
    return data ? static_cast<int>(VEXA_OK) : kNoSuchDataset;
}

namespace {

constexpr int kMaxFormatWidth = 255;

// A procedure's cursor walks the active dataset in the layout it was made
// with, so its variables and cases stay as they are until the procedure ends.
int ShapeChangeable(const DataContext& state, const Dataset& data) {
    if (&data == &state.active && state.output.IsOpen()) return kActiveDatasetInUse;
    return VEXA_OK;
}

// An integer argument as an index below `limit` (at most `limit` when
// `endAllowed`); 0 or the code given for one outside.
int IndexArg(const RequestArgs& args, std::int32_t at, std::size_t limit, bool endAllowed,
             int outside, std::size_t& index) {
    auto value = args.Int(at);
    if (!value) return VEXA_MALFORMED_MESSAGE;
    if (*value < 0) return outside;
    const auto asked = static_cast<std::size_t>(*value);
    if (endAllowed ? asked > limit : asked >= limit) return outside;
    index = asked;
    return VEXA_OK;
}

void SetStrings(CleXDSmb& reply, const std::vector<std::string>& names) {
    for (const auto& name : names) reply.SetString(name);
}

// --- Dataset management ---

int CreateDataset(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    auto name = args.String(0);
    auto first = args.Int(0);
    auto second = args.Int(1);
    if (!name || !first || !second) return VEXA_MALFORMED_MESSAGE;
    return state.datasets.Create(*name, *first, *second, state.active);
}

int CopyDataset(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    auto from = args.String(0);
    auto to = args.String(1);
    if (!from || !to) return VEXA_MALFORMED_MESSAGE;
    return state.datasets.Copy(*from, *to, state.active);
}

int RenameDataset(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    auto from = args.String(0);
    auto to = args.String(1);
    if (!from || !to) return VEXA_MALFORMED_MESSAGE;
    return state.datasets.Rename(*from, *to, state.active);
}

int NewDatasetName(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    reply.SetString(state.datasets.NewName(state.active));
    return VEXA_OK;
}

int GetActive(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    reply.SetString(state.active.name());
    return VEXA_OK;
}

int SetActive(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    if (!state.datasets.IsActive(*name, state.active) && state.output.IsOpen())
        return kActiveDatasetInUse;
    return state.datasets.Activate(*name, state.active);
}

int AllDatasets(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    SetStrings(reply, state.datasets.AllNames(state.active));
    return VEXA_OK;
}

int OpenedDatasets(const RequestArgs&, CleXDSmb& reply, DataContext& state) {
    SetStrings(reply, state.datasets.OpenedNames());
    return VEXA_OK;
}

int CloseDataset(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    return state.datasets.Close(*name, state.active);
}

int SetCacheInDS(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = NamedDataset(args, state, data)) return failed;
    auto flag = args.Int(0);
    if (!flag) return VEXA_MALFORMED_MESSAGE;
    state.datasets.SetCacheFlag(data->name(), *flag != 0);
    return VEXA_OK;
}

// --- Cases and variables ---

using DatasetChange = int (*)(const RequestArgs& args, Dataset& data);

template <DatasetChange Change>
int ChangeShape(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = NamedDataset(args, state, data)) return failed;
    if (int refused = ShapeChangeable(state, *data)) return refused;
    return Change(args, *data);
}

int InsertCase(const RequestArgs& args, Dataset& data) {
    std::size_t row = 0;
    if (int failed = IndexArg(args, 0, data.CaseCount(), true, kNoSuchRow, row)) return failed;
    data.InsertCase(row);
    return VEXA_OK;
}

int DeleteCase(const RequestArgs& args, Dataset& data) {
    std::size_t row = 0;
    if (int failed = IndexArg(args, 0, data.CaseCount(), false, kNoSuchRow, row)) return failed;
    data.DeleteCase(row);
    return VEXA_OK;
}

int CheckType(std::int32_t type) {
    return type < 0 || type > kMaxStringWidth ? static_cast<int>(kBadNewVariableType) : VEXA_OK;
}

int InsertVariable(const RequestArgs& args, Dataset& data) {
    std::size_t position = 0;
    if (int failed = IndexArg(args, 0, data.VariableCount(), true, kNoSuchItem, position))
        return failed;
    auto name = args.String(1);
    auto type = args.Int(1);
    if (!name || !type) return VEXA_MALFORMED_MESSAGE;
    if (ValidateVariableName(*name) != 0) return kBadNewVariableName;
    if (data.FindVariable(*name) != data.VariableCount()) return kVariableNameTaken;
    if (int refused = CheckType(*type)) return refused;
    data.InsertVariable(position, Variable(*name, std::string(), *type));
    return VEXA_OK;
}

int DeleteVariable(const RequestArgs& args, Dataset& data) {
    std::size_t position = 0;
    if (int failed = IndexArg(args, 0, data.VariableCount(), false, kNoSuchItem, position))
        return failed;
    data.DeleteVariable(position);
    return VEXA_OK;
}

int SetVarType(const RequestArgs& args, Dataset& data) {
    std::size_t index = 0;
    if (int failed = IndexArg(args, 0, data.VariableCount(), false, kNoSuchItem, index))
        return failed;
    auto type = args.Int(1);
    if (!type) return VEXA_MALFORMED_MESSAGE;
    if (int refused = CheckType(*type)) return refused;
    data.SetType(index, *type);
    return VEXA_OK;
}

// --- Cells ---

// The cell the request's row and variable (its first two integers) name.
int CellArgs(const RequestArgs& args, DataContext& state, Dataset*& data, std::size_t& row,
             std::size_t& var) {
    if (int failed = NamedDataset(args, state, data)) return failed;
    if (int failed = IndexArg(args, 0, data->CaseCount(), false, kNoSuchRow, row)) return failed;
    return IndexArg(args, 1, data->VariableCount(), false, kNoSuchItem, var);
}

int NumericCell(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    Dataset* data = nullptr;
    std::size_t row = 0, var = 0;
    if (int failed = CellArgs(args, state, data, row, var)) return failed;
    const Variable& variable = data->variable(var);
    if (!variable.IsNumeric()) return kWrongValueType;
    const CellValue& value = data->cell(row, var);
    reply.SetLong(MissingFlag(variable, value));
    reply.SetDouble(std::get<double>(value));
    return VEXA_OK;
}

int StringCell(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    Dataset* data = nullptr;
    std::size_t row = 0, var = 0;
    if (int failed = CellArgs(args, state, data, row, var)) return failed;
    const Variable& variable = data->variable(var);
    if (variable.IsNumeric()) return kWrongValueType;
    const CellValue& value = data->cell(row, var);
    reply.SetLong(MissingFlag(variable, value));
    reply.SetString(std::get<std::string>(value));
    return VEXA_OK;
}

constexpr std::int32_t kNumericRecord = 0;
constexpr std::int32_t kStringRecord = 1;

// The dataset a record names, null when none. Consecutive records nearly
// always name the same one: the last name looked up and its dataset are kept.
class RecordTargets {
  public:
    explicit RecordTargets(DataContext& state) : m_state(state) {}
    Dataset* Of(const codec::CellRecord& record) {
        if (!m_looked || m_name != record.dataset) {
            m_name.assign(record.dataset);
            m_data = m_state.datasets.Find(m_name, m_state.active);
            m_looked = true;
        }
        return m_data;
    }

  private:
    DataContext& m_state;
    std::string m_name;
    bool m_looked = false;
    Dataset* m_data = nullptr;
};

// 0, or the code that refuses the record.
int JudgeRecord(const codec::CellRecord& record, const Dataset* data) {
    if (!data) return kNoSuchDataset;
    if (record.row < 0 || static_cast<std::size_t>(record.row) >= data->CaseCount())
        return kNoSuchRow;
    if (record.variable < 0 || static_cast<std::size_t>(record.variable) >= data->VariableCount())
        return kNoSuchItem;
    const bool numeric = data->variable(static_cast<std::size_t>(record.variable)).IsNumeric();
    if (record.type != kNumericRecord && record.type != kStringRecord) return kWrongValueType;
    if (numeric != (record.type == kNumericRecord)) return kWrongValueType;
    return VEXA_OK;
}

// All records or none: the first refused one's code answers and nothing is
// written, so a client never has to find out which of its cells arrived.
int CommitCells(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    if (!state.datasets.StepOpen() && !state.output.IsOpen()) return kNoDataStep;
    RecordTargets judged(state);
    int refused = VEXA_OK;
    args.ForEachRecord([&](const codec::CellRecord& record) {
        refused = JudgeRecord(record, judged.Of(record));
        return refused == VEXA_OK;
    });
    if (refused != VEXA_OK) return refused;
    RecordTargets targets(state);
    args.ForEachRecord([&](const codec::CellRecord& record) {
        Dataset& data = *targets.Of(record);
        const auto caseIndex = static_cast<std::size_t>(record.row);
        const auto var = static_cast<std::size_t>(record.variable);
        if (record.type == kNumericRecord) {
            data.SetCell(caseIndex, var, record.number);
        } else {
            const auto width = static_cast<std::size_t>(data.variable(var).type);
            data.SetCell(caseIndex, var, std::string(record.text.substr(0, width)));
        }
        return true;
    });
    return VEXA_OK;
}

// --- Whole cases ---

int CaseLength(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = NamedDataset(args, state, data)) return failed;
    reply.SetLong(
        static_cast<std::int32_t>(CaseLayout::Of(*data, data->VariableCount()).CaseSize()));
    return VEXA_OK;
}

int VarObsIndex(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = NamedDataset(args, state, data)) return failed;
    std::size_t var = 0;
    if (int failed = IndexArg(args, 0, data->VariableCount(), false, kNoSuchItem, var))
        return failed;
    reply.SetLong(
        static_cast<std::int32_t>(CaseLayout::Of(*data, data->VariableCount()).ObsIndex(var)));
    return VEXA_OK;
}

// The flag of the case requests is the client's and has no meaning here.
int ReadCase(const RequestArgs& args, CleXDSmb& reply, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = NamedDataset(args, state, data)) return failed;
    std::size_t row = 0;
    if (int failed = IndexArg(args, 0, data->CaseCount(), false, kNoSuchRow, row)) return failed;
    const CaseLayout layout = CaseLayout::Of(*data, data->VariableCount());
    codec::OwnedBuffer block = EncodeCases(*data, layout, row, 1);
    const auto length = static_cast<std::int32_t>(block.size());
    if (length > 0) reply.SetVoidData(block.release(), length);
    return VEXA_OK;
}

// The variables a part list [row, count, (obs index, obs length)..., flag]
// names; false when a pair is no variable's.
bool PartVariables(const LongData& ints, const CaseLayout& layout,
                   std::vector<std::size_t>& variables) {
    const std::int32_t count = ints[1];
    if (count < 0 || ints.Size() != 3 + 2 * static_cast<std::int64_t>(count)) return false;
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int32_t obsIndex = ints[2 + 2 * k];
        const std::int32_t obsLength = ints[3 + 2 * k];
        bool found = false;
        for (std::size_t v = 0; v < layout.VariableCount() && !found; ++v) {
            const int type = layout.Type(v);
            const std::int32_t cells = type <= 8 ? 1 : (type + 7) / 8;
            if (static_cast<std::int32_t>(layout.ObsIndex(v)) == obsIndex && cells == obsLength) {
                variables.push_back(v);
                found = true;
            }
        }
        if (!found) return false;
    }
    return true;
}

// Two integers [row, flag] write the whole case; a longer block is a part
// list and writes only the variables it names.
int WriteCase(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = NamedDataset(args, state, data)) return failed;
    const LongData& ints = args.Ints();
    if (ints.Size() < 2) return VEXA_MALFORMED_MESSAGE;
    std::size_t row = 0;
    if (int failed = IndexArg(args, 0, data->CaseCount(), false, kNoSuchRow, row)) return failed;
    const CaseLayout layout = CaseLayout::Of(*data, data->VariableCount());
    std::vector<std::size_t> variables;
    if (ints.Size() == 2) {
        for (std::size_t v = 0; v < layout.VariableCount(); ++v) variables.push_back(v);
    } else if (!PartVariables(ints, layout, variables)) {
        return kBadCaseData;
    }
    const std::span<const unsigned char> bytes = args.VoidData();
    if (bytes.size() != layout.CaseSize()) return kBadCaseData;
    const std::span<const OBS> cells(reinterpret_cast<const OBS*>(bytes.data()),
                                     bytes.size() / sizeof(OBS));
    std::vector<CellValue> values = layout.Decode(cells);
    for (std::size_t v : variables) data->SetCell(row, v, std::move(values[v]));
    return VEXA_OK;
}

// --- Dictionary setters ---
// After the dataset string: the variable's position first, then the values.

using VariableSetter = int (*)(const RequestArgs& args, Dataset& data, std::size_t index);

template <VariableSetter Setter>
int OnVariable(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = NamedDataset(args, state, data)) return failed;
    std::size_t index = 0;
    if (int failed = IndexArg(args, 0, data->VariableCount(), false, kNoSuchItem, index))
        return failed;
    return Setter(args, *data, index);
}

int SetName(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto name = args.String(1);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    if (ValidateVariableName(*name) != 0) return kBadNewVariableName;
    return data.RenameVariable(index, *name) ? static_cast<int>(VEXA_OK) : kVariableNameTaken;
}

int SetLabel(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto label = args.String(1);
    if (!label) return VEXA_MALFORMED_MESSAGE;
    data.SetLabel(index, *label);
    return VEXA_OK;
}

// An integer property within low..high.
template <int VariableProperties::*Field, int Low, int High>
int SetRanged(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto value = args.Int(1);
    if (!value) return VEXA_MALFORMED_MESSAGE;
    if (*value < Low || *value > High) return kBadPropertyCode;
    data.properties(index).*Field = *value;
    return VEXA_OK;
}

int SetFormat(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto code = args.Int(1);
    auto width = args.Int(2);
    auto decimals = args.Int(3);
    if (!code || !width || !decimals) return VEXA_MALFORMED_MESSAGE;
    const bool numeric = data.variable(index).IsNumeric();
    if (*code != (numeric ? kFormatNumeric : kFormatString)) return kBadPropertyCode;
    if (*width < 1 || *width > kMaxFormatWidth || *decimals < 0 || *decimals >= *width)
        return kBadPropertyCode;
    if (!numeric && *decimals != 0) return kBadPropertyCode;
    data.properties(index).format = {*code, *width, *decimals};
    return VEXA_OK;
}

int SetLevel(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto text = args.String(1);
    if (!text) return VEXA_MALFORMED_MESSAGE;
    auto level = ParseLevelText(*text);
    if (!level) return kBadPropertyCode;
    data.properties(index).level = *level;
    return VEXA_OK;
}

bool KnownMissingFormat(std::int32_t format, bool numeric) {
    if (format >= kNoMissing && format <= 3) return true;
    return numeric && (format == kMissingRange || format == kMissingRangeAndValue);
}

int SetNumericMissing(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto format = args.Int(1);
    if (!format || args.Doubles().Size() < 3) return VEXA_MALFORMED_MESSAGE;
    if (!data.variable(index).IsNumeric()) return kWrongValueType;
    if (!KnownMissingFormat(*format, true)) return kBadMissingValues;
    const DoubleData& values = args.Doubles();
    const bool range = *format == kMissingRange || *format == kMissingRangeAndValue;
    if (range && !(values[0] <= values[1])) return kBadMissingValues;
    MissingValues missing;
    missing.format = *format;
    for (std::int32_t i = 0; i < 3; ++i) missing.numbers[static_cast<std::size_t>(i)] = values[i];
    data.properties(index).missing = missing;
    return VEXA_OK;
}

// The values follow the dataset string; a null value was not sent at all.
int SetStringMissing(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto format = args.Int(1);
    if (!format) return VEXA_MALFORMED_MESSAGE;
    if (data.variable(index).IsNumeric()) return kWrongValueType;
    if (!KnownMissingFormat(*format, false)) return kBadMissingValues;
    const StringData& strings = args.Strings();
    if (strings.Size() - 1 < *format) return kBadMissingValues;
    MissingValues missing;
    missing.format = *format;
    for (std::int32_t i = 0; i < *format; ++i) {
        const std::string& text = strings[1 + i];
        if (text.size() > kStringMissingWidth) return kBadMissingValues;
        missing.texts[static_cast<std::size_t>(i)] = text;
    }
    data.properties(index).missing = missing;
    return VEXA_OK;
}

int SetNumericLabel(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto value = args.Double(0);
    auto label = args.String(1);
    if (!value || !label) return VEXA_MALFORMED_MESSAGE;
    if (!data.variable(index).IsNumeric()) return kWrongValueType;
    data.properties(index).numericLabels.Set(*value, *label);
    return VEXA_OK;
}

int SetStringLabel(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto value = args.String(1);
    auto label = args.String(2);
    if (!value || !label) return VEXA_MALFORMED_MESSAGE;
    if (data.variable(index).IsNumeric()) return kWrongValueType;
    data.properties(index).stringLabels.Set(*value, *label);
    return VEXA_OK;
}

template <typename Value>
ValueLabels<Value> Without(const ValueLabels<Value>& labels, const Value& value) {
    ValueLabels<Value> kept;
    for (const auto& [given, label] : labels.entries()) {
        if (!(given == value)) kept.Set(given, label);
    }
    return kept;
}

int DeleteAllLabels(const RequestArgs&, Dataset& data, std::size_t index) {
    data.properties(index).numericLabels = {};
    data.properties(index).stringLabels = {};
    return VEXA_OK;
}

int DeleteNumericLabel(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto value = args.Double(0);
    if (!value) return VEXA_MALFORMED_MESSAGE;
    auto& labels = data.properties(index).numericLabels;
    labels = Without(labels, *value);
    return VEXA_OK;
}

int DeleteStringLabel(const RequestArgs& args, Dataset& data, std::size_t index) {
    auto value = args.String(1);
    if (!value) return VEXA_MALFORMED_MESSAGE;
    auto& labels = data.properties(index).stringLabels;
    labels = Without(labels, *value);
    return VEXA_OK;
}

AttributeSet WithoutAttribute(const AttributeSet& attributes, const std::string& name) {
    AttributeSet kept;
    for (const auto& given : attributes.Names()) {
        if (given != name) kept.Set(given, *attributes.Find(given));
    }
    return kept;
}

// The attribute's name is the string `at`, its values the first string array.
int PutAttribute(const RequestArgs& args, std::int32_t at, AttributeSet& attributes) {
    auto name = args.String(at);
    const StringData* values = args.StringArray(0);
    if (!name || !values) return VEXA_MALFORMED_MESSAGE;
    if (name->empty()) return kBadPropertyCode;
    attributes.Set(*name, values->Values());
    return VEXA_OK;
}

int DropAttribute(const RequestArgs& args, std::int32_t at, AttributeSet& attributes) {
    auto name = args.String(at);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    attributes = WithoutAttribute(attributes, *name);
    return VEXA_OK;
}

int SetVariableAttribute(const RequestArgs& args, Dataset& data, std::size_t index) {
    return PutAttribute(args, 1, data.properties(index).attributes);
}

int DeleteVariableAttribute(const RequestArgs& args, Dataset& data, std::size_t index) {
    return DropAttribute(args, 1, data.properties(index).attributes);
}

using FileSetter = int (*)(const RequestArgs& args, Dataset& data);

template <FileSetter Setter>
int OnFile(const RequestArgs& args, CleXDSmb&, DataContext& state) {
    Dataset* data = nullptr;
    if (int failed = NamedDataset(args, state, data)) return failed;
    return Setter(args, *data);
}

int SetFileAttribute(const RequestArgs& args, Dataset& data) {
    return PutAttribute(args, 1, data.file().attributes);
}

int DeleteFileAttribute(const RequestArgs& args, Dataset& data) {
    return DropAttribute(args, 1, data.file().attributes);
}

// Strings after the dataset: set name, label, counted value; integer: kind;
// first string array: the member variables, which must exist.
int SetResponseSet(const RequestArgs& args, Dataset& data) {
    auto name = args.String(1);
    auto label = args.String(2);
    auto counted = args.String(3);
    auto kind = args.Int(0);
    const StringData* members = args.StringArray(0);
    if (!name || !label || !counted || !kind || !members) return VEXA_MALFORMED_MESSAGE;
    if (name->size() < 2 || name->front() != '$') return kBadPropertyCode;
    if (*kind != kCategorySet && *kind != kDichotomySet) return kBadPropertyCode;
    for (const auto& member : members->Values()) {
        if (data.FindVariable(member) == data.VariableCount()) return kNoSuchItem;
    }
    MultiResponseSet set{*name, *label, *kind, *counted, 0, members->Values()};
    auto& sets = data.file().sets;
    auto found = std::find_if(sets.begin(), sets.end(),
                              [&](const MultiResponseSet& s) { return s.name == *name; });
    if (found != sets.end())
        *found = std::move(set);
    else
        sets.push_back(std::move(set));
    return VEXA_OK;
}

int DeleteResponseSet(const RequestArgs& args, Dataset& data) {
    auto name = args.String(1);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    auto& sets = data.file().sets;
    const auto removed =
        std::erase_if(sets, [&](const MultiResponseSet& s) { return s.name == *name; });
    return removed ? static_cast<int>(VEXA_OK) : kNoSuchItem;
}

}  // namespace

void RegisterDatasetCommands(CommandTable& table) {
    table.Register(cmd::kCreateDataset, CreateDataset);
    table.Register(cmd::kCopyDataset, CopyDataset);
    table.Register(cmd::kSetDatasetName, RenameDataset);
    table.Register(cmd::kGetNewDatasetName, NewDatasetName);
    table.Register(cmd::kGetActive, GetActive);
    table.Register(cmd::kSetActive, SetActive);
    table.Register(cmd::kGetVexaDatasets, AllDatasets);
    table.Register(cmd::kGetOpenedVexaDatasets, OpenedDatasets);
    table.Register(cmd::kCloseDataset, CloseDataset);
    table.Register(cmd::kSetCacheInDS, SetCacheInDS);

    table.Register(cmd::kInsertCase, ChangeShape<InsertCase>);
    table.Register(cmd::kDeleteCase, ChangeShape<DeleteCase>);
    table.Register(cmd::kInsertVariable, ChangeShape<InsertVariable>);
    table.Register(cmd::kDeleteVariable, ChangeShape<DeleteVariable>);
    table.Register(cmd::kSetVarTypeInDS, ChangeShape<SetVarType>);

    table.Register(cmd::kGetNCellValue, NumericCell);
    table.Register(cmd::kGetCCellValue, StringCell);
    table.Register(cmd::kCommitDataSet, CommitCells);
    table.Register(cmd::kGetCaseLength, CaseLength);
    table.Register(cmd::kGetVarObsIndex, VarObsIndex);
    table.Register(cmd::kGetCaseValue, ReadCase);
    table.Register(cmd::kSetCaseValue, WriteCase);

    table.Register(cmd::kSetVarNameInDS, OnVariable<SetName>);
    table.Register(cmd::kSetVarLabelInDS, OnVariable<SetLabel>);
    table.Register(cmd::kSetVarRoleInDS,
                   OnVariable<SetRanged<&VariableProperties::role, kRoleInput, kRoleSplit>>);
    table.Register(cmd::kSetVarFormatInDS, OnVariable<SetFormat>);
    table.Register(cmd::kSetVarAlignmentInDS,
                   OnVariable<SetRanged<&VariableProperties::alignment, kAlignLeft, kAlignCenter>>);
    table.Register(cmd::kSetVarMeasurementLevelInDS, OnVariable<SetLevel>);
    table.Register(cmd::kSetVarColumnWidthInDS,
                   OnVariable<SetRanged<&VariableProperties::columnWidth, 0, kMaxFormatWidth>>);
    table.Register(cmd::kSetVarNMissingValuesInDS, OnVariable<SetNumericMissing>);
    table.Register(cmd::kSetVarCMissingValuesInDS, OnVariable<SetStringMissing>);
    table.Register(cmd::kSetVarNValueLabelInDS, OnVariable<SetNumericLabel>);
    table.Register(cmd::kSetVarCValueLabelInDS, OnVariable<SetStringLabel>);
    table.Register(cmd::kDelVarValueLabelInDS, OnVariable<DeleteAllLabels>);
    table.Register(cmd::kDelVarNValueLabelInDS, OnVariable<DeleteNumericLabel>);
    table.Register(cmd::kDelVarCValueLabelInDS, OnVariable<DeleteStringLabel>);
    table.Register(cmd::kSetVarAttributesInDS, OnVariable<SetVariableAttribute>);
    table.Register(cmd::kDelVarAttributesInDS, OnVariable<DeleteVariableAttribute>);
    table.Register(cmd::kSetDataFileAttributesInDS, OnFile<SetFileAttribute>);
    table.Register(cmd::kDelDataFileAttributesInDS, OnFile<DeleteFileAttribute>);
    table.Register(cmd::kSetMultiResponseSetInDS, OnFile<SetResponseSet>);
    table.Register(cmd::kDelMultiResponseSetInDS, OnFile<DeleteResponseSet>);
}

}  // namespace engine
