// How the engine's own computing commands put their results into the output:
// a procedure of the command's name, filed like a client's (its document is
// kept under the procedure's identifier when it ends), holding pivot tables
// built as the pivot-table commands build them. One thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "commandoutcome.h"
#include "enginestate.h"
#include "outputdocument.h"

namespace engine {

// Builds one pivot table: dimensions in the order added, categories added or
// found again by what they show, number cells in a number format.
class TableBuilder {
  public:
    TableBuilder(const Dataset& dictionary, TableKey key);

    // Its position is the count of dimensions already in that place.
    std::size_t AddDimension(const std::string& name, Place place);
    std::size_t Category(std::size_t dimension, ShownValue value);
    void SetNumber(const std::vector<std::size_t>& at, double value, const FormatSpec& format);
    void SetText(const std::vector<std::size_t>& at, std::string text);

    PivotTable Take() { return std::move(m_table); }

  private:
    const Dataset& m_dictionary;
    PivotTable m_table;
};

// The procedure an engine command files its output in; opened by Begin,
// filed by End. Refused while a client's procedure is open.
class EngineProcedure {
  public:
    explicit EngineProcedure(OutputState& state) : m_state(state) {}
    ~EngineProcedure();
    EngineProcedure(const EngineProcedure&) = delete;
    EngineProcedure& operator=(const EngineProcedure&) = delete;

    CommandOutcome Begin(const std::string& name);
    void AddTable(PivotTable table);
    void AddText(TextBlock block);
    void End();

  private:
    OutputState& m_state;
    bool m_open = false;
};

// Number formats of the engine's tables.
FormatSpec CountFormat();
FormatSpec PercentFormat();
FormatSpec VariableFormat(const char* kind, std::size_t variable);

}  // namespace engine
