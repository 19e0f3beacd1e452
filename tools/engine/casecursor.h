// The engine's side of a case cursor over the procedure's dataset: the walk
// position (kept even without a cursor, for the value commands), the
// cursor's access and layout, split groups, and the new variables and cases
// a writing cursor gathers until they are made part of the dataset. Plain
// state of the engine's one request loop; no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/protocol.h"
#include "dataset.h"

namespace engine {

enum class CaseAccess : int { kRead = 0, kWrite = 1, kAppend = 2 };

// Exactly "r"/"R" reads, "w"/"W" writes; any other text appends.
CaseAccess AccessFromText(std::string_view text);

// Split groups: runs of consecutive cases with equal values of the split
// variables (numbers compared bit for bit). Without split variables there
// are no groups.
class SplitGroups {
  public:
    explicit SplitGroups(const Dataset& data);

    bool Active() const { return !m_columns.empty(); }
    // True when `caseIndex` is the last case of its group (the dataset's
    // last case ends the last group).
    bool EndsGroup(std::size_t caseIndex) const;
    // Index of the last case of every group, in order.
    std::vector<std::size_t> Ends() const;

  private:
    const Dataset& m_data;
    std::vector<std::size_t> m_columns;
};

// The cases one block fetch delivers and the end code that goes with them.
struct CaseSpan {
    std::size_t first = 0;
    std::size_t count = 0;
    // 0, kEndOfData (the dataset's last case is in the span, or nothing is
    // left) or kEndOfSplit (the span stops at the end of a split group).
    int endCode = 0;
};

inline constexpr int kEndOfData = protocol::kEndOfData;
inline constexpr int kEndOfSplit = protocol::kEndOfSplit;

// New variables and cases gathered by a writing cursor. Variables are
// declared until the header is fixed; values of new variables for existing
// cases and whole new cases wait here until ApplyTo.
class CaseChanges {
  public:
    bool HeaderFixed() const { return m_headerFixed; }
    void FixHeader() { m_headerFixed = true; }
    // Declared but not yet fixed: values cannot be given yet.
    bool AwaitsHeader() const { return !m_headerFixed && !m_variables.empty(); }

    const std::vector<Variable>& variables() const { return m_variables; }
    // Null when no new variable has this name.
    Variable* FindNew(const std::string& name);
    // 0 or the engine code why `name` cannot become a new variable of `type`
    // next to `data`'s variables; `alsoTaken` are names declared with it.
    int CheckDeclaration(const Dataset& data, const std::string& name, int type,
                         const std::vector<std::string>& alsoTaken) const;
    // After CheckDeclaration said 0.
    void Declare(std::string name, int type);

    // Value of new variable `newIndex` for existing case `caseIndex`.
    void SetNewValue(std::size_t caseIndex, std::size_t newIndex, CellValue value);
    // A case over the dataset's variables followed by the new ones.
    void AddCase(std::vector<CellValue> values) { m_cases.push_back(std::move(values)); }
    std::size_t CaseCount() const { return m_cases.size(); }

    // Moves the variables, their values and the new cases into `data`.
    // Afterwards nothing is pending and a new header may be declared. False
    // (nothing moved) when a new variable's name has been taken meanwhile.
    bool ApplyTo(Dataset& data);

  private:
    bool m_headerFixed = false;
    std::vector<Variable> m_variables;
    // Per existing case, the values of the new variables set so far.
    std::map<std::size_t, std::vector<CellValue>> m_newValues;
    std::vector<std::vector<CellValue>> m_cases;
};

// The value a variable of `type` has when none is given.
CellValue EmptyValue(int type);

class CaseCursor {
  public:
    // Ties the walk to a procedure (a number that tells it apart from the
    // others): one left by another procedure is removed first.
    void Follow(std::size_t procedure);
    // Replaces a cursor made before; the walk starts over and changes not
    // yet applied are dropped. The layout is that of the first
    // `variableCount` variables.
    void Make(CaseAccess access, std::size_t variableCount);
    // No cursor, the walk starts over, pending changes are dropped.
    void Remove();
    bool IsMade() const { return m_made; }
    CaseAccess access() const { return m_access; }
    bool Writes() const { return m_made && m_access != CaseAccess::kRead; }
    std::size_t LayoutVariables() const { return m_variableCount; }

    // -1 before the first case; the case count once past the last.
    std::int64_t position() const { return m_position; }
    // The current case, if the position is on one of `data`'s cases.
    std::optional<std::size_t> Current(const Dataset& data) const;
    // One step; kEndOfData (position past the last) when there is no next case.
    int Step(const Dataset& data);
    // Up to `wanted` (at least 1) cases after the current one, stopping at
    // the end of a split group; the last of them becomes current.
    CaseSpan NextBlock(const Dataset& data, std::size_t wanted);
    // The case after the current one when a fetch of it would carry no end
    // code; it becomes current.
    std::optional<std::size_t> TakeNextIfPlain(const Dataset& data);

    CaseChanges& changes() { return m_changes; }

  private:
    bool m_made = false;
    CaseAccess m_access = CaseAccess::kRead;
    std::size_t m_variableCount = 0;
    std::size_t m_procedure = 0;
    std::int64_t m_position = -1;
    CaseChanges m_changes;
};

}  // namespace engine
