#include "dataset.h"

#include <utility>

namespace engine {
namespace {

CellValue EmptyValue(int type) {
    if (type == 0) return kSystemMissing;
    return std::string();
}

}  // namespace

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

bool Dataset::InsertCase(std::size_t row) {
    if (row > m_cases.size()) return false;
    std::vector<CellValue> values;
    values.reserve(m_variables.size());
    for (const auto& variable : m_variables) values.push_back(EmptyValue(variable.type));
    m_cases.insert(m_cases.begin() + static_cast<std::ptrdiff_t>(row), std::move(values));
    return true;
}

bool Dataset::DeleteCase(std::size_t row) {
    if (row >= m_cases.size()) return false;
    m_cases.erase(m_cases.begin() + static_cast<std::ptrdiff_t>(row));
    return true;
}

bool Dataset::KeepCases(const std::vector<bool>& keep) {
    if (keep.size() != m_cases.size()) return false;
    std::size_t kept = 0;
    for (std::size_t row = 0; row < m_cases.size(); ++row) {
        if (keep[row]) m_cases[kept++] = std::move(m_cases[row]);
    }
    m_cases.resize(kept);
    return true;
}

bool Dataset::InsertVariable(std::size_t position, Variable variable) {
    if (position > m_variables.size()) return false;
    if (variable.name.empty() || FindVariable(variable.name) != VariableCount()) return false;
    const auto at = static_cast<std::ptrdiff_t>(position);
    for (auto& values : m_cases) values.insert(values.begin() + at, EmptyValue(variable.type));
    if (variable.properties.format.code == 0) variable.properties = DefaultProperties(variable.type);
    m_variables.insert(m_variables.begin() + at, std::move(variable));
    return true;
}

bool Dataset::DeleteVariable(std::size_t position) {
    if (position >= m_variables.size()) return false;
    const auto at = static_cast<std::ptrdiff_t>(position);
    for (auto& values : m_cases) values.erase(values.begin() + at);
    m_variables.erase(m_variables.begin() + at);
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
    if (index >= m_variables.size()) return false;
    Variable& variable = m_variables[index];
    const bool kindChanges = (type == 0) != variable.IsNumeric();
    for (auto& values : m_cases) {
        CellValue& value = values[index];
        if (kindChanges) {
            value = EmptyValue(type);
        } else if (type > 0) {
            auto& text = std::get<std::string>(value);
            if (text.size() > static_cast<std::size_t>(type)) text.resize(static_cast<std::size_t>(type));
        }
    }
    if (kindChanges) {
        VariableProperties fresh = DefaultProperties(type);
        fresh.attributes = std::move(variable.properties.attributes);
        variable.properties = std::move(fresh);
    } else if (type > 0) {
        variable.properties.format.width = type;
    }
    variable.type = type;
    return true;
}

}  // namespace engine
