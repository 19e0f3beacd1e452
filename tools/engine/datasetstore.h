// The engine's datasets besides the active one, the data-step bookkeeping and
// the last temp-file row count. "*" and the active dataset's own name name
// the active dataset, which stays in EngineState; activating another swaps
// the two. Plain state of the one serving thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "dataset.h"

namespace engine {

class DatasetStore {
  public:
    // The dataset under `name`, or null.
    Dataset* Find(const std::string& name, Dataset& active);
    bool IsActive(const std::string& name, const Dataset& active) const;

    // Each returns 0 or the engine code of the refusal, changing nothing then.
    // A new, empty dataset; `flags` are kept for the dataset and not used.
    int Create(const std::string& name, int firstFlag, int secondFlag, const Dataset& active);
    // A new dataset `to` with the dictionary and cases of `from`.
    int Copy(const std::string& from, const std::string& to, Dataset& active);
    int Rename(const std::string& from, const std::string& to, Dataset& active);
    // The dataset becomes the active one; the active one joins the others.
    int Activate(const std::string& name, Dataset& active);
    int Close(const std::string& name, const Dataset& active);

    // "DataSet<n>" for the lowest n no dataset has.
    std::string NewName(const Dataset& active) const;
    // The active dataset first, then the others in the order they came.
    std::vector<std::string> AllNames(const Dataset& active) const;
    // Those created or copied through requests and not closed since.
    std::vector<std::string> OpenedNames() const;
    // Those created or copied since the open data step began; none outside
    // a step.
    std::vector<std::string> StepNames() const;

    bool StepOpen() const { return m_stepOpen; }
    void StartStep();
    void EndStep();

    // SetCacheInDS on a dataset made through a request: kept, otherwise not
    // used.
    void SetCacheFlag(const std::string& name, bool flag);
    bool CacheFlag(const std::string& name) const;

    std::size_t tempFileRows = 0;

  private:
    struct Entry {
        std::string name;
        int firstFlag = 0;
        int secondFlag = 0;
        bool cache = false;
        bool inStep = false;
    };
    bool Taken(const std::string& name, const Dataset& active) const;
    int CheckNewName(const std::string& name, const Dataset& active) const;
    Entry* FindEntry(const std::string& name);
    const Entry* FindEntry(const std::string& name) const;
    void Record(const std::string& name, int firstFlag, int secondFlag);

    std::vector<Dataset> m_others;
    // Every dataset made through a request, under its current name.
    std::vector<Entry> m_entries;
    bool m_stepOpen = false;
};

}  // namespace engine
