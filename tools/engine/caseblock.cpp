#include "caseblock.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace engine {
namespace {

int ClampedType(int type) { return std::clamp(type, 0, kMaxStringWidth); }

}  // namespace

CaseLayout::CaseLayout(const std::vector<int>& types) {
    m_types.reserve(types.size());
    m_obsIndex.reserve(types.size());
    for (int type : types) {
        const int kept = ClampedType(type);
        m_types.push_back(kept);
        m_obsIndex.push_back(m_cells);
        m_cells += static_cast<std::size_t>(codec::ObsLength(kept));
    }
}

CaseLayout CaseLayout::Of(const Dataset& data, std::size_t variableCount) {
    std::vector<int> types;
    const std::size_t count = std::min(variableCount, data.VariableCount());
    for (std::size_t i = 0; i < count; ++i) types.push_back(data.variable(i).type);
    return CaseLayout(types);
}

bool CaseLayout::Encode(const std::vector<CellValue>& values, std::span<OBS> cells) const {
    if (values.size() < m_types.size() || cells.size() < m_cells) return false;
    for (std::size_t i = 0; i < m_types.size(); ++i) {
        const double* number = m_types[i] == 0 ? std::get_if<double>(&values[i]) : nullptr;
        // Numbers are nearly every cell of a pass: written straight.
        if (number) {
            cells[m_obsIndex[i]] = OBS::FromNumber(*number);
            continue;
        }
        const std::size_t end = i + 1 < m_types.size() ? m_obsIndex[i + 1] : m_cells;
        EncodeValue(m_types[i], values[i], cells.subspan(m_obsIndex[i], end - m_obsIndex[i]));
    }
    return true;
}

std::vector<CellValue> CaseLayout::Decode(std::span<const OBS> cells) const {
    std::vector<CellValue> values;
    values.reserve(m_types.size());
    for (std::size_t i = 0; i < m_types.size(); ++i) {
        const OBS* first = &cells[m_obsIndex[i]];
        if (m_types[i] == 0) {
            values.emplace_back(first->AsNumber());
            continue;
        }
        // The cells lie end to end, so the text is read across them.
        std::string text(reinterpret_cast<const char*>(first->bytes),
                         static_cast<std::size_t>(m_types[i]));
        text.erase(text.find_last_not_of(' ') + 1);
        values.emplace_back(std::move(text));
    }
    return values;
}

void EncodeValue(int type, const CellValue& value, std::span<OBS> cells) {
    if (cells.empty()) return;
    if (type == 0) {
        const double* number = std::get_if<double>(&value);
        cells[0] = OBS::FromNumber(number ? *number : kSystemMissing);
        return;
    }
    unsigned char* bytes = cells[0].bytes;
    const std::size_t room = std::min(cells.size_bytes(), static_cast<std::size_t>(type));
    std::memset(bytes, ' ', cells.size_bytes());
    if (const std::string* text = std::get_if<std::string>(&value))
        std::memcpy(bytes, text->data(), std::min(text->size(), room));
}

codec::OwnedBuffer EncodeCases(const Dataset& data, const CaseLayout& layout, std::size_t first,
                               std::size_t count) {
    codec::OwnedBuffer block = codec::OwnedBuffer::Allocate(count * layout.CaseSize());
    if (block.empty()) return block;
    const CaseStore& store = data.cases();
    const std::span<const OBS> cases = store.Cases(first, count);
    // The layout covers the first variables, whose cells open every case.
    if (layout.CaseSize() == store.CaseSize()) {
        std::memcpy(block.data(), cases.data(), block.size());
        return block;
    }
    unsigned char* out = block.bytes();
    for (std::size_t k = 0; k < count; ++k, out += layout.CaseSize())
        std::memcpy(out, store.Case(first + k).data(), layout.CaseSize());
    return block;
}

void PutCases(CleXDSmb& reply, const Dataset& data, const CaseLayout& layout, std::size_t first,
              std::size_t count) {
    const CaseStore& store = data.cases();
    const std::size_t bytes = count * layout.CaseSize();
    if (bytes == 0) return;
    if (layout.CaseSize() == store.CaseSize()) {
        reply.LendVoidData(store.Cases(first, count).data(), static_cast<std::int32_t>(bytes));
        return;
    }
    codec::OwnedBuffer block = EncodeCases(data, layout, first, count);
    reply.SetVoidData(block.release(), static_cast<std::int32_t>(bytes));
}

VarInfo CursorRecord(const Variable& variable) {
    VarInfo record;
    record.type = ClampedType(variable.type);
    const MissingValues& missing = variable.properties.missing;
    if (variable.IsNumeric()) {
        record.SetNumericMissing(missing.format, missing.numbers[0], missing.numbers[1],
                                 missing.numbers[2]);
        return record;
    }
    record.missingFormat = missing.format;
    for (int which = 0; which < 3; ++which)
        record.SetStringMissingValue(which, missing.texts[static_cast<std::size_t>(which)]);
    return record;
}

MissingJudge::MissingJudge(const Variable& variable)
    : m_record(CursorRecord(variable)), m_cells(static_cast<std::size_t>(m_record.ObsLength())) {}

int MissingJudge::Flag(std::span<const OBS> cells) const { return m_record.IsMissing(cells); }

int MissingJudge::Flag(const CellValue& value) {
    // Numbers, nearly every cell of a batch, skip the general encoding.
    const double* number = m_record.IsNumeric() ? std::get_if<double>(&value) : nullptr;
    if (number) {
        m_cells[0] = OBS::FromNumber(*number);
    } else {
        EncodeValue(m_record.type, value, m_cells);
    }
    return m_record.IsMissing(m_cells);
}

int MissingFlag(const Variable& variable, const CellValue& value) {
    return MissingJudge(variable).Flag(value);
}

}  // namespace engine
