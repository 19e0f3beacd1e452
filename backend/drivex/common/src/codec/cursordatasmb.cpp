#include "codec/cursordatasmb.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "runtime/dxtracer.h"

namespace {

constexpr std::int64_t kMaxCaseSize = std::numeric_limits<std::int32_t>::max();

std::int32_t Malformed(const char* condition) {
    DxTraceError(std::string("CursorDataSmb ") + condition, VEXA_MALFORMED_MESSAGE);
    return VEXA_MALFORMED_MESSAGE;
}

}  // namespace

std::int32_t CursorDataSmb::SetOneCaseSize(std::int32_t size) {
    if (size < 0 || size % codec::kCellSize != 0) return VEXA_BAD_ARGUMENT;
    m_one_case_size = size;
    m_case = nullptr;
    return VEXA_OK;
}

std::int32_t CursorDataSmb::CasesPerBlock() const {
    // A cursor without variables has 0-byte cases: one at a time is sound.
    if (m_access_type != 0 || m_one_case_size <= 0 || m_one_case_size >= CACHE_SIZE) return 1;
    return CACHE_SIZE / m_one_case_size;
}

std::uint32_t CursorDataSmb::OBSIndex(std::int32_t i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= m_obs_index.size()) return 0;
    return m_obs_index[static_cast<std::size_t>(i)];
}

void CursorDataSmb::AddVarInfo(std::unique_ptr<VarInfo> info) {
    if (info) m_var_info.push_back(*info);
    m_case = nullptr;
}

std::int32_t CursorDataSmb::AddVariable(const VarInfo& info) {
    const std::int64_t cells = info.ObsLength();
    const std::int64_t size = m_one_case_size + cells * codec::kCellSize;
    if (size > kMaxCaseSize) return VEXA_BAD_ARGUMENT;
    m_obs_index.push_back(static_cast<std::uint32_t>(m_one_case_size / codec::kCellSize));
    m_var_info.push_back(info);
    m_one_case_size = static_cast<std::int32_t>(size);
    m_case = nullptr;
    return VEXA_OK;
}

const VarInfo* CursorDataSmb::GetVarInfo(std::int32_t i) const {
    if (i < 0 || i >= VarCount()) return nullptr;
    return &m_var_info[static_cast<std::size_t>(i)];
}

void CursorDataSmb::SetCasePtr(const void* data, std::int32_t size) {
    m_case_buffer.reset();
    m_case_offset = 0;
    if (!data || size <= 0) {
        m_cur_case_pos = -1;
        PointAtCurrent();
        return;
    }
    codec::OwnedBuffer copy = codec::OwnedBuffer::Allocate(static_cast<std::size_t>(size));
    std::memcpy(copy.data(), data, static_cast<std::size_t>(size));
    m_case_buffer = std::move(copy);
    m_case_offset = 0;
    m_cur_case_pos = 0;
    PointAtCurrent();
}

std::int32_t CursorDataSmb::TakeCaseBlock(codec::OwnedBuffer& block, std::int32_t cases,
                                          std::int32_t last_error, std::size_t length,
                                          std::size_t offset) {
    if (cases < 0) return Malformed("received cases >= 0");
    const std::uint64_t needed =
        static_cast<std::uint64_t>(cases) * static_cast<std::uint64_t>(m_one_case_size);
    if (offset > block.size() || needed > std::min(length, block.size() - offset)) {
        return Malformed("received cases * case size <= block length");
    }
    m_case_buffer = std::move(block);
    m_case_offset = offset;
    m_cur_case_pos = 0;
    m_received_cases = cases;
    m_last_error = last_error;
    PointAtCurrent();
    return VEXA_OK;
}

codec::OwnedBuffer CursorDataSmb::TakeUsedBlock() {
    if (HasData()) return {};
    m_case_offset = 0;
    codec::OwnedBuffer used = std::move(m_case_buffer);
    PointAtCurrent();
    return used;
}

