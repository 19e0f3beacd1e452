#include "enginetables.h"

#include <utility>

#include "enginecodes.h"
#include "outputxml.h"
#include "shownvalues.h"

namespace engine {

TableBuilder::TableBuilder(const Dataset& dictionary, TableKey key) : m_dictionary(dictionary) {
    m_table.key = std::move(key);
}

std::size_t TableBuilder::AddDimension(const std::string& name, Place place) {
    int position = 0;
    for (const Dimension& dimension : m_table.dimensions) {
        if (dimension.key.place == static_cast<int>(place)) ++position;
    }
    Dimension& added = m_table.dimensions.emplace_back();
    added.key = DimensionKey{name, static_cast<int>(place), position, false, false};
    return m_table.dimensions.size() - 1;
}

std::size_t TableBuilder::Category(std::size_t dimension, ShownValue value) {
    std::vector<engine::Category>& categories = m_table.dimensions.at(dimension).categories;
    for (std::size_t i = 0; i < categories.size(); ++i) {
        if (categories[i].value == value) return i;
    }
    categories.push_back(engine::Category{std::move(value), {}});
    m_table.dimensions[dimension].current = categories.size() - 1;
    return categories.size() - 1;
}

void TableBuilder::SetNumber(const std::vector<std::size_t>& at, double value,
                             const FormatSpec& format) {
    Cell& cell = m_table.CellAt(at);
    cell.value = NumberCellValue(m_dictionary, value, format);
    cell.format = format;
}

void TableBuilder::SetText(const std::vector<std::size_t>& at, std::string text) {
    m_table.CellAt(at).value = StringValue(std::move(text));
}

EngineProcedure::~EngineProcedure() {
    if (m_open) End();
}

CommandOutcome EngineProcedure::Begin(const std::string& name) {
    if (m_state.output.IsOpen()) {
        return CommandOutcome::Failed(
            kProcedureAlreadyOpen,
            "a procedure of the client is open; end it before running " + name);
    }
    m_state.output.Open(name, name, m_state.log.entries().size());
    m_open = true;
    return CommandOutcome::Done();
}

void EngineProcedure::AddTable(PivotTable table) {
    Procedure& procedure = *m_state.output.open();
    procedure.items.push_back(
        {Procedure::Item::Kind::kTable, procedure.tables.size(), m_state.log.entries().size()});
    procedure.tables.push_back(std::move(table));
}

void EngineProcedure::AddText(TextBlock block) {
    Procedure& procedure = *m_state.output.open();
    procedure.items.push_back({Procedure::Item::Kind::kTextBlock, procedure.textBlocks.size(),
                               m_state.log.entries().size()});
    procedure.textBlocks.push_back(std::move(block));
}

void EngineProcedure::End() {
    m_open = false;
    const Procedure& closed = m_state.output.Close(m_state.log.entries().size());
    m_state.documents.Keep(
        closed.identifier,
        ProcedureXmlLater(m_state.output, m_state.output.procedures().size() - 1, m_state.log));
}

FormatSpec CountFormat() { return FormatSpec{"Count", -1}; }
FormatSpec PercentFormat() { return FormatSpec{"PercentNoSign", -1}; }
FormatSpec VariableFormat(const char* kind, std::size_t variable) {
    return FormatSpec{kind, static_cast<int>(variable)};
}

}  // namespace engine
