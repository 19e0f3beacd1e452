// The cases of a dataset kept exactly as the wire lays them out: each case a
// run of 8-byte cells (a number is one cell, text of width w is ceil(w / 8)
// blank-padded cells, at least one), cases end to end in one allocation. A
// cursor block, a data-step batch or a bulk transfer is then a copy (or a
// view) of contiguous bytes. Owns its cells; plain state of one thread.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "codec/obs.h"

namespace engine {

// Widest string variable the engine takes.
inline constexpr int kMaxStringWidth = 32767;

class CaseStore {
  public:
    CaseStore() = default;
    // Types: 0 numeric, else the string width; clamped to 0..kMaxStringWidth.
    explicit CaseStore(const std::vector<int>& types);

    std::size_t CaseCount() const { return m_caseCount; }
    std::size_t VariableCount() const { return m_types.size(); }
    int Type(std::size_t variable) const { return m_types.at(variable); }
    // The variable's first cell within a case.
    std::size_t ObsIndex(std::size_t variable) const { return m_obsIndex.at(variable); }
    std::size_t CellsPerCase() const { return m_cellsPerCase; }
    std::size_t CaseSize() const { return m_cellsPerCase * sizeof(OBS); }

    // Unchecked, for passes over millions of cells: the case and variable
    // must exist and the variable must have the type the call assumes.
    double Number(std::size_t caseIndex, std::size_t variable) const {
        return m_cells[caseIndex * m_cellsPerCase + m_obsIndex[variable]].AsNumber();
    }
    void SetNumber(std::size_t caseIndex, std::size_t variable, double value) {
        m_cells[caseIndex * m_cellsPerCase + m_obsIndex[variable]] = OBS::FromNumber(value);
    }
    // The text without the blanks that pad it; valid until the store changes.
    std::string_view Text(std::size_t caseIndex, std::size_t variable) const;
    // Cut to the variable's width.
    void SetText(std::size_t caseIndex, std::size_t variable, std::string_view text);

    std::span<const OBS> Case(std::size_t caseIndex) const {
        return {m_cells.data() + caseIndex * m_cellsPerCase, m_cellsPerCase};
    }
    std::span<OBS> Case(std::size_t caseIndex) {
        return {m_cells.data() + caseIndex * m_cellsPerCase, m_cellsPerCase};
    }
    // Cases first .. first + count - 1 as they lie; the range must exist.
    std::span<const OBS> Cases(std::size_t first, std::size_t count) const {
        return {m_cells.data() + first * m_cellsPerCase, count * m_cellsPerCase};
    }

    void Reserve(std::size_t cases);
    // A new last case of empty cells (system-missing, blanks), returned for
    // filling.
    std::span<OBS> AppendCase();
    void AppendEmptyCases(std::size_t count);
    // Takes `cells` as the whole of an empty store's cases, without a copy;
    // false (nothing taken) when the store has cases or `cells` is not a
    // whole number of them.
    bool AdoptCases(std::vector<OBS>&& cells);
    // Whole cases in this store's layout; false (nothing added) when `cells`
    // is not a whole number of cases.
    bool AppendCases(std::span<const OBS> cells);
    // Each is false and changes nothing for a position outside the data (a
    // new case or variable may go at the end).
    bool InsertCase(std::size_t row);
    bool DeleteCase(std::size_t row);
    void ClearCases();
    // The new variable's cells are empty.
    bool InsertVariable(std::size_t position, int type);
    bool DeleteVariable(std::size_t position);
    // Keeps what the new type can hold: a narrower string is cut, a wider one
    // blank-padded; between number and text the cells become empty.
    bool SetType(std::size_t variable, int type);

  private:
    // Every case re-laid for `types`; `carry(old, fresh)` fills each new case
    // from the old one.
    template <typename Carry>
    void Relayout(const std::vector<int>& types, Carry carry);
    void SetLayout(const std::vector<int>& types);
    void FillEmpty(std::span<OBS> oneCase) const;

    std::vector<int> m_types;
    std::vector<std::size_t> m_obsIndex;
    std::size_t m_cellsPerCase = 0;
    // A case of empty cells: appended cases are copies of it.
    std::vector<OBS> m_emptyCase;
    std::vector<OBS> m_cells;
    std::size_t m_caseCount = 0;
};

}  // namespace engine
