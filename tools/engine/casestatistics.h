// The arithmetic of the engine's summary commands: split-file groups,
// weighted moments in one pass, and weighted counts of values. Pure over a
// CaseView; no state of their own.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "caseview.h"

namespace engine {

// A case's value of one variable as a key: the number of a numeric variable,
// the text of a string variable. Ordered numbers first, then texts.
struct ValueKey {
    bool isText = false;
    double number = 0;
    std::string text;

    bool operator<(const ValueKey& other) const;
    bool operator==(const ValueKey& other) const = default;
};

ValueKey KeyOf(const CaseView& data, std::size_t caseIndex, std::size_t variableIndex);

// The cases of one split-file group: those with the same values of every
// split variable. Without split variables one group holds every case.
struct CaseGroup {
    std::vector<ValueKey> key;
    std::vector<std::size_t> rows;
    bool everyCase = false;

    template <typename Visit>
    void ForEachRow(const CaseView& data, Visit visit) const {
        if (everyCase) {
            for (std::size_t row = 0; row < data.CaseCount(); ++row) visit(row);
        } else {
            for (std::size_t row : rows) visit(row);
        }
    }
};

// Groups in ascending order of their split values.
std::vector<CaseGroup> SplitGroups(const CaseView& data);

// Weighted count, mean and standard deviation (divisor: sum of weights - 1),
// minimum and maximum, updated one value at a time (West's method, which
// stays accurate where the textbook sums cancel).
class Moments {
  public:
    void Add(double value, double weight);

    double Weight() const { return m_weight; }
    // kSystemMissing where the statistic does not exist.
    double Mean() const;
    double StdDev() const;
    double Minimum() const;
    double Maximum() const;

  private:
    double m_weight = 0;
    double m_mean = 0;
    double m_squares = 0;
    double m_minimum = 0;
    double m_maximum = 0;
};

// Weighted counts of each value of one variable, valid and missing apart;
// system-missing is the missing key kSystemMissing.
struct ValueCounts {
    std::map<ValueKey, double> valid;
    std::map<ValueKey, double> missing;
    double validTotal = 0;
    double missingTotal = 0;
};

ValueCounts CountValues(const CaseView& data, const CaseGroup& group, std::size_t variable);

}  // namespace engine
