#include "dataset.h"

#include <stdexcept>
#include <utility>

namespace engine {

bool Dataset::AddVariable(Variable variable) {
    return InsertVariable(m_variables.size(), std::move(variable));
}

bool Dataset::AddCase(std::vector<CellValue> values) {
    if (values.size() != m_variables.size()) return false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (std::holds_alternative<double>(values[i]) != m_variables[i].IsNumeric()) return false;
    }
    m_cases.AppendCase();
    const std::size_t last = m_cases.CaseCount() - 1;
    for (std::size_t i = 0; i < values.size(); ++i) SetCell(last, i, std::move(values[i]));
    return true;
}

std::vector<CellValue> Dataset::row(std::size_t caseIndex) const {
    if (caseIndex >= m_cases.CaseCount()) throw std::out_of_range("no such case");
    std::vector<CellValue> values;
    values.reserve(m_variables.size());
    for (std::size_t v = 0; v < m_variables.size(); ++v) {
        if (m_variables[v].IsNumeric())
            values.emplace_back(m_cases.Number(caseIndex, v));
        else
            values.emplace_back(std::string(m_cases.Text(caseIndex, v)));
    }
    return values;
}

CellValue Dataset::cell(std::size_t caseIndex, std::size_t variableIndex) const {
    if (caseIndex >= m_cases.CaseCount() || variableIndex >= m_variables.size())
        throw std::out_of_range("no such cell");
    if (m_variables[variableIndex].IsNumeric()) return m_cases.Number(caseIndex, variableIndex);
    return std::string(m_cases.Text(caseIndex, variableIndex));
}

bool Dataset::SetCell(std::size_t caseIndex, std::size_t variableIndex, CellValue value) {
    if (caseIndex >= m_cases.CaseCount() || variableIndex >= m_variables.size()) return false;
    if (const double* number = std::get_if<double>(&value)) {
        if (!m_variables[variableIndex].IsNumeric()) return false;
        m_cases.SetNumber(caseIndex, variableIndex, *number);
        return true;
    }
    if (m_variables[variableIndex].IsNumeric()) return false;
    m_cases.SetText(caseIndex, variableIndex, std::get<std::string>(value));
    return true;
}

std::size_t Dataset::FindVariable(const std::string& name) const {
    for (std::size_t i = 0; i < m_variables.size(); ++i) {
        if (m_variables[i].name == name) return i;
    }
    return m_variables.size();
}

bool Dataset::InsertCase(std::size_t row) { return m_cases.InsertCase(row); }

bool Dataset::DeleteCase(std::size_t row) { return m_cases.DeleteCase(row); }

bool Dataset::InsertVariable(std::size_t position, Variable variable) {
    if (position > m_variables.size()) return false;
    if (variable.name.empty() || FindVariable(variable.name) != VariableCount()) return false;
    if (!m_cases.InsertVariable(position, variable.type)) return false;
    // The store clamps widths; the dictionary says what the cells hold.
    variable.type = m_cases.Type(position);
    if (variable.properties.format.code == 0)
        variable.properties = DefaultProperties(variable.type);
    m_variables.insert(m_variables.begin() + static_cast<std::ptrdiff_t>(position),
                       std::move(variable));
    return true;
}

bool Dataset::DeleteVariable(std::size_t position) {
    if (!m_cases.DeleteVariable(position)) return false;
    m_variables.erase(m_variables.begin() + static_cast<std::ptrdiff_t>(position));
    return true;
}

bool Dataset::RenameVariable(std::size_t index, std::string name) {
    if (index >= m_variables.size() || name.empty()) return false;
    const std::size_t holder = FindVariable(name);
    if (holder != m_variables.size() && holder != index) return false;
    m_variables[index].name = std::move(name);
    return true;
}

bool Dataset::SetType(std::size_t index, int type) {
    if (!m_cases.SetType(index, type)) return false;
    Variable& variable = m_variables[index];
    const int kept = m_cases.Type(index);
    const bool kindChanges = (kept == 0) != variable.IsNumeric();
    if (kindChanges) {
        VariableProperties fresh = DefaultProperties(kept);
        fresh.attributes = std::move(variable.properties.attributes);
        variable.properties = std::move(fresh);
    } else if (kept > 0) {
        variable.properties.format.width = kept;
    }
    variable.type = kept;
    return true;
}

}  // namespace engine
