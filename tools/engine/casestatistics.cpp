#include "casestatistics.h"

#include <cmath>
#include <tuple>

namespace engine {

bool ValueKey::operator<(const ValueKey& other) const {
    return std::tie(isText, number, text) < std::tie(other.isText, other.number, other.text);
}

ValueKey KeyOf(const CaseView& data, std::size_t caseIndex, std::size_t variableIndex) {
    if (data.variable(variableIndex).IsNumeric())
        return ValueKey{false, data.Number(caseIndex, variableIndex), {}};
    return ValueKey{true, 0, data.Text(caseIndex, variableIndex)};
}

std::vector<CaseGroup> SplitGroups(const CaseView& data) {
    const std::vector<std::size_t> split = data.SplitVariables();
    if (split.empty()) {
        CaseGroup all;
        all.everyCase = true;
        return {std::move(all)};
    }
    std::map<std::vector<ValueKey>, std::vector<std::size_t>> groups;
    std::vector<ValueKey> key(split.size());
    for (std::size_t row = 0; row < data.CaseCount(); ++row) {
        for (std::size_t i = 0; i < split.size(); ++i) key[i] = KeyOf(data, row, split[i]);
        groups[key].push_back(row);
    }
    std::vector<CaseGroup> ordered;
    for (auto& [values, rows] : groups)
        ordered.push_back(CaseGroup{values, std::move(rows), false});
    return ordered;
}

void Moments::Add(double value, double weight) {
    if (weight <= 0) return;
    if (m_weight == 0) {
        m_minimum = m_maximum = value;
    } else {
        if (value < m_minimum) m_minimum = value;
        if (value > m_maximum) m_maximum = value;
    }
    m_weight += weight;
    const double delta = value - m_mean;
    m_mean += delta * (weight / m_weight);
    m_squares += weight * delta * (value - m_mean);
}

double Moments::Mean() const { return m_weight > 0 ? m_mean : kSystemMissing; }

double Moments::StdDev() const {
    if (m_weight <= 1) return kSystemMissing;
    const double variance = m_squares / (m_weight - 1);
    return variance > 0 ? std::sqrt(variance) : 0.0;
}

double Moments::Minimum() const { return m_weight > 0 ? m_minimum : kSystemMissing; }
double Moments::Maximum() const { return m_weight > 0 ? m_maximum : kSystemMissing; }

ValueCounts CountValues(const CaseView& data, const CaseGroup& group, std::size_t variable) {
    ValueCounts counts;
    group.ForEachRow(data, [&](std::size_t row) {
        const double weight = data.Weight(row);
        if (weight <= 0) return;
        if (data.MissingOf(row, variable) == Missingness::kValid) {
            counts.valid[KeyOf(data, row, variable)] += weight;
            counts.validTotal += weight;
        } else {
            counts.missing[KeyOf(data, row, variable)] += weight;
            counts.missingTotal += weight;
        }
    });
    return counts;
}

}  // namespace engine
