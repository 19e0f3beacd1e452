// Local mirror of the engine's case cursor: a block of received cases, the
// current case within it, and per variable its record and first cell, so that
// values of the current case are read without a round trip. Owns the case
// block (malloc/free) and the variable records. Belongs to the API's calling
// thread; no lock.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "codec/obs.h"
#include "codec/ownedbuffer.h"
#include "codec/varinfo.h"
#include "runtime/statuscodes.h"

class CursorDataSmb {
  public:
    static constexpr std::int32_t NO_CACHE_DATA = VEXA_NO_CACHE_DATA;
    // Byte budget of one block fetched for reading.
    static constexpr std::int32_t CACHE_SIZE = 20971520;

    CursorDataSmb() = default;
    CursorDataSmb(const CursorDataSmb&) = delete;
    CursorDataSmb& operator=(const CursorDataSmb&) = delete;
    CursorDataSmb(CursorDataSmb&&) noexcept = default;
    CursorDataSmb& operator=(CursorDataSmb&&) noexcept = default;
    ~CursorDataSmb() = default;

    std::int32_t GetAccessType() const { return m_access_type; }
    void SetAccessType(std::int32_t type) { m_access_type = type; }
    std::int32_t GetOneCaseSize() const { return m_one_case_size; }
    // VEXA_BAD_ARGUMENT (size unchanged) unless a non-negative multiple of 8.
    std::int32_t SetOneCaseSize(std::int32_t size);
    std::int32_t GetReceivedCases() const { return m_received_cases; }
    void SetReceivedCases(std::int32_t cases) {
        m_received_cases = cases;
        PointAtCurrent();
    }
    std::int32_t GetLastError() const { return m_last_error; }
    void SetLastError(std::int32_t error) { m_last_error = error; }
    std::int32_t GetCurCasePos() const { return m_cur_case_pos; }
    void SetCurCasePos(std::int32_t position) {
        m_cur_case_pos = position;
        PointAtCurrent();
    }

    // Cases a block fetch asks for: as many as fit CACHE_SIZE for a read
    // cursor (at least 1), else 1.
    std::int32_t CasesPerBlock() const;

    // Layout. Either fill the obs index and the records separately, or let
    // AddVariable place each variable behind the previous one.
    // Edits through the reference are seen by the next read, and by the fast
    // paths from the next move on.
    std::vector<std::uint32_t>& GetObsIndex() {
        m_case = nullptr;
        return m_obs_index;
    }
    // The i-th obs index; 0 for an index without one.
    std::uint32_t OBSIndex(std::int32_t i) const;
    static std::unique_ptr<VarInfo> NewVarInfo() { return std::make_unique<VarInfo>(); }
    // Keeps a copy of the record; a null record is ignored.
    void AddVarInfo(std::unique_ptr<VarInfo> info);
    // Appends the variable at the next free cell and grows the case size by
    // its cells. VEXA_BAD_ARGUMENT (nothing changed) when the case would
    // exceed 2^31-1 bytes.
    std::int32_t AddVariable(const VarInfo& info);
    std::int32_t VarCount() const { return static_cast<std::int32_t>(m_var_info.size()); }
    // Null outside 0..VarCount()-1; valid until the next variable is added.
    const VarInfo* GetVarInfo(std::int32_t i) const;

