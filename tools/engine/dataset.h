// The engine's data model: a dictionary of variables and the cases, kept in
// memory as the wire's cells (see casestore.h) and independent of how
// requests reach the engine.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "casestore.h"
#include "dictionary.h"

namespace engine {

// Lowest finite double: the value a numeric cell holds when it has no value.
inline constexpr double kSystemMissing = std::numeric_limits<double>::lowest();

struct Variable {
    Variable() = default;
    Variable(std::string name, std::string label, int type)
        : name(std::move(name)), label(std::move(label)), type(type) {}

    std::string name;
    std::string label;
    // 0 for numeric; the width in bytes for a string variable.
    int type = 0;
    // Left with no format, the defaults of the type are filled in when the
    // variable is added.
    VariableProperties properties;

    bool IsNumeric() const { return type == 0; }
};

using CellValue = std::variant<double, std::string>;

class Dataset {
  public:
    Dataset() = default;
    explicit Dataset(std::string name) : m_name(std::move(name)) {}

    const std::string& name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }

    // False (and nothing added) when the name is empty or already taken.
    bool AddVariable(Variable variable);
    // False (and nothing added) when the values do not match the dictionary
    // in number and type.
    bool AddCase(std::vector<CellValue> values);

    std::size_t VariableCount() const { return m_variables.size(); }
    std::size_t CaseCount() const { return m_cases.CaseCount(); }
    const Variable& variable(std::size_t index) const { return m_variables.at(index); }
    // Name and type stay as they are: the cases depend on them.
    void SetLabel(std::size_t index, std::string label) {
        m_variables.at(index).label = std::move(label);
    }
    VariableProperties& properties(std::size_t index) { return m_variables.at(index).properties; }
    FileDictionary& file() { return m_file; }
    const FileDictionary& file() const { return m_file; }
    // The values of one case, in variable order; strings without their
    // padding blanks.
    std::vector<CellValue> row(std::size_t caseIndex) const;
    // Checked: throws std::out_of_range for a cell that does not exist.
    CellValue cell(std::size_t caseIndex, std::size_t variableIndex) const;
    // The cells themselves, for passes that read or write many. Cell values
    // and whole cases may be changed through it; variables only through the
    // dataset, which keeps the store's layout in step with the dictionary.
    const CaseStore& cases() const { return m_cases; }
    CaseStore& cases() { return m_cases; }
    // False (nothing changed) when there is no such cell or the value has
    // the other type than the variable.
    bool SetCell(std::size_t caseIndex, std::size_t variableIndex, CellValue value);
    // Index of the variable with this name, or VariableCount() when none.
    std::size_t FindVariable(const std::string& name) const;

    // Structural changes; each is false and changes nothing for a position
    // outside the data (a new case or variable may go at the end) or a name
    // that is empty or taken. New cells are system-missing or empty.
    bool InsertCase(std::size_t row);
    bool DeleteCase(std::size_t row);
    bool InsertVariable(std::size_t position, Variable variable);
    bool DeleteVariable(std::size_t position);
    bool RenameVariable(std::size_t index, std::string name);
    // Keeps what the new type can hold: a narrower string is cut, a change
    // between number and text empties the variable's cells, its format and
    // its missing values and value labels, which no longer fit.
    bool SetType(std::size_t index, int type);

  private:
    std::string m_name;
    std::vector<Variable> m_variables;
    FileDictionary m_file;
    CaseStore m_cases;
};

}  // namespace engine
