// The case view over the dataset's store of 8-byte cells: the one file to
// change when the storage of cases changes. Callers keep to the store's
// unchecked reads: a numeric variable for Number, a string one for Text.
#include <variant>

#include "caseview.h"
#include "runtime/stringutil.h"

namespace engine {

Missingness NumericMissingness(const MissingValues& missing, double value) {
    if (value == kSystemMissing) return Missingness::kSystem;
    const auto& v = missing.numbers;
    bool user = false;
    switch (missing.format) {
        case kNoMissing:
            break;
        case kMissingRange:
            user = value >= v[0] && value <= v[1];
            break;
        case kMissingRangeAndValue:
            user = (value >= v[0] && value <= v[1]) || value == v[2];
            break;
        default:
            for (int i = 0; i < missing.format && i < 3; ++i)
                user = user || value == v[static_cast<std::size_t>(i)];
            break;
    }
    return user ? Missingness::kUser : Missingness::kValid;
}

DatasetCases::DatasetCases(Dataset& data) : m_data(data) {
    const std::string& weight = data.file().weight;
    if (!weight.empty()) m_weight = FindVariable(weight);
    // Only a number can weigh a case.
    if (m_weight && !data.variable(*m_weight).IsNumeric()) m_weight.reset();
}

std::optional<std::size_t> DatasetCases::FindVariable(std::string_view name) const {
    const std::string wanted = textutil::UpperString(name);
    for (std::size_t i = 0; i < m_data.VariableCount(); ++i) {
        if (textutil::UpperString(m_data.variable(i).name) == wanted) return i;
    }
    return std::nullopt;
}

double DatasetCases::Number(std::size_t caseIndex, std::size_t variableIndex) const {
    return m_data.cases().Number(caseIndex, variableIndex);
}

std::string DatasetCases::Text(std::size_t caseIndex, std::size_t variableIndex) const {
    return std::string(m_data.cases().Text(caseIndex, variableIndex));
}

Missingness DatasetCases::MissingOf(std::size_t caseIndex, std::size_t variableIndex) const {
    const Variable& variable = m_data.variable(variableIndex);
    const MissingValues& missing = variable.properties.missing;
    if (variable.IsNumeric()) return NumericMissingness(missing, Number(caseIndex, variableIndex));
    // String missing values compare by their first 8 bytes, blank-padded.
    std::string text = Text(caseIndex, variableIndex);
    text.resize(kStringMissingWidth, ' ');
    for (int i = 0; i < missing.format && i < 3; ++i) {
        std::string value = missing.texts[static_cast<std::size_t>(i)];
        value.resize(kStringMissingWidth, ' ');
        if (value == text) return Missingness::kUser;
    }
    return Missingness::kValid;
}

double DatasetCases::Weight(std::size_t caseIndex) const {
    if (!m_weight) return 1.0;
    if (MissingOf(caseIndex, *m_weight) != Missingness::kValid) return 0.0;
    const double weight = Number(caseIndex, *m_weight);
    return weight > 0 ? weight : 0.0;
}

std::vector<std::size_t> DatasetCases::SplitVariables() const {
    std::vector<std::size_t> split;
    for (const std::string& name : m_data.file().split) {
        if (auto index = FindVariable(name)) split.push_back(*index);
    }
    return split;
}

std::size_t DatasetCases::AppendNumericVariable(const std::string& name) {
    const std::size_t position = m_data.VariableCount();
    m_data.InsertVariable(position, Variable(name, std::string(), 0));
    return position;
}

void DatasetCases::SetNumber(std::size_t caseIndex, std::size_t variableIndex, double value) {
    m_data.cases().SetNumber(caseIndex, variableIndex, value);
}

void DatasetCases::KeepCases(const std::vector<bool>& keep) {
    CaseStore& store = m_data.cases();
    std::vector<OBS> kept;
    for (std::size_t row = 0; row < keep.size() && row < store.CaseCount(); ++row) {
        if (keep[row]) kept.insert(kept.end(), store.Case(row).begin(), store.Case(row).end());
    }
    store.ClearCases();
    store.AppendCases(kept);
}

}  // namespace engine
