#include "codec/datastepdatasmb.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"

namespace {

constexpr std::int64_t kMaxCaseSize = std::numeric_limits<std::int32_t>::max();

std::size_t CellsFor(std::int32_t size) {
    return (static_cast<std::size_t>(size) + codec::kCellSize - 1) / codec::kCellSize;
}

}  // namespace

void DatastepDataSmb::Reallocate(std::int32_t size) {
    const std::size_t cells = CellsFor(size);
    m_case_value = cells > 0 ? std::make_unique<OBS[]>(cells) : nullptr;
    m_cell_count = cells;
    m_one_case_size = size;
}

std::int32_t DatastepDataSmb::SetOneCaseSize(std::int32_t size) {
    if (size < 0) return VEXA_BAD_ARGUMENT;
    Reallocate(size);
    return VEXA_OK;
}

const OBS* DatastepDataSmb::GetCaseValue(std::int32_t& size) const {
    size = m_one_case_size;
    return m_case_value.get();
}

std::int32_t DatastepDataSmb::SetCaseValue(const void* data, std::int32_t size) {
    if (size < 0 || (!data && size > 0)) return VEXA_BAD_ARGUMENT;
    Reallocate(size);
    if (size > 0) std::memcpy(m_case_value.get(), data, static_cast<std::size_t>(size));
    return VEXA_OK;
}

void DatastepDataSmb::AddVarType(std::int32_t type) {
    m_var_types.push_back(type);
    m_obs_length.push_back(codec::ObsLength(type));
}

std::int32_t DatastepDataSmb::InsertVarType(std::int32_t position, std::int32_t type) {
    if (position < 0 || position > VarCount()) return VEXA_VARIABLE_OUT_OF_RANGE;
    const std::int32_t length = codec::ObsLength(type);
    const std::int64_t size = m_one_case_size + std::int64_t{length} * codec::kCellSize;
    if (size > kMaxCaseSize) return VEXA_BAD_ARGUMENT;
    m_var_types.insert(m_var_types.begin() + position, type);
    m_obs_length.insert(m_obs_length.begin() + position, length);
    Reallocate(static_cast<std::int32_t>(size));
    return VEXA_OK;
}

std::int32_t DatastepDataSmb::EraseVarType(std::int32_t position) {
    if (position < 0 || position >= VarCount()) return VEXA_VARIABLE_OUT_OF_RANGE;
    const std::int32_t length = m_obs_length[static_cast<std::size_t>(position)];
    m_var_types.erase(m_var_types.begin() + position);
    m_obs_length.erase(m_obs_length.begin() + position);
    const std::int64_t size = m_one_case_size - std::int64_t{length} * codec::kCellSize;
    if (size >= 0) Reallocate(static_cast<std::int32_t>(size));
    return VEXA_OK;
}

std::int32_t DatastepDataSmb::UpdateVarType(std::int32_t position, std::int32_t type) {
    if (position < 0 || position >= VarCount()) return VEXA_VARIABLE_OUT_OF_RANGE;
    const auto at = static_cast<std::size_t>(position);
    const std::int32_t length = codec::ObsLength(type);
    const std::int64_t size =
        m_one_case_size + (std::int64_t{length} - m_obs_length[at]) * codec::kCellSize;
    if (size > kMaxCaseSize) return VEXA_BAD_ARGUMENT;
    m_var_types[at] = type;
    m_obs_length[at] = length;
    // As with EraseVarType: a case size that would turn negative stays.
    Reallocate(size >= 0 ? static_cast<std::int32_t>(size) : m_one_case_size);
    return VEXA_OK;
}

std::int32_t DatastepDataSmb::GetVarType(std::int32_t v) const {
    if (v < 0 || v >= VarCount()) return -1;
    return m_var_types[static_cast<std::size_t>(v)];
}

std::int32_t DatastepDataSmb::GetVarObsIndex(std::int32_t v) const {
    if (v < 0 || static_cast<std::size_t>(v) >= m_obs_index.size()) return -1;
    return m_obs_index[static_cast<std::size_t>(v)];
}

std::int32_t DatastepDataSmb::GetVarObsLength(std::int32_t v) const {
    if (v < 0 || v >= VarCount()) return -1;
    return m_obs_length[static_cast<std::size_t>(v)];
}

