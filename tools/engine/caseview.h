// The narrow view of the active dataset that the engine's computing commands
// use: the dictionary, numbers and their missing-ness case by case, the
// weight and the split variables, and the two changes they make (a new
// numeric variable, a subset of cases). Implemented over the storage of the
// cases in one adapter, so the commands do not depend on how cases are kept.
// Not thread-safe: used under the engine lock.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dataset.h"

namespace engine {

enum class Missingness { kValid = 0, kUser = 1, kSystem = 2 };

class CaseView {
  public:
    virtual ~CaseView() = default;

    virtual std::size_t CaseCount() const = 0;
    virtual std::size_t VariableCount() const = 0;
    // Names compare without regard to case.
    virtual std::optional<std::size_t> FindVariable(std::string_view name) const = 0;
    // Name, type, label, format, missing values and value labels.
    virtual const Variable& variable(std::size_t index) const = 0;
    // What the pivot-table helpers show values and variables by.
    virtual const Dataset& Dictionary() const = 0;

    // A numeric variable's value (system-missing as kSystemMissing).
    virtual double Number(std::size_t caseIndex, std::size_t variableIndex) const = 0;
    // A string variable's value without trailing blanks.
    virtual std::string Text(std::size_t caseIndex, std::size_t variableIndex) const = 0;
    virtual Missingness MissingOf(std::size_t caseIndex, std::size_t variableIndex) const = 0;
    // The case's weight: 1 without a weight variable; 0 when the weight is
    // missing or not positive, so that the case does not count.
    virtual double Weight(std::size_t caseIndex) const = 0;
    virtual std::vector<std::size_t> SplitVariables() const = 0;

    // A new numeric variable (F8.2) at the end, system-missing in every case.
    virtual std::size_t AppendNumericVariable(const std::string& name) = 0;
    virtual void SetNumber(std::size_t caseIndex, std::size_t variableIndex, double value) = 0;
    // Keeps the cases whose flag is set, in order; `keep` has one per case.
    virtual void KeepCases(const std::vector<bool>& keep) = 0;
};

// The view over the engine's active dataset.
class DatasetCases final : public CaseView {
  public:
    explicit DatasetCases(Dataset& data);

    std::size_t CaseCount() const override { return m_data.CaseCount(); }
    std::size_t VariableCount() const override { return m_data.VariableCount(); }
    std::optional<std::size_t> FindVariable(std::string_view name) const override;
    const Variable& variable(std::size_t index) const override { return m_data.variable(index); }
    const Dataset& Dictionary() const override { return m_data; }
    double Number(std::size_t caseIndex, std::size_t variableIndex) const override;
    std::string Text(std::size_t caseIndex, std::size_t variableIndex) const override;
    Missingness MissingOf(std::size_t caseIndex, std::size_t variableIndex) const override;
    double Weight(std::size_t caseIndex) const override;
    std::vector<std::size_t> SplitVariables() const override;
    std::size_t AppendNumericVariable(const std::string& name) override;
    void SetNumber(std::size_t caseIndex, std::size_t variableIndex, double value) override;
    void KeepCases(const std::vector<bool>& keep) override;

  private:
    Dataset& m_data;
    std::optional<std::size_t> m_weight;
};

// Whether a numeric value is missing by a variable's missing values.
Missingness NumericMissingness(const MissingValues& missing, double value);

}  // namespace engine
