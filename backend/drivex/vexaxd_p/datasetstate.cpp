#include "datasetstate.h"

#include <algorithm>

namespace api {

OpenDataset* DatasetState::FindOpen(std::string_view name) {
    auto found = std::find_if(m_open.begin(), m_open.end(),
                              [&](const OpenDataset& entry) { return entry.name == name; });
    return found == m_open.end() ? nullptr : &*found;
}

void DatasetState::RemoveOpen(std::string_view name) {
    auto found = std::find_if(m_open.begin(), m_open.end(),
                              [&](const OpenDataset& entry) { return entry.name == name; });
    if (found != m_open.end()) m_open.erase(found);
}

void DatasetState::AddCached(const std::string& name, std::unique_ptr<DatastepDataSmb> entry) {
    m_cachedNames.push_back(name);
    m_cached.push_back(std::move(entry));
    m_currentName = name;
    m_currentIndex = static_cast<int>(m_cached.size()) - 1;
}

DatastepDataSmb* DatasetState::Lookup(const std::string& name) {
    if (name != m_currentName) {
        auto found = std::find(m_cachedNames.begin(), m_cachedNames.end(), name);
        m_currentName = name;
        m_currentIndex =
            found == m_cachedNames.end() ? -1 : static_cast<int>(found - m_cachedNames.begin());
    }
    return m_currentIndex < 0 ? nullptr : m_cached[static_cast<std::size_t>(m_currentIndex)].get();
}

void DatasetState::EndStep() {
    m_open.clear();
    m_cachedNames.clear();
    m_cached.clear();
    m_currentName.clear();
    m_currentIndex = -1;
    // The room of a step's writes is not kept for the next step.
    if (m_pending.empty()) m_pending = codec::CellRecords();
}

}  // namespace api