void CursorDataSmb::PointAtCurrent() {
    m_case = nullptr;
    m_case_cells = static_cast<std::size_t>(m_one_case_size) / sizeof(OBS);
    m_whole_cases = 0;
    const std::size_t described = std::min(m_var_info.size(), m_obs_index.size());
    m_quick_cell.assign(described, -1);
    for (std::size_t i = 0; i < described; ++i) {
        const VarInfo& info = m_var_info[i];
        if (info.IsNumeric() && info.missingFormat == 0 && m_obs_index[i] < m_case_cells)
            m_quick_cell[i] = static_cast<std::int32_t>(m_obs_index[i]);
    }
    if (m_received_cases <= 0 || m_case_buffer.empty() || m_case_offset > m_case_buffer.size())
        return;
    const std::size_t room = m_case_buffer.size() - m_case_offset;
    const std::size_t case_size = static_cast<std::size_t>(m_one_case_size);
    const std::size_t received = static_cast<std::size_t>(m_received_cases);
    m_whole_cases =
        static_cast<std::int32_t>(case_size == 0 ? received : std::min(received, room / case_size));
    if (m_cur_case_pos < 0 || m_cur_case_pos >= m_whole_cases) return;
    m_case = codec::CellsOf(m_case_buffer.bytes() + m_case_offset, room).data() +
             static_cast<std::size_t>(m_cur_case_pos) * m_case_cells;
}

void CursorDataSmb::MarkUsedUp() {
    m_cur_case_pos = -1;
    m_last_error = 0;
    m_received_cases = -1;
    PointAtCurrent();
}

std::int32_t CursorDataSmb::NextCaseChecked() {
    if (m_cur_case_pos < std::numeric_limits<std::int32_t>::max()) ++m_cur_case_pos;
    if (m_received_cases >= 1 && m_cur_case_pos < m_received_cases) {
        const std::uint64_t end = (static_cast<std::uint64_t>(m_cur_case_pos) + 1) *
                                  static_cast<std::uint64_t>(m_one_case_size);
        if (end <= m_case_buffer.size() - m_case_offset) {
            PointAtCurrent();
            return VEXA_OK;
        }
        MarkUsedUp();
        return Malformed("case lies inside the block");
    }
    const std::int32_t pending = m_last_error;
    MarkUsedUp();
    return pending != 0 ? pending : NO_CACHE_DATA;
}

std::int32_t CursorDataSmb::VariableCells(std::uint32_t i, bool numeric, const VarInfo*& info,
                                          std::span<const OBS>& cells) const {
    if (i >= m_var_info.size()) return VEXA_VARIABLE_OUT_OF_RANGE;
    info = &m_var_info[i];
    if (info->IsNumeric() != numeric) return VEXA_CURSOR_WRONG_TYPE;
    if (m_cur_case_pos < 0 || m_cur_case_pos >= m_received_cases) return NO_CACHE_DATA;
    const std::size_t case_size = static_cast<std::size_t>(m_one_case_size);
    const std::size_t start = static_cast<std::size_t>(m_cur_case_pos) * case_size;
    if (start + case_size > m_case_buffer.size() - m_case_offset)
        return Malformed("case lies inside the block");
    if (i >= m_obs_index.size()) return Malformed("every variable has an obs index");
    const std::span<const OBS> current =
        codec::CellsOf(m_case_buffer.bytes() + m_case_offset + start, case_size);
    const std::size_t first = m_obs_index[i];
    const std::size_t length = static_cast<std::size_t>(info->ObsLength());
    if (first > current.size() || length > current.size() - first) {
        return Malformed("variable lies inside the case");
    }
    cells = current.subspan(first, length);
    return VEXA_OK;
}

std::int32_t CursorDataSmb::GetNumericValueChecked(std::uint32_t i, double& value,
                                                   std::int32_t& missing) const {
    const VarInfo* info = nullptr;
    std::span<const OBS> cells;
    if (std::int32_t status = VariableCells(i, true, info, cells); status != VEXA_OK) {
        return status;
    }
    value = cells.front().AsNumber();
    missing = info->IsMissing(cells);
    return VEXA_OK;
}

std::int32_t CursorDataSmb::GetStringValue(std::uint32_t i, char* buffer, std::int32_t length,
                                           std::int32_t& missing) const {
    if (!buffer && length > 0) return VEXA_BAD_ARGUMENT;
    const VarInfo* info = nullptr;
    std::span<const OBS> cells;
    if (std::int32_t status = VariableCells(i, false, info, cells); status != VEXA_OK) {
        return status;
    }
    const std::size_t count =
        static_cast<std::size_t>(std::min(std::max(length, 0), std::max(info->type, 0)));
    if (count > 0) {
        const char* text = reinterpret_cast<const char*>(cells.data());
        const char* stop = std::find(text, text + count, '\0');
        const std::size_t copied = static_cast<std::size_t>(stop - text);
        std::memcpy(buffer, text, copied);
        std::memset(buffer + copied, 0, count - copied);
    }
    missing = info->IsMissing(cells);
    return VEXA_OK;
}
