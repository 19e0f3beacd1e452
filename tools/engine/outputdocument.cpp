#include "outputdocument.h"

#include <algorithm>
#include <utility>

namespace engine {

bool ShownValue::operator==(const ShownValue& other) const {
    return kind == other.kind && text == other.text && number == other.number &&
           variable == other.variable;
}

Dimension* PivotTable::FindDimension(const DimensionKey& key) {
    auto found = std::find_if(dimensions.begin(), dimensions.end(),
                              [&](const Dimension& dimension) { return dimension.key == key; });
    return found == dimensions.end() ? nullptr : &*found;
}

// Tables of many thousand cells are filled one cell per call: a scan per
// call would make the fill quadratic.
Cell* PivotTable::FindCell(const std::vector<std::size_t>& at) {
    auto found = cellIndex.find(at);
    return found == cellIndex.end() ? nullptr : &cells[found->second];
}

Cell& PivotTable::CellAt(const std::vector<std::size_t>& at) {
    if (Cell* cell = FindCell(at)) return *cell;
    cellIndex.emplace(at, cells.size());
    Cell& cell = cells.emplace_back();
    cell.at = at;
    return cell;
}

PivotTable* Procedure::FindTable(const TableKey& key) {
    auto found = std::find_if(tables.begin(), tables.end(),
                              [&](const PivotTable& table) { return table.key == key; });
    return found == tables.end() ? nullptr : &*found;
}

void OutputDocument::Open(std::string name, std::string identifier, std::size_t logPosition) {
    m_open.emplace();
    m_open->name = std::move(name);
    m_open->identifier = std::move(identifier);
    m_open->firstLogEntry = logPosition;
}

const Procedure& OutputDocument::Close(std::size_t logPosition) {
    m_open->endLogEntry = logPosition;
    m_procedures.push_back(std::move(*m_open));
    m_open.reset();
    return m_procedures.back();
}

std::vector<std::string> OutputDocument::Tags() const {
    std::vector<std::string> tags;
    auto collect = [&](const Procedure& procedure) {
        for (const PivotTable& table : procedure.tables) {
            if (std::find(tags.begin(), tags.end(), table.key.subtype) == tags.end()) {
                tags.push_back(table.key.subtype);
            }
        }
    };
    for (const Procedure& procedure : m_procedures) collect(procedure);
    if (m_open) collect(*m_open);
    return tags;
}

namespace {

void VisitLog(const OutputLog& log, std::size_t& next, std::size_t end, OutputVisitor& visitor) {
    end = std::min(end, log.entries().size());
    for (; next < end; ++next) visitor.LogEntry(log.entries()[next]);
}

std::size_t EndOf(const Procedure& procedure, const OutputDocument& document,
                  const OutputLog& log) {
    return &procedure == document.open() ? log.entries().size() : procedure.endLogEntry;
}

void VisitItems(const Procedure& procedure, std::size_t end, const OutputLog& log,
                OutputVisitor& visitor) {
    visitor.BeginProcedure(procedure);
    std::size_t next = procedure.firstLogEntry;
    for (const Procedure::Item& item : procedure.items) {
        VisitLog(log, next, item.logPosition, visitor);
        switch (item.kind) {
            case Procedure::Item::Kind::kTable:
                visitor.Table(procedure.tables[item.index]);
                break;
            case Procedure::Item::Kind::kTextBlock:
                visitor.Text(procedure.textBlocks[item.index]);
                break;
            case Procedure::Item::Kind::kSplit:
                visitor.Split(procedure.splits[item.index]);
                break;
        }
    }
    VisitLog(log, next, end, visitor);
    visitor.EndProcedure(procedure);
}

}  // namespace

void VisitProcedure(const Procedure& procedure, const OutputLog& log, OutputVisitor& visitor) {
    VisitItems(procedure, procedure.endLogEntry, log, visitor);
}

void VisitOutput(const OutputDocument& document, const OutputLog& log, OutputVisitor& visitor) {
    std::size_t next = 0;
    auto visit = [&](const Procedure& procedure) {
        VisitLog(log, next, procedure.firstLogEntry, visitor);
        std::size_t end = EndOf(procedure, document, log);
        VisitItems(procedure, end, log, visitor);
        next = std::max(next, end);
    };
    for (const Procedure& procedure : document.procedures()) visit(procedure);
    if (const Procedure* open = document.open()) visit(*open);
    VisitLog(log, next, log.entries().size(), visitor);
}

}  // namespace engine
