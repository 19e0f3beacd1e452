// The data-step batch: a received reply that stays alive and is read cell by
// cell, a rectangle of rows times all variables of one dataset. Its long block
// is [first row, variable count, one type per variable, ..., last row, third
// row figure]; per cell, a missing flag, a double and a string sit at index
// (row - first row) * variable count + variable of the first long, double and
// string arrays. A received string array stays in wire form. Keeps the wire
// image of CleXDSmb; owns what the message owns.
// Belongs to the API's calling thread; no lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "codec/clexdsmb.h"

class DatastepSmb : public CleXDSmb {
  public:
    DatastepSmb() { KeepTextCells(true); }

    void SetvarCount(std::int32_t count, std::int32_t& error) {
        m_var_count = count;
        error = 0;
    }
    void SetrowInfo(std::int32_t row, std::int32_t& error) {
        m_first_row = row;
        error = 0;
    }
    std::int32_t GetVarCount() const { return m_var_count; }
    std::int32_t GetFirstRow() const { return m_first_row; }

    // Takes the first row and the variable count from a received long block
    // after checking that the long block and the three cell arrays hold what
    // the header promises. VEXA_MALFORMED_MESSAGE (nothing changed) otherwise.
    std::int32_t ReadBatchHeader();

    // The long block's row figures: first row <= row <= last row (its
    // second-to-last value). False while the long block holds fewer than two.
    bool Covers(std::int32_t row) const;
    // Last row and third row figure (the last two values of the long block).
    // VEXA_MALFORMED_MESSAGE (outputs untouched) when there are not two.
    std::int32_t GetRowList(std::int32_t& first_row, std::int32_t& last_row,
                            std::int32_t& third_figure) const;
    // Copies `count` variable types (from the long block's third value on).
    // 10 when the long block holds fewer types before its two row figures;
    // VEXA_BAD_ARGUMENT for a negative count or a null array with a positive one.
    std::int32_t GetVarTypes(std::int32_t* types, std::int32_t count) const;

    // The cell of (row, variable). 10 for a cell outside the batch,
    // VEXA_MALFORMED_MESSAGE when the batch lacks a value the cell needs;
    // then the result is 0 or null and `missing` is untouched. error = 0 on
    // success.
    double GetNCellValue(std::int32_t row, std::int32_t variable, std::int32_t& missing,
                         std::int32_t& error) const;
    // A new zero-terminated copy of the cell's text up to its first zero byte,
    // owned by the caller.
    std::unique_ptr<char[]> GetCCellValue(std::int32_t row, std::int32_t variable,
                                          std::int32_t& missing, std::int32_t& error) const;

  private:
    std::int32_t CellIndex(std::int32_t row, std::int32_t variable, std::size_t& index) const;
    // The missing flag of the cell, when the batch holds it.
    std::int32_t MissingFlag(std::size_t index, std::int32_t& flag) const;
    // Strings in the first string array, received in wire form or set as values.
    std::size_t TextCount() const;
    std::string_view TextAt(std::size_t index) const;

    std::int32_t m_var_count = 0;
    std::int32_t m_first_row = -1;
};
