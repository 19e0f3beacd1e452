// Cases of a dataset in the wire's case layout: each variable's cells at its
// obs index, numbers as one cell, text blank-padded over ceil(width / 8)
// cells, cases laid end to end. A layout is a plain value built from the
// variable types; no threading of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "casestore.h"
#include "codec/clexdsmb.h"
#include "codec/obs.h"
#include "codec/ownedbuffer.h"
#include "codec/varinfo.h"
#include "dataset.h"

namespace engine {

class CaseLayout {
  public:
    // Types outside 0..kMaxStringWidth are the caller's fault; they are
    // clamped so the layout stays finite.
    explicit CaseLayout(const std::vector<int>& types);
    // The first `variableCount` variables of `data` (all of them when it has
    // fewer).
    static CaseLayout Of(const Dataset& data, std::size_t variableCount);

    std::size_t VariableCount() const { return m_types.size(); }
    int Type(std::size_t variable) const { return m_types.at(variable); }
    std::size_t ObsIndex(std::size_t variable) const { return m_obsIndex.at(variable); }
    std::size_t CaseSize() const { return m_cells * sizeof(OBS); }

    // `values` holds at least VariableCount() values of the layout's types;
    // `cells` is one case. False, with nothing written, when either is short.
    [[nodiscard]] bool Encode(const std::vector<CellValue>& values, std::span<OBS> cells) const;
    // Strings lose the blanks that pad them.
    std::vector<CellValue> Decode(std::span<const OBS> cells) const;

  private:
    std::vector<int> m_types;
    std::vector<std::size_t> m_obsIndex;
    std::size_t m_cells = 0;
};

// The value's cells for a variable of `type`: a string keeps at most `type`
// bytes and is blank-padded to its last cell.
void EncodeValue(int type, const CellValue& value, std::span<OBS> cells);

// Cases first .. first + count - 1 of `data` as one block; empty when the
// block has no bytes. Cases must exist.
codec::OwnedBuffer EncodeCases(const Dataset& data, const CaseLayout& layout, std::size_t first,
                               std::size_t count);

// The same cases as the reply's void data. When the layout covers whole
// cases they are lent from the store as they lie, and the reply must be sent
// before the store can change; otherwise they are copied.
void PutCases(CleXDSmb& reply, const Dataset& data, const CaseLayout& layout, std::size_t first,
              std::size_t count);

// The variable's missing-value definition as a cursor record.
VarInfo CursorRecord(const Variable& variable);

// NOT_MISSING, USER_MISSING or SYSTEM_MISSING for values of one variable by
// its definition, as the library's cursor judges a cell. Built once for many
// cells of the variable; not to be shared between threads.
class MissingJudge {
  public:
    explicit MissingJudge(const Variable& variable);
    int Flag(const CellValue& value);
    // The variable's cells as a store or a block holds them.
    int Flag(std::span<const OBS> cells) const;

  private:
    VarInfo m_record;
    std::vector<OBS> m_cells;
};

// The same for a single value.
int MissingFlag(const Variable& variable, const CellValue& value);

}  // namespace engine
