#include "dataset.h"

#include <utility>

namespace engine {

bool Dataset::AddVariable(Variable variable) {
    if (variable.name.empty() || FindVariable(variable.name) != VariableCount()) return false;
    // Existing cases get the empty value of the new variable.
    for (auto& values : m_cases) {
        if (variable.IsNumeric())
            values.emplace_back(kSystemMissing);
        else
            values.emplace_back(std::string());
    }
    if (variable.properties.format.code == 0) variable.properties = DefaultProperties(variable.type);
    m_variables.push_back(std::move(variable));
    return true;
}

bool Dataset::AddCase(std::vector<CellValue> values) {
    if (values.size() != m_variables.size()) return false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (std::holds_alternative<double>(values[i]) != m_variables[i].IsNumeric()) return false;
    }
    m_cases.push_back(std::move(values));
    return true;
}

bool Dataset::SetCell(std::size_t caseIndex, std::size_t variableIndex, CellValue value) {
    if (caseIndex >= m_cases.size() || variableIndex >= m_variables.size()) return false;
    if (std::holds_alternative<double>(value) != m_variables[variableIndex].IsNumeric()) return false;
    m_cases[caseIndex][variableIndex] = std::move(value);
    return true;
}

std::size_t Dataset::FindVariable(const std::string& name) const {
    for (std::size_t i = 0; i < m_variables.size(); ++i) {
        if (m_variables[i].name == name) return i;
    }
    return m_variables.size();
}

}  // namespace engine
