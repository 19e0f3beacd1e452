// The pivot-table family: tables, dimensions, categories, cells, footnotes,
// captions, column widths, number formats, text blocks and split marks, all
// inside the open procedure. A call names its table by the table key
// (strings 0-2, integer 0) and its dimension by the dimension key (string 3,
// integers 1-4); what follows the keys is the call's own.
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codec/protocol.h"
#include "commandtable.h"
#include "enginecodes.h"
#include "runtime/statuscodes.h"
#include "shownvalues.h"

namespace engine {
namespace {

// The open procedure's tables, the log they are placed after and the active
// dataset their variable categories are shown from.
struct PivotContext {
    explicit PivotContext(EngineState& state)
        : output(state.output), log(state.log), active(state.active) {}

    OutputDocument& output;
    const OutputLog& log;
    const Dataset& active;
};

// Values after the keys: table functions' own strings start at 3, the
// dimension functions' at 4 and their own integers at 5.
constexpr int kTableOwnString = 3;
constexpr int kTableOwnInt = 1;
constexpr int kDimensionOwnString = 4;
constexpr int kDimensionOwnInt = 5;

std::optional<TableKey> ReadTableKey(const RequestArgs& args) {
    auto outline = args.String(0);
    auto title = args.String(1);
    auto subtype = args.String(2);
    auto flag = args.Int(0);
    if (!outline || !title || !subtype || !flag) return std::nullopt;
    return TableKey{*outline, *title, *subtype, *flag != 0};
}

std::optional<DimensionKey> ReadDimensionKey(const RequestArgs& args) {
    auto name = args.String(3);
    auto place = args.Int(1);
    auto position = args.Int(2);
    auto hideName = args.Int(3);
    auto hideLabels = args.Int(4);
    if (!name || !place || !position || !hideName || !hideLabels) return std::nullopt;
    return DimensionKey{*name, *place, *position, *hideName != 0, *hideLabels != 0};
}

// The table a call acts on, or the code that says why there is none.
struct TableTarget {
    PivotTable* table = nullptr;
    int code = VEXA_OK;
};

TableTarget FindTable(const RequestArgs& args, PivotContext& state) {
    Procedure* procedure = state.output.open();
    if (!procedure) return {nullptr, kNoProcedureOpen};
    auto key = ReadTableKey(args);
    if (!key) return {nullptr, VEXA_MALFORMED_MESSAGE};
    PivotTable* table = procedure->FindTable(*key);
    return {table, table ? int{VEXA_OK} : int{kNoSuchPivotTable}};
}

struct DimensionTarget {
    PivotTable* table = nullptr;
    Dimension* dimension = nullptr;
    int code = VEXA_OK;
};

DimensionTarget FindDimension(const RequestArgs& args, PivotContext& state) {
    TableTarget target = FindTable(args, state);
    if (target.code != VEXA_OK) return {nullptr, nullptr, target.code};
    auto key = ReadDimensionKey(args);
    if (!key) return {nullptr, nullptr, VEXA_MALFORMED_MESSAGE};
    Dimension* dimension = target.table->FindDimension(*key);
    return {target.table, dimension, dimension ? int{VEXA_OK} : int{kNoSuchDimension}};
}

bool ValidVariable(const PivotContext& state, int position) {
    return position >= 0 && static_cast<std::size_t>(position) < state.active.VariableCount();
}

// ---- procedure-level and table-level calls ----

int StartPivotTable(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    Procedure* procedure = state.output.open();
    if (!procedure) return kNoProcedureOpen;
    auto key = ReadTableKey(args);
    if (!key) return VEXA_MALFORMED_MESSAGE;
    if (procedure->FindTable(*key)) return kPivotTableExists;
    procedure->items.push_back(
        {Procedure::Item::Kind::kTable, procedure->tables.size(), state.log.entries().size()});
    procedure->tables.emplace_back().key = *key;
    return VEXA_OK;
}

int AddProcFootnotes(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    Procedure* procedure = state.output.open();
    if (!procedure) return kNoProcedureOpen;
    auto footnote = args.String(0);
    if (!footnote) return VEXA_MALFORMED_MESSAGE;
    procedure->footnotes.push_back(*footnote);
    return VEXA_OK;
}

// Runs `change` on the call's table with the call's own string, when it has one.
template <typename Change>
int ChangeTableWithText(const RequestArgs& args, PivotContext& state, int stringIndex,
                        Change change) {
    TableTarget target = FindTable(args, state);
    if (target.code) return target.code;
    auto text = args.String(stringIndex);
    if (!text) return VEXA_MALFORMED_MESSAGE;
    change(*target.table, *text);
    return VEXA_OK;
}

int HideTitle(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    TableTarget target = FindTable(args, state);
    if (target.code) return target.code;
    target.table->titleHidden = true;
    return VEXA_OK;
}

int Caption(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    return ChangeTableWithText(
        args, state, kTableOwnString,
        [](PivotTable& table, const std::string& text) { table.caption = text; });
}

// The footnote belongs to the caption it names, which becomes the caption.
int CaptionFootnote(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    auto footnote = args.String(kTableOwnString + 1);
    if (!footnote) return VEXA_MALFORMED_MESSAGE;
    return ChangeTableWithText(args, state, kTableOwnString,
                               [&](PivotTable& table, const std::string& caption) {
                                   if (table.caption != caption) table.captionFootnotes.clear();
                                   table.caption = caption;
                                   table.captionFootnotes.push_back(*footnote);
                               });
}

int OutlineFootnote(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    return ChangeTableWithText(
        args, state, kTableOwnString,
        [](PivotTable& table, const std::string& text) { table.outlineFootnotes.push_back(text); });
}

int TitleFootnote(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    return ChangeTableWithText(
        args, state, kTableOwnString,
        [](PivotTable& table, const std::string& text) { table.titleFootnotes.push_back(text); });
}

template <bool Minimum>
int ColumnWidth(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    TableTarget target = FindTable(args, state);
    if (target.code) return target.code;
    auto width = args.Int(kTableOwnInt);
    if (!width) return VEXA_MALFORMED_MESSAGE;
    PivotTable& table = *target.table;
    std::optional<int> low = Minimum ? width : table.minColumnWidth;
    std::optional<int> high = Minimum ? table.maxColumnWidth : width;
    if (*width < 0 || (low && high && *low > *high)) return kBadColumnWidth;
    (Minimum ? table.minColumnWidth : table.maxColumnWidth) = *width;
    return VEXA_OK;
}

// ---- dimensions and categories ----

int AddDimension(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    TableTarget target = FindTable(args, state);
    if (target.code) return target.code;
    auto key = ReadDimensionKey(args);
    if (!key) return VEXA_MALFORMED_MESSAGE;
    if (key->place < static_cast<int>(Place::kRow) ||
        key->place > static_cast<int>(Place::kLayer)) {
        return kBadDimensionPlace;
    }
    if (target.table->FindDimension(*key)) return kDimensionExists;
    if (!target.table->cells.empty()) {
        // Cells already set would have no category on the new dimension.
        return kTableHasCells;
    }
    target.table->dimensions.emplace_back().key = *key;
    return VEXA_OK;
}

int DimensionFootnote(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    DimensionTarget target = FindDimension(args, state);
    if (target.code) return target.code;
    auto footnote = args.String(kDimensionOwnString);
    if (!footnote) return VEXA_MALFORMED_MESSAGE;
    target.dimension->footnotes.push_back(*footnote);
    return VEXA_OK;
}

// Adding a category the dimension has selects it instead.
void AddOrSelect(Dimension& dimension, ShownValue value) {
    for (std::size_t i = 0; i < dimension.categories.size(); ++i) {
        if (dimension.categories[i].value == value) {
            dimension.current = i;
            return;
        }
    }
    dimension.categories.push_back(Category{std::move(value), {}});
    dimension.current = dimension.categories.size() - 1;
}

// What a category or cell call shows, read from the values after the keys;
// the code says why there is nothing to show.
struct Shown {
    std::optional<ShownValue> value;
    int code = VEXA_OK;
};

using ShownReader = Shown (*)(const RequestArgs& args, const PivotContext& state);

Shown NumberShown(const RequestArgs& args, const PivotContext&) {
    auto value = args.Double(0);
    if (!value) return {std::nullopt, VEXA_MALFORMED_MESSAGE};
    return {NumberValue(*value)};
}

Shown StringShown(const RequestArgs& args, const PivotContext&) {
    auto value = args.String(kDimensionOwnString);
    if (!value) return {std::nullopt, VEXA_MALFORMED_MESSAGE};
    return {StringValue(*value)};
}

Shown DateShown(const RequestArgs& args, const PivotContext&) {
    auto value = args.String(kDimensionOwnString);
    if (!value) return {std::nullopt, VEXA_MALFORMED_MESSAGE};
    return {DateValue(*value)};
}

std::optional<int> VariablePosition(const RequestArgs& args, const PivotContext& state, int& code) {
    auto position = args.Int(kDimensionOwnInt);
    code = !position                         ? int{VEXA_MALFORMED_MESSAGE}
           : ValidVariable(state, *position) ? int{VEXA_OK}
                                             : int{kNoSuchItem};
    return code ? std::nullopt : position;
}

Shown VariableNameShown(const RequestArgs& args, const PivotContext& state) {
    int code = VEXA_OK;
    auto position = VariablePosition(args, state, code);
    if (!position) return {std::nullopt, code};
    return {VariableNameValue(state.active, *position)};
}

Shown VariableNumberShown(const RequestArgs& args, const PivotContext& state) {
    int code = VEXA_OK;
    auto position = VariablePosition(args, state, code);
    if (!position) return {std::nullopt, code};
    auto value = args.Double(0);
    if (!value) return {std::nullopt, VEXA_MALFORMED_MESSAGE};
    return {VariableValue(state.active, *position, *value)};
}

Shown VariableStringShown(const RequestArgs& args, const PivotContext& state) {
    int code = VEXA_OK;
    auto position = VariablePosition(args, state, code);
    if (!position) return {std::nullopt, code};
    auto value = args.String(kDimensionOwnString);
    if (!value) return {std::nullopt, VEXA_MALFORMED_MESSAGE};
    return {VariableValue(state.active, *position, *value)};
}

template <ShownReader Read>
int AddCategory(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    DimensionTarget target = FindDimension(args, state);
    if (target.code) return target.code;
    Shown shown = Read(args, state);
    if (!shown.value) return shown.code;
    AddOrSelect(*target.dimension, std::move(*shown.value));
    return VEXA_OK;
}

int CategoryFootnote(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    DimensionTarget target = FindDimension(args, state);
    if (target.code) return target.code;
    auto footnote = args.String(kDimensionOwnString);
    if (!footnote) return VEXA_MALFORMED_MESSAGE;
    if (!target.dimension->current) return kNoCurrentCategory;
    target.dimension->categories[*target.dimension->current].footnotes.push_back(*footnote);
    return VEXA_OK;
}

// ---- cells ----

// The current category of every dimension, or nothing when one has none.
std::optional<std::vector<std::size_t>> CurrentCoordinates(const PivotTable& table) {
    if (table.dimensions.empty()) return std::nullopt;
    std::vector<std::size_t> at;
    for (const Dimension& dimension : table.dimensions) {
        if (!dimension.current) return std::nullopt;
        at.push_back(*dimension.current);
    }
    return at;
}

template <ShownReader Read>
int SetCell(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    DimensionTarget target = FindDimension(args, state);
    if (target.code) return target.code;
    auto at = CurrentCoordinates(*target.table);
    if (!at) return kNoCurrentCategory;
    Shown shown = Read(args, state);
    if (!shown.value) return shown.code;
    std::optional<FormatSpec> format;
    if (shown.value->kind == ShownValue::Kind::kNumber) {
        format = state.output.format();
        shown.value = NumberCellValue(state.active, *shown.value->number, *format);
    }
    Cell& cell = target.table->CellAt(*at);
    cell.value = std::move(*shown.value);
    cell.format = format;
    return VEXA_OK;
}

int CellFootnote(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    DimensionTarget target = FindDimension(args, state);
    if (target.code) return target.code;
    auto footnote = args.String(kDimensionOwnString);
    if (!footnote) return VEXA_MALFORMED_MESSAGE;
    auto at = CurrentCoordinates(*target.table);
    if (!at) return kNoCurrentCategory;
    Cell* cell = target.table->FindCell(*at);
    if (!cell) return kNoSuchCell;
    cell->footnotes.push_back(*footnote);
    return VEXA_OK;
}

// ---- number formats, text blocks, splits ----

struct FormatCommand {
    int code;
    const char* kind;
    bool takesVariable;
};

constexpr FormatCommand kFormatCommands[] = {
    {cmd::kSetFormatSpecCoefficient, "Coefficient", false},
    {cmd::kSetFormatSpecCoefficientSE, "CoefficientSE", false},
    {cmd::kSetFormatSpecCoefficientVar, "CoefficientVar", false},
    {cmd::kSetFormatSpecCorrelation, "Correlation", false},
    {cmd::kSetFormatSpecGeneralStat, "GeneralStat", false},
    {cmd::kSetFormatSpecMean, "Mean", true},
    {cmd::kSetFormatSpecCount, "Count", false},
    {cmd::kSetFormatSpecPercent, "Percent", false},
    {cmd::kSetFormatSpecPercentNoSign, "PercentNoSign", false},
    {cmd::kSetFormatSpecProportion, "Proportion", false},
    {cmd::kSetFormatSpecSignificance, "Significance", false},
    {cmd::kSetFormatSpecResidual, "Residual", false},
    {cmd::kSetFormatSpecVariable, "Variable", true},
    {cmd::kSetFormatSpecStdDev, "StdDev", true},
    {cmd::kSetFormatSpecDifference, "Difference", true},
    {cmd::kSetFormatSpecSum, "Sum", true},
};

template <int Index>
int SetFormat(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    const FormatCommand& command = kFormatCommands[Index];
    FormatSpec format{command.kind, -1};
    if (command.takesVariable) {
        auto position = args.Int(0);
        if (!position) return VEXA_MALFORMED_MESSAGE;
        if (!ValidVariable(state, *position)) return kNoSuchItem;
        format.variable = *position;
    }
    state.output.format() = format;
    return VEXA_OK;
}

template <std::size_t... Index>
void RegisterFormats(CommandTable& table, std::index_sequence<Index...>) {
    (table.Register(kFormatCommands[Index].code, SetFormat<Index>), ...);
}

int AddTextBlock(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    Procedure* procedure = state.output.open();
    if (!procedure) return kNoProcedureOpen;
    auto outline = args.String(0);
    auto title = args.String(1);
    auto text = args.String(2);
    auto lines = args.Int(0);
    if (!outline || !title || !text || !lines) return VEXA_MALFORMED_MESSAGE;
    procedure->items.push_back({Procedure::Item::Kind::kTextBlock, procedure->textBlocks.size(),
                                state.log.entries().size()});
    procedure->textBlocks.push_back({*outline, *title, *text, *lines});
    return VEXA_OK;
}

int SplitChange(const RequestArgs& args, CleXDSmb&, PivotContext& state) {
    Procedure* procedure = state.output.open();
    if (!procedure) return kNoProcedureOpen;
    auto name = args.String(0);
    if (!name) return VEXA_MALFORMED_MESSAGE;
    procedure->items.push_back(
        {Procedure::Item::Kind::kSplit, procedure->splits.size(), state.log.entries().size()});
    procedure->splits.push_back({*name});
    return VEXA_OK;
}

}  // namespace

void RegisterPivotCommands(CommandTable& table) {
    table.Register(cmd::kStartPivotTable, StartPivotTable);
    table.Register(cmd::kAddProcFootnotes, AddProcFootnotes);
    table.Register(cmd::kHidePivotTableTitle, HideTitle);
    table.Register(cmd::kPivotTableCaption, Caption);
    table.Register(cmd::kAddCaptionFootnotes, CaptionFootnote);
    table.Register(cmd::kAddOutlineFootnotes, OutlineFootnote);
    table.Register(cmd::kAddTitleFootnotes, TitleFootnote);
    table.Register(cmd::kMinDataColumnWidth, ColumnWidth<true>);
    table.Register(cmd::kMaxDataColumnWidth, ColumnWidth<false>);
    table.Register(cmd::kAddDimension, AddDimension);
    table.Register(cmd::kAddDimFootnotes, DimensionFootnote);
    table.Register(cmd::kAddNumberCategory, AddCategory<NumberShown>);
    table.Register(cmd::kAddStringCategory, AddCategory<StringShown>);
    table.Register(cmd::kAddVarNameCategory, AddCategory<VariableNameShown>);
    table.Register(cmd::kAddVarValueDoubleCategory, AddCategory<VariableNumberShown>);
    table.Register(cmd::kAddVarValueStringCategory, AddCategory<VariableStringShown>);
    table.Register(cmd::kAddCategoryFootnotes, CategoryFootnote);
    table.Register(cmd::kSetNumberCell, SetCell<NumberShown>);
    table.Register(cmd::kSetStringCell, SetCell<StringShown>);
    table.Register(cmd::kSetVarNameCell, SetCell<VariableNameShown>);
    table.Register(cmd::kSetVarValueDoubleCell, SetCell<VariableNumberShown>);
    table.Register(cmd::kSetVarValueStringCell, SetCell<VariableStringShown>);
    table.Register(cmd::kSetDateCell, SetCell<DateShown>);
    table.Register(cmd::kAddCellFootnotes, CellFootnote);
    RegisterFormats(table, std::make_index_sequence<std::size(kFormatCommands)>());
    table.Register(cmd::kAddTextBlock, AddTextBlock);
    table.Register(cmd::kSplitChange, SplitChange);
}

}  // namespace engine
