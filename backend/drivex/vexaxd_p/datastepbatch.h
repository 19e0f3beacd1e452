// The data-step batch: the last fetched rectangle of cells of one dataset and
// the name it was fetched for. Kept by ApiConnection; owns the batch.
// Belongs to the API's calling thread; no lock.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "codec/datastepsmb.h"

namespace api {

class DatastepBatch {
  public:
    // Null when there is no batch.
    const DatastepSmb* batch() const { return m_batch.get(); }
    // A batch exists and was fetched for this dataset. Views, so that a read
    // per cell makes no copy of the name.
    bool BelongsTo(std::string_view dataset) const { return m_batch && m_dataset == dataset; }
    bool Covers(std::string_view dataset, int row) const {
        return BelongsTo(dataset) && m_batch->Covers(row);
    }

    // The previous batch goes; null leaves none, for `dataset`.
    void Replace(std::unique_ptr<DatastepSmb> batch, std::string dataset);
    // Only the batch goes; its dataset name is kept.
    void DropBatch() { m_batch.reset(); }
    // Batch and name both go.
    void Clear();

  private:
    std::unique_ptr<DatastepSmb> m_batch;
    std::string m_dataset;
};

}  // namespace api