    bool HasData() const { return m_received_cases > 0; }
    // The memory of a block whose cases are used up, for the next block to
    // arrive in; empty while the block still has cases to give.
    codec::OwnedBuffer TakeUsedBlock();
    // Replaces the case block by a copy of `size` bytes of `data` (position 0);
    // null data (or a size of 0 or less) drops the block (position -1).
    // Received cases are set separately.
    void SetCasePtr(const void* data, std::int32_t size);
    // Takes over a received block of `cases` cases (position 0) with the error
    // to hand out once they are used up. VEXA_MALFORMED_MESSAGE (cursor
    // unchanged, block left with the caller) when `cases` is negative or the
    // block holds fewer than `cases` whole cases. The cases start at byte
    // `offset` (a received image's head lies before them) and take at most
    // `length` bytes from there (all the rest when it is larger); what lies
    // around them is spare capacity.
    std::int32_t TakeCaseBlock(codec::OwnedBuffer& block, std::int32_t cases,
                               std::int32_t last_error, std::size_t length = SIZE_MAX,
                               std::size_t offset = 0);
    // 0 when the next case of the block became current; once the block is used
    // up, the pending last error or NO_CACHE_DATA, and the block is marked used
    // up. VEXA_MALFORMED_MESSAGE (block marked used up) when the next case
    // does not lie inside the received bytes.
    std::int32_t NextCase() { return QuickNextCase() ? VEXA_OK : NextCaseChecked(); }
    // The common step, inline: to the next case of a checked block; false,
    // nothing changed, for any other.
    bool QuickNextCase() {
        if (!m_case || m_cur_case_pos + 1 >= m_whole_cases) return false;
        ++m_cur_case_pos;
        m_case += m_case_cells;
        return true;
    }

    static std::int32_t IsMissing(const VarInfo& info, std::span<const OBS> cells) {
        return info.IsMissing(cells);
    }

    // Values of the current case. 10: no such variable; 24: the other type;
    // NO_CACHE_DATA: no current case; VEXA_MALFORMED_MESSAGE: the variable's
    // cells lie outside the case or the block. Outputs untouched on failure.
    std::int32_t GetNumericValue(std::uint32_t i, double& value, std::int32_t& missing) const {
        if (QuickNumericValue(i, value, missing)) return VEXA_OK;
        return GetNumericValueChecked(i, value, missing);
    }
    // The common read, inline and without a call: a numeric variable without
    // user-missing values whose cell lies in the current case. False, outputs
    // untouched, for any other.
    bool QuickNumericValue(std::uint32_t i, double& value, std::int32_t& missing) const {
        if (!m_case || i >= m_quick_cell.size() || m_quick_cell[i] < 0) return false;
        const OBS& cell = m_case[m_quick_cell[i]];
        value = cell.AsNumber();
        missing = cell.Bits() == codec::kSystemMissingBits ? VarInfo::SYSTEM_MISSING
                                                           : VarInfo::NOT_MISSING;
        return true;
    }
    // Copies min(width, length) bytes, stopping at a zero byte and zero-filling
    // the rest of them; no terminator. VEXA_BAD_ARGUMENT for a null buffer with
    // a positive length.
    std::int32_t GetStringValue(std::uint32_t i, char* buffer, std::int32_t length,
                                std::int32_t& missing) const;

  private:
    std::int32_t NextCaseChecked();
    std::int32_t GetNumericValueChecked(std::uint32_t i, double& value,
                                        std::int32_t& missing) const;
    // m_case and m_whole_cases anew from the position, the block and the case
    // size: the current case only when it lies whole inside the block; and
    // m_quick_cell from the layout. A layout change only clears m_case, so
    // that the fast paths wait for the next move to call this.
    void PointAtCurrent();
    void MarkUsedUp();
    // The cells of variable i in the current case, or the status why not.
    std::int32_t VariableCells(std::uint32_t i, bool numeric, const VarInfo*& info,
                               std::span<const OBS>& cells) const;

    std::int32_t m_cur_case_pos = -1;
    codec::OwnedBuffer m_case_buffer;
    // Where the cases start in m_case_buffer.
    std::size_t m_case_offset = 0;
    std::int32_t m_access_type = 0;
    std::int32_t m_one_case_size = 0;
    std::int32_t m_received_cases = -1;
    std::vector<std::uint32_t> m_obs_index;
    std::int32_t m_last_error = 0;
    // By value, end to end: a value read looks at one record.
    std::vector<VarInfo> m_var_info;
    // The current case's first cell; null when no case is current.
    const OBS* m_case = nullptr;
    std::size_t m_case_cells = 0;
    // Per variable, its cell when a read needs nothing else (a numeric
    // variable without user-missing values, inside the case), else -1.
    std::vector<std::int32_t> m_quick_cell;
    // Received cases that lie whole inside the block.
    std::int32_t m_whole_cases = 0;
};
