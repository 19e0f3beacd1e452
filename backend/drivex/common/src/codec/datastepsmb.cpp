#include "codec/datastepsmb.h"

#include <cstring>
#include <string>

#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"

namespace {

// Types come after the first row and the variable count, the two row figures
// after the types.
constexpr std::size_t kHeaderValues = 2;
constexpr std::size_t kTrailerValues = 2;

std::int32_t Malformed(const char* condition) {
    DxTraceError(std::string("DatastepSmb ") + condition, VEXA_MALFORMED_MESSAGE);
    return VEXA_MALFORMED_MESSAGE;
}

template <class Block>
std::size_t FirstSize(const std::vector<Block>& arrays) {
    return arrays.empty() ? 0 : arrays.front().Values().size();
}

}  // namespace

std::int32_t DatastepSmb::ReadBatchHeader() {
    const std::vector<std::int32_t>& longs = GetLongDataRef().Values();
    if (longs.size() < kHeaderValues) return Malformed("long block holds row and count");
    const std::int32_t first_row = longs[0];
    const std::int32_t count = longs[1];
    if (count < 0) return Malformed("variable count >= 0");
    if (longs.size() < kHeaderValues + static_cast<std::size_t>(count) + kTrailerValues) {
        return Malformed("long block holds the types and row figures");
    }
    const std::int64_t last_row = longs[longs.size() - 2];
    const std::int64_t rows = last_row >= first_row ? last_row - first_row + 1 : 0;
    const std::uint64_t cells =
        static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(count);
    if (FirstSize(GetLongArrayRef()) < cells || FirstSize(GetDoubleArrayRef()) < cells ||
        TextCount() < cells) {
        return Malformed("cell arrays hold every cell of the rows");
    }
    m_first_row = first_row;
    m_var_count = count;
    return VEXA_OK;
}

bool DatastepSmb::Covers(std::int32_t row) const {
    const std::vector<std::int32_t>& longs = GetLongDataRef().Values();
    if (longs.size() < 2) return false;
    return longs.front() <= row && row <= longs[longs.size() - 2];
}

std::int32_t DatastepSmb::GetRowList(std::int32_t& first_row, std::int32_t& last_row,
                                     std::int32_t& third_figure) const {
    const std::vector<std::int32_t>& longs = GetLongDataRef().Values();
    if (longs.size() < 2) return Malformed("long block holds the row figures");
    first_row = longs.front();
    last_row = longs[longs.size() - 2];
    third_figure = longs.back();
    return VEXA_OK;
}

std::int32_t DatastepSmb::GetVarTypes(std::int32_t* types, std::int32_t count) const {
    if (count < 0 || (!types && count > 0)) return VEXA_BAD_ARGUMENT;
    const std::vector<std::int32_t>& longs = GetLongDataRef().Values();
    const std::size_t wanted = static_cast<std::size_t>(count);
    if (longs.size() < kHeaderValues + wanted + kTrailerValues) return VEXA_VARIABLE_OUT_OF_RANGE;
    if (wanted > 0) std::memcpy(types, longs.data() + kHeaderValues, wanted * sizeof *types);
    return VEXA_OK;
}

std::int32_t DatastepSmb::CellIndex(std::int32_t row, std::int32_t variable,
                                    std::size_t& index) const {
    if (variable < 0 || variable >= m_var_count || row < m_first_row) {
        return VEXA_VARIABLE_OUT_OF_RANGE;
    }
    const std::vector<std::int32_t>& longs = GetLongDataRef().Values();
    if (longs.size() < 2) return Malformed("long block holds the row figures");
    if (row > longs[longs.size() - 2]) return VEXA_VARIABLE_OUT_OF_RANGE;
    const std::uint64_t offset = static_cast<std::uint64_t>(std::int64_t{row} - m_first_row);
    index = static_cast<std::size_t>(offset * static_cast<std::uint64_t>(m_var_count) +
                                     static_cast<std::uint64_t>(variable));
    return VEXA_OK;
}

std::int32_t DatastepSmb::MissingFlag(std::size_t index, std::int32_t& flag) const {
    const std::vector<LongData>& flags = GetLongArrayRef();
    if (index >= FirstSize(flags)) return Malformed("missing flags hold the cell");
    flag = flags.front().Values()[index];
    return VEXA_OK;
}

double DatastepSmb::GetNCellValue(std::int32_t row, std::int32_t variable, std::int32_t& missing,
                                  std::int32_t& error) const {
    std::size_t index = 0;
    std::int32_t flag = 0;
    error = CellIndex(row, variable, index);
    if (error == VEXA_OK) error = MissingFlag(index, flag);
    if (error == VEXA_OK && index >= FirstSize(GetDoubleArrayRef())) {
        error = Malformed("doubles hold the cell");
    }
    if (error != VEXA_OK) return 0.0;
    missing = flag;
    return GetDoubleArrayRef().front().Values()[index];
}

std::unique_ptr<char[]> DatastepSmb::GetCCellValue(std::int32_t row, std::int32_t variable,
                                                   std::int32_t& missing,
                                                   std::int32_t& error) const {
    std::size_t index = 0;
    std::int32_t flag = 0;
    error = CellIndex(row, variable, index);
    if (error == VEXA_OK) error = MissingFlag(index, flag);
    if (error == VEXA_OK && index >= TextCount()) {
        error = Malformed("strings hold the cell");
    }
    if (error != VEXA_OK) return nullptr;
    missing = flag;
    std::string_view value = TextAt(index);
    // Up to the first zero byte, as a zero-terminated text would carry it.
    value = value.substr(0, value.find('\0'));
    auto text = std::make_unique<char[]>(value.size() + 1);
    if (!value.empty()) std::memcpy(text.get(), value.data(), value.size());
    return text;
}

std::size_t DatastepSmb::TextCount() const {
    if (const codec::TextCells* cells = GetTextCells()) return cells->count();
    return FirstSize(GetStringArrayRef());
}

std::string_view DatastepSmb::TextAt(std::size_t index) const {
    if (const codec::TextCells* cells = GetTextCells()) return cells->At(index);
    return GetStringArrayRef().front().Values()[index];
}
