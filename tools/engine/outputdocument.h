// The engine's output model: procedures in the order they ended, each with
// its pivot tables, text blocks, split marks and footnotes. The pivot-table
// commands find their table by the table key and their dimension by the
// dimension key; a dimension's last added (or re-added) category is its
// current one, and a cell is set at the current categories of all the
// table's dimensions. Output log entries made while a procedure was open
// belong to that procedure. One thread.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "outputlog.h"

namespace engine {

// The three strings and the flag that every pivot-table call repeats.
struct TableKey {
    std::string outline;
    std::string title;
    std::string subtype;
    bool flag = false;
    bool operator==(const TableKey&) const = default;
};

enum class Place { kRow = 0, kColumn = 1, kLayer = 2 };

struct DimensionKey {
    std::string name;
    int place = 0;
    int position = 0;
    bool hideName = false;
    bool hideLabels = false;
    bool operator==(const DimensionKey&) const = default;
};

// The number format a SetFormatSpec command chose for the cells that follow.
struct FormatSpec {
    std::string kind = "GeneralStat";
    // The variable whose format the kind follows, or -1.
    int variable = -1;
};

// What a category or a cell shows. `number` holds the double of number and
// variable-value entries; `variable` the position of variable entries.
struct ShownValue {
    enum class Kind { kNumber, kString, kVariableName, kVariableValue, kDate };
    Kind kind = Kind::kString;
    std::string text;
    std::optional<double> number;
    int variable = -1;
    std::string variableName;
    bool operator==(const ShownValue& other) const;
};

struct Category {
    ShownValue value;
    std::vector<std::string> footnotes;
};

struct Dimension {
    DimensionKey key;
    std::vector<Category> categories;
    std::optional<std::size_t> current;
    std::vector<std::string> footnotes;
};

struct Cell {
    // One category index per dimension, in the table's dimension order.
    std::vector<std::size_t> at;
    ShownValue value;
    std::optional<FormatSpec> format;
    std::vector<std::string> footnotes;
};

struct PivotTable {
    TableKey key;
    bool titleHidden = false;
    std::optional<std::string> caption;
    std::vector<std::string> captionFootnotes;
    std::vector<std::string> outlineFootnotes;
    std::vector<std::string> titleFootnotes;
    std::optional<int> minColumnWidth;
    std::optional<int> maxColumnWidth;
    std::vector<Dimension> dimensions;
    // Grows only through CellAt, which keeps `cellIndex` in step.
    std::vector<Cell> cells;
    std::map<std::vector<std::size_t>, std::size_t> cellIndex;

    Dimension* FindDimension(const DimensionKey& key);
    Cell* FindCell(const std::vector<std::size_t>& at);
    // The cell at `at`, added empty when there is none.
    Cell& CellAt(const std::vector<std::size_t>& at);
};

struct TextBlock {
    std::string outline;
    std::string title;
    std::string text;
    int lines = 0;
};

struct SplitMark {
    std::string name;
};

// Output log entries from `firstLogEntry` up to `endLogEntry` were made
// while the procedure was open.
struct Procedure {
    std::string name;
    std::string identifier;
    std::vector<std::string> footnotes;
    // Tables, text blocks and split marks in the order they were made.
    // `logPosition`: the output log's size when the item was made, so that
    // log entries and items can be told in the order they happened.
    struct Item {
        enum class Kind { kTable, kTextBlock, kSplit } kind;
        std::size_t index;
        std::size_t logPosition;
    };
    std::vector<Item> items;
    std::vector<PivotTable> tables;
    std::vector<TextBlock> textBlocks;
    std::vector<SplitMark> splits;
    std::size_t firstLogEntry = 0;
    std::size_t endLogEntry = 0;

    PivotTable* FindTable(const TableKey& key);
};

class OutputDocument {
  public:
    // The procedure being built, or null.
    Procedure* open() { return m_open ? &*m_open : nullptr; }
    const Procedure* open() const { return m_open ? &*m_open : nullptr; }
    bool IsOpen() const { return m_open.has_value(); }

    void Open(std::string name, std::string identifier, std::size_t logPosition);
    // Moves the open procedure to the finished ones and returns it.
    const Procedure& Close(std::size_t logPosition);

    const std::vector<Procedure>& procedures() const { return m_procedures; }

    FormatSpec& format() { return m_format; }

    // The distinct table subtypes of the output so far (finished and open
    // procedures), in the order they first appeared.
    std::vector<std::string> Tags() const;

  private:
    std::vector<Procedure> m_procedures;
    std::optional<Procedure> m_open;
    FormatSpec m_format;
};

// What the document writers are told, in the order things happened.
class OutputVisitor {
  public:
    virtual ~OutputVisitor() = default;
    virtual void LogEntry(const OutputLog::Entry& entry) = 0;
    virtual void BeginProcedure(const Procedure& procedure) = 0;
    virtual void Table(const PivotTable& table) = 0;
    virtual void Text(const TextBlock& block) = 0;
    virtual void Split(const SplitMark& mark) = 0;
    virtual void EndProcedure(const Procedure& procedure) = 0;
};

// A finished procedure with the log entries made while it was open.
void VisitProcedure(const Procedure& procedure, const OutputLog& log, OutputVisitor& visitor);
// The whole output: finished procedures, the open one, and the log entries
// made outside them.
void VisitOutput(const OutputDocument& document, const OutputLog& log, OutputVisitor& visitor);

}  // namespace engine
