// The library's side of the named datasets of a data step: the datasets it
// created with their tracked case and variable counts, the cell writes not yet
// committed, and one cached case per created dataset. Kept by ApiConnection;
// owns all three. Belongs to the API's calling thread; no lock.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codec/cellrecords.h"
#include "codec/datastepdatasmb.h"
#include "codec/datatype.h"

namespace api {

struct OpenDataset {
    std::string name;
    int caseCount;
    int varCount;
};

class DatasetState {
  public:
    // More pending records than this and the next write commits them first.
    static constexpr std::size_t kFlushThreshold = 0xFFFFF;

    // A name already listed is listed again; lookups find the first entry.
    void AddOpen(OpenDataset dataset) { m_open.push_back(std::move(dataset)); }
    // Null when the name is not listed.
    OpenDataset* FindOpen(std::string_view name);
    void RemoveOpen(std::string_view name);

    bool HasPending() const { return !m_pending.empty(); }
    bool PendingFull() const { return m_pending.count() > kFlushThreshold; }
    // Where a write appends its record.
    codec::CellRecords& Pending() { return m_pending; }

    // Appends the entry and makes it the remembered lookup.
    void AddCached(const std::string& name, std::unique_ptr<DatastepDataSmb> entry);
    // The cached case of the dataset, null when none. A lookup that finds
    // nothing is remembered too, so asking again for that name fails at once.
    DatastepDataSmb* Lookup(const std::string& name);

    // A data step ended: the open list and the cache go, the memo is cleared.
    void EndStep();

  private:
    std::vector<OpenDataset> m_open;
    codec::CellRecords m_pending;
    std::vector<std::string> m_cachedNames;
    std::vector<std::unique_ptr<DatastepDataSmb>> m_cached;
    std::string m_currentName;
    int m_currentIndex = -1;
};

}  // namespace api
