#include "casestore.h"

#include <algorithm>
#include <cstring>

namespace engine {
namespace {

int ClampedType(int type) { return std::clamp(type, 0, kMaxStringWidth); }

std::vector<int> Clamped(const std::vector<int>& types) {
    std::vector<int> kept;
    kept.reserve(types.size());
    for (int type : types) kept.push_back(ClampedType(type));
    return kept;
}

}  // namespace

CaseStore::CaseStore(const std::vector<int>& types) { SetLayout(Clamped(types)); }

void CaseStore::SetLayout(const std::vector<int>& types) {
    m_types = types;
    m_obsIndex.clear();
    m_cellsPerCase = 0;
    for (int type : m_types) {
        m_obsIndex.push_back(m_cellsPerCase);
        m_cellsPerCase += static_cast<std::size_t>(codec::ObsLength(type));
    }
    m_emptyCase.assign(m_cellsPerCase, OBS::Blanks());
    for (std::size_t v = 0; v < m_types.size(); ++v) {
        if (m_types[v] == 0) m_emptyCase[m_obsIndex[v]] = OBS::FromNumber(codec::kSystemMissing);
    }
}

void CaseStore::FillEmpty(std::span<OBS> oneCase) const {
    std::copy(m_emptyCase.begin(), m_emptyCase.end(), oneCase.begin());
}

std::string_view CaseStore::Text(std::size_t caseIndex, std::size_t variable) const {
    const auto* first = reinterpret_cast<const char*>(
        m_cells[caseIndex * m_cellsPerCase + m_obsIndex[variable]].bytes);
    std::string_view text(first, static_cast<std::size_t>(m_types[variable]));
    const std::size_t end = text.find_last_not_of(' ');
    return text.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

void CaseStore::SetText(std::size_t caseIndex, std::size_t variable, std::string_view text) {
    OBS* first = &m_cells[caseIndex * m_cellsPerCase + m_obsIndex[variable]];
    const auto cells = static_cast<std::size_t>(codec::ObsLength(m_types[variable]));
    const std::size_t kept = std::min(text.size(), static_cast<std::size_t>(m_types[variable]));
    // The cells of one variable lie end to end, so the text spans them.
    std::memset(first->bytes, ' ', cells * sizeof(OBS));
    if (kept > 0) std::memcpy(first->bytes, text.data(), kept);
}

void CaseStore::Reserve(std::size_t cases) { m_cells.reserve(cases * m_cellsPerCase); }

std::span<OBS> CaseStore::AppendCase() {
    m_cells.insert(m_cells.end(), m_emptyCase.begin(), m_emptyCase.end());
    ++m_caseCount;
    return Case(m_caseCount - 1);
}

void CaseStore::AppendEmptyCases(std::size_t count) {
    m_cells.reserve(m_cells.size() + count * m_cellsPerCase);
    for (std::size_t k = 0; k < count; ++k)
        m_cells.insert(m_cells.end(), m_emptyCase.begin(), m_emptyCase.end());
    m_caseCount += count;
}

bool CaseStore::AdoptCases(std::vector<OBS>&& cells) {
    if (m_caseCount != 0 || m_cellsPerCase == 0 || cells.size() % m_cellsPerCase != 0) return false;
    m_caseCount = cells.size() / m_cellsPerCase;
    m_cells = std::move(cells);
    return true;
}

bool CaseStore::AppendCases(std::span<const OBS> cells) {
    if (m_cellsPerCase == 0) return cells.empty();
    if (cells.size() % m_cellsPerCase != 0) return false;
    m_cells.insert(m_cells.end(), cells.begin(), cells.end());
    m_caseCount += cells.size() / m_cellsPerCase;
    return true;
}

bool CaseStore::InsertCase(std::size_t row) {
    if (row > m_caseCount) return false;
    const auto at = static_cast<std::ptrdiff_t>(row * m_cellsPerCase);
    m_cells.insert(m_cells.begin() + at, m_emptyCase.begin(), m_emptyCase.end());
    ++m_caseCount;
    return true;
}

bool CaseStore::DeleteCase(std::size_t row) {
    if (row >= m_caseCount) return false;
    const auto at = static_cast<std::ptrdiff_t>(row * m_cellsPerCase);
    m_cells.erase(m_cells.begin() + at,
                  m_cells.begin() + at + static_cast<std::ptrdiff_t>(m_cellsPerCase));
    --m_caseCount;
    return true;
}

void CaseStore::ClearCases() {
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_caseCount = 0;
}

template <typename Carry>
void CaseStore::Relayout(const std::vector<int>& types, Carry carry) {
    CaseStore fresh(types);
    fresh.m_cells.resize(m_caseCount * fresh.m_cellsPerCase);
    fresh.m_caseCount = m_caseCount;
    for (std::size_t c = 0; c < m_caseCount; ++c) {
        std::span<OBS> target = fresh.Case(c);
        fresh.FillEmpty(target);
        carry(Case(c), target, fresh);
    }
    *this = std::move(fresh);
}

bool CaseStore::InsertVariable(std::size_t position, int type) {
    if (position > m_types.size()) return false;
    std::vector<int> types = m_types;
    types.insert(types.begin() + static_cast<std::ptrdiff_t>(position), ClampedType(type));
    // Cells before the new variable keep their place; those after move by its cells.
    const std::size_t split = position < m_types.size() ? m_obsIndex[position] : m_cellsPerCase;
    const auto added = static_cast<std::size_t>(codec::ObsLength(ClampedType(type)));
    Relayout(types, [&](std::span<const OBS> old, std::span<OBS> target, const CaseStore&) {
        std::copy(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(split), target.begin());
        std::copy(old.begin() + static_cast<std::ptrdiff_t>(split), old.end(),
                  target.begin() + static_cast<std::ptrdiff_t>(split + added));
    });
    return true;
}

bool CaseStore::DeleteVariable(std::size_t position) {
    if (position >= m_types.size()) return false;
    std::vector<int> types = m_types;
    types.erase(types.begin() + static_cast<std::ptrdiff_t>(position));
    const std::size_t from = m_obsIndex[position];
    const std::size_t to =
        position + 1 < m_types.size() ? m_obsIndex[position + 1] : m_cellsPerCase;
    Relayout(types, [&](std::span<const OBS> old, std::span<OBS> target, const CaseStore&) {
        std::copy(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(from), target.begin());
        std::copy(old.begin() + static_cast<std::ptrdiff_t>(to), old.end(),
                  target.begin() + static_cast<std::ptrdiff_t>(from));
    });
    return true;
}

bool CaseStore::SetType(std::size_t variable, int type) {
    if (variable >= m_types.size()) return false;
    const int kept = ClampedType(type);
    const int old = m_types[variable];
    if (kept == old) return true;
    std::vector<int> types = m_types;
    types[variable] = kept;
    const bool kindChanges = (kept == 0) != (old == 0);
    const std::size_t oldCells = static_cast<std::size_t>(codec::ObsLength(old));
    const std::size_t oldAt = m_obsIndex[variable];
    Relayout(types, [&](std::span<const OBS> from, std::span<OBS> target, const CaseStore& fresh) {
        for (std::size_t v = 0; v < m_types.size(); ++v) {
            if (v == variable) continue;
            const auto cells = static_cast<std::ptrdiff_t>(codec::ObsLength(m_types[v]));
            const auto start = from.begin() + static_cast<std::ptrdiff_t>(m_obsIndex[v]);
            std::copy(start, start + cells,
                      target.begin() + static_cast<std::ptrdiff_t>(fresh.m_obsIndex[v]));
        }
        if (kindChanges) return;
        // Text to text: the old bytes, cut to the new width; the rest stays blank.
        const std::size_t bytes = std::min(oldCells * sizeof(OBS), static_cast<std::size_t>(kept));
        std::memcpy(target[fresh.m_obsIndex[variable]].bytes, from[oldAt].bytes, bytes);
    });
    return true;
}

}  // namespace engine