std::unique_ptr<std::int32_t[]> DatastepDataSmb::GetVarInfo(std::int32_t& count) const {
    if (m_var_types.empty()) return nullptr;
    auto types = std::make_unique<std::int32_t[]>(m_var_types.size());
    std::copy(m_var_types.begin(), m_var_types.end(), types.get());
    count = VarCount();
    return types;
}

std::int32_t DatastepDataSmb::IsMissing(double value) {
    return value == codec::kSystemMissing ? 1 : 0;
}

std::int32_t DatastepDataSmb::CellsOfVariable(std::uint32_t v, OBS*& first,
                                              std::int32_t& length) const {
    // The obs indexes and the case size come from the engine; the lengths are
    // derived here, so the two may disagree.
    const std::int32_t index = GetVarObsIndex(static_cast<std::int32_t>(v));
    length = m_obs_length[v];
    if (index < 0 || static_cast<std::size_t>(index) > m_cell_count ||
        static_cast<std::size_t>(length) > m_cell_count - static_cast<std::size_t>(index)) {
        DxTraceError("DatastepDataSmb obs index + obs length <= case cells",
                     VEXA_MALFORMED_MESSAGE);
        return VEXA_MALFORMED_MESSAGE;
    }
    first = m_case_value.get() + index;
    return VEXA_OK;
}

double DatastepDataSmb::GetNCellValue(std::uint32_t v, std::int32_t& missing,
                                      std::int32_t& error) const {
    if (v >= m_var_types.size()) {
        error = VEXA_VARIABLE_OUT_OF_RANGE;
        return 0.0;
    }
    if (m_var_types[v] != 0) {
        error = VEXA_DATASTEP_NOT_NUMERIC;
        return 0.0;
    }
    OBS* cell = nullptr;
    std::int32_t length = 0;
    if (std::int32_t status = CellsOfVariable(v, cell, length); status != VEXA_OK) {
        error = status;
        return 0.0;
    }
    const double value = cell->AsNumber();
    missing = IsMissing(value);
    return value;
}

std::unique_ptr<char[]> DatastepDataSmb::GetCCellValue(std::uint32_t v, std::int32_t& error) const {
    if (v >= m_var_types.size()) {
        error = VEXA_VARIABLE_OUT_OF_RANGE;
        return nullptr;
    }
    const std::int32_t width = m_var_types[v];
    if (width == 0) {
        error = VEXA_DATASTEP_NOT_STRING;
        return nullptr;
    }
    OBS* cell = nullptr;
    std::int32_t length = 0;
    if (std::int32_t status = CellsOfVariable(v, cell, length); status != VEXA_OK) {
        error = status;
        return nullptr;
    }
    // A negative type is no width: an empty text.
    const std::size_t bytes = static_cast<std::size_t>(std::max(width, 0));
    auto text = std::make_unique<char[]>(bytes + 1);  // value-initialised: terminated
    if (bytes > 0) std::memcpy(text.get(), cell, bytes);
    return text;
}

std::int32_t DatastepDataSmb::SetNCellValue(std::uint32_t v, double value) {
    if (v >= m_var_types.size()) return VEXA_VARIABLE_OUT_OF_RANGE;
    if (m_var_types[v] != 0) return VEXA_DATASTEP_NOT_STRING;
    OBS* cell = nullptr;
    std::int32_t length = 0;
    if (std::int32_t status = CellsOfVariable(v, cell, length); status != VEXA_OK) return status;
    *cell = OBS::FromNumber(value);
    return VEXA_OK;
}

std::int32_t DatastepDataSmb::SetCCellValue(std::uint32_t v, const char* text) {
    if (!text) return VEXA_BAD_ARGUMENT;
    if (v >= m_var_types.size()) return VEXA_VARIABLE_OUT_OF_RANGE;
    if (m_var_types[v] == 0) return VEXA_DATASTEP_NOT_NUMERIC;
    OBS* cell = nullptr;
    std::int32_t length = 0;
    if (std::int32_t status = CellsOfVariable(v, cell, length); status != VEXA_OK) return status;
    const std::size_t room = static_cast<std::size_t>(length) * codec::kCellSize;
    auto* bytes = reinterpret_cast<unsigned char*>(cell);
    std::memset(bytes, ' ', room);
    std::memcpy(bytes, text, std::min(std::strlen(text), room));
    return VEXA_OK;
}
