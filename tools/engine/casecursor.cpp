#include "casecursor.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "caseblock.h"
#include "enginecodes.h"
#include "varname.h"

namespace engine {
namespace {

bool SameValue(const CellValue& a, const CellValue& b) {
    const double* x = std::get_if<double>(&a);
    const double* y = std::get_if<double>(&b);
    if (x && y) return std::bit_cast<std::uint64_t>(*x) == std::bit_cast<std::uint64_t>(*y);
    return a == b;
}

}  // namespace

CaseAccess AccessFromText(std::string_view text) {
    if (text == "r" || text == "R") return CaseAccess::kRead;
    if (text == "w" || text == "W") return CaseAccess::kWrite;
    return CaseAccess::kAppend;
}

SplitGroups::SplitGroups(const Dataset& data) : m_data(data) {
    for (const auto& name : data.file().split) {
        const std::size_t index = data.FindVariable(name);
        if (index != data.VariableCount()) m_columns.push_back(index);
    }
}

bool SplitGroups::EndsGroup(std::size_t caseIndex) const {
    if (!Active() || caseIndex >= m_data.CaseCount()) return false;
    if (caseIndex + 1 == m_data.CaseCount()) return true;
    return std::any_of(m_columns.begin(), m_columns.end(), [&](std::size_t column) {
        return !SameValue(m_data.cell(caseIndex, column), m_data.cell(caseIndex + 1, column));
    });
}

std::vector<std::size_t> SplitGroups::Ends() const {
    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < m_data.CaseCount(); ++i) {
        if (EndsGroup(i)) ends.push_back(i);
    }
    return ends;
}

Variable* CaseChanges::FindNew(const std::string& name) {
    for (auto& variable : m_variables) {
        if (variable.name == name) return &variable;
    }
    return nullptr;
}

int CaseChanges::CheckDeclaration(const Dataset& data, const std::string& name, int type,
                                  const std::vector<std::string>& alsoTaken) const {
    if (m_headerFixed) return kHeaderFixed;
    if (ValidateVariableName(name) != kNameValid) return kBadNewVariableName;
    if (type < 0 || type > kMaxStringWidth) return kBadNewVariableType;
    const bool declared = std::any_of(m_variables.begin(), m_variables.end(),
                                      [&](const Variable& v) { return v.name == name; });
    const bool repeated = std::count(alsoTaken.begin(), alsoTaken.end(), name) != 0;
    if (declared || repeated || data.FindVariable(name) != data.VariableCount())
        return kVariableNameTaken;
    return 0;
}

void CaseChanges::Declare(std::string name, int type) {
    Variable variable(std::move(name), std::string(), type);
    variable.properties = DefaultProperties(type);
    m_variables.push_back(std::move(variable));
}

void CaseChanges::SetNewValue(std::size_t caseIndex, std::size_t newIndex, CellValue value) {
    auto [entry, added] = m_newValues.try_emplace(caseIndex);
    if (added) {
        for (const auto& variable : m_variables) entry->second.push_back(EmptyValue(variable.type));
    }
    entry->second.at(newIndex) = std::move(value);
}

bool CaseChanges::ApplyTo(Dataset& data) {
    for (const auto& variable : m_variables) {
        if (data.FindVariable(variable.name) != data.VariableCount()) return false;
    }
    const std::size_t firstNew = data.VariableCount();
    for (auto& variable : m_variables) data.AddVariable(std::move(variable));
    for (auto& [caseIndex, values] : m_newValues) {
        for (std::size_t k = 0; k < values.size(); ++k)
            data.SetCell(caseIndex, firstNew + k, std::move(values[k]));
    }
    for (auto& values : m_cases) data.AddCase(std::move(values));
    *this = CaseChanges();
    return true;
}

CellValue EmptyValue(int type) {
    if (type == 0) return kSystemMissing;
    return std::string();
}

void CaseCursor::Follow(std::size_t procedure) {
    if (procedure == m_procedure) return;
    Remove();
    m_procedure = procedure;
}

void CaseCursor::Make(CaseAccess access, std::size_t variableCount) {
    Remove();
    m_made = true;
    m_access = access;
    m_variableCount = variableCount;
}

void CaseCursor::Remove() {
    const std::size_t procedure = m_procedure;
    *this = CaseCursor();
    m_procedure = procedure;
}

std::optional<std::size_t> CaseCursor::Current(const Dataset& data) const {
    if (m_position < 0 || static_cast<std::size_t>(m_position) >= data.CaseCount())
        return std::nullopt;
    return static_cast<std::size_t>(m_position);
}

int CaseCursor::Step(const Dataset& data) {
    const auto count = static_cast<std::int64_t>(data.CaseCount());
    if (m_position + 1 >= count) {
        m_position = count;
        return kEndOfData;
    }
    ++m_position;
    return 0;
}

CaseSpan CaseCursor::NextBlock(const Dataset& data, std::size_t wanted) {
    CaseSpan span;
    const std::size_t total = data.CaseCount();
    span.first = static_cast<std::size_t>(std::max<std::int64_t>(m_position + 1, 0));
    if (span.first >= total) {
        m_position = static_cast<std::int64_t>(total);
        span.first = total;
        span.endCode = kEndOfData;
        return span;
    }
    const std::size_t limit = std::min(total - span.first, std::max<std::size_t>(wanted, 1));
    const SplitGroups groups(data);
    std::size_t last = span.first + limit - 1;
    // Without split variables no group ends early: no case need be looked at.
    if (groups.Active()) {
        last = span.first;
        while (last - span.first + 1 < limit && !groups.EndsGroup(last)) ++last;
    }
    span.count = last - span.first + 1;
    m_position = static_cast<std::int64_t>(last);
    if (last + 1 == total)
        span.endCode = kEndOfData;
    else if (groups.EndsGroup(last))
        span.endCode = kEndOfSplit;
    return span;
}

std::optional<std::size_t> CaseCursor::TakeNextIfPlain(const Dataset& data) {
    const std::int64_t next = m_position + 1;
    if (next < 0 || static_cast<std::size_t>(next) + 1 >= data.CaseCount()) return std::nullopt;
    if (SplitGroups(data).EndsGroup(static_cast<std::size_t>(next))) return std::nullopt;
    m_position = next;
    return static_cast<std::size_t>(next);
}

}  // namespace engine
