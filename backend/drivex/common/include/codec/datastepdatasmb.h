// One case of one dataset in the data step's case cache: the case's cells and,
// per variable, its type, first cell and number of cells; single cells are
// read and written in place. Owns the case (array allocation). Belongs to the
// API's calling thread; no lock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/obs.h"

class DatastepDataSmb {
  public:
    DatastepDataSmb() = default;
    DatastepDataSmb(const DatastepDataSmb&) = delete;
    DatastepDataSmb& operator=(const DatastepDataSmb&) = delete;
    DatastepDataSmb(DatastepDataSmb&&) noexcept = default;
    DatastepDataSmb& operator=(DatastepDataSmb&&) noexcept = default;
    ~DatastepDataSmb() = default;

    std::int32_t GetOneCaseSize() const { return m_one_case_size; }
    // A fresh all-zero case of `size` bytes. VEXA_BAD_ARGUMENT (nothing
    // changed) for a negative size.
    std::int32_t SetOneCaseSize(std::int32_t size);
    // The held case (null when it has no cells); the object keeps it.
    const OBS* GetCaseValue(std::int32_t& size) const;
    // The case becomes a copy of `size` bytes of `data`, zero-padded to whole
    // cells; the case size becomes `size`. VEXA_BAD_ARGUMENT (nothing changed)
    // for a negative size or null data with a positive size.
    std::int32_t SetCaseValue(const void* data, std::int32_t size);

    // Layout changes. Add leaves the case size alone; Insert, Erase and Update
    // move it by the cells gained or lost and give a fresh all-zero case, which
    // must be read again before use. 10 for a position outside the variables
    // (0..count for Insert); VEXA_BAD_ARGUMENT when the case would exceed
    // 2^31-1 bytes. Nothing changes on failure.
    void AddVarType(std::int32_t type);
    std::int32_t InsertVarType(std::int32_t position, std::int32_t type);
    std::int32_t EraseVarType(std::int32_t position);
    std::int32_t UpdateVarType(std::int32_t position, std::int32_t type);
    void AddVarObsIndex(std::int32_t cell) { m_obs_index.push_back(cell); }
    void ClearVarObsIndex() { m_obs_index.clear(); }

    std::int32_t VarCount() const { return static_cast<std::int32_t>(m_var_types.size()); }
    // -1 for a variable without one.
    std::int32_t GetVarType(std::int32_t v) const;
    std::int32_t GetVarObsIndex(std::int32_t v) const;
    std::int32_t GetVarObsLength(std::int32_t v) const;
    // The types in variable order, owned by the caller, and their count; with
    // no variables null and `count` left as it was.
    std::unique_ptr<std::int32_t[]> GetVarInfo(std::int32_t& count) const;

    // Cell access. 10: no such variable; 56/57: the other type (56 reading a
    // string cell as a number or writing text into a numeric cell, 57 the
    // reverse); VEXA_MALFORMED_MESSAGE: the layout places the variable outside
    // the held case. `error` is written only on failure.
    double GetNCellValue(std::uint32_t v, std::int32_t& missing, std::int32_t& error) const;
    // width + 1 bytes: the cell text, blank padding included, and a zero byte.
    std::unique_ptr<char[]> GetCCellValue(std::uint32_t v, std::int32_t& error) const;
    std::int32_t SetNCellValue(std::uint32_t v, double value);
    // Blank-fills the variable's cells, then copies as much of `text` as fits.
    // VEXA_BAD_ARGUMENT for a null text.
    std::int32_t SetCCellValue(std::uint32_t v, const char* text);

  private:
    static std::int32_t IsMissing(double value);
    // A fresh all-zero case of `size` bytes.
    void Reallocate(std::int32_t size);
    std::int32_t CellsOfVariable(std::uint32_t v, OBS*& first, std::int32_t& length) const;

    std::int32_t m_one_case_size = 0;
    std::unique_ptr<OBS[]> m_case_value;
    std::size_t m_cell_count = 0;
    std::vector<std::int32_t> m_var_types;
    std::vector<std::int32_t> m_obs_index;
    std::vector<std::int32_t> m_obs_length;
};
