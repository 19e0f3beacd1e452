// The data-step batch: the last fetched rectangle of cells of one dataset and
// the name it was fetched for. Kept by ApiConnection; owns the batch.
// Belongs to the API's calling thread; no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "codec/datastepsmb.h"
#include "codec/ownedbuffer.h"

namespace api {

class DatastepBatch {
  public:
    // Null when there is no batch.
    const DatastepSmb* batch() const { return m_batch.get(); }
    // A batch exists and was fetched for this dataset. Compared in place, so
    // that a read per cell neither copies the name nor measures it first.
    bool BelongsTo(const char* dataset) const { return m_batch && SameName(dataset); }
    bool Covers(const char* dataset, int row) const {
        return BelongsTo(dataset) && m_firstRow <= row && row <= m_lastRow;
    }
    // The numeric cell of a held batch of `dataset`, read without the checked
    // reader's lookups; false (outputs untouched) when the batch does not hold
    // it, for the checked reader to say why.
    bool Number(const char* dataset, int row, int variable, double& value, int& missing) const {
        if (!Covers(dataset, row) || variable < 0 || variable >= m_variables) return false;
        const std::size_t index = static_cast<std::size_t>(std::int64_t{row} - m_firstRow) *
                                      static_cast<std::size_t>(m_variables) +
                                  static_cast<std::size_t>(variable);
        missing = m_flags[index];
        value = m_numbers[index];
        return true;
    }

    // The previous batch goes; null leaves none, for `dataset`. A batch given
    // must have had its header read.
    void Replace(std::unique_ptr<DatastepSmb> batch, std::string dataset);
    // The block the batch's image arrived in, for the next fetch to be
    // received in the same pages; the batch's cells stay readable.
    codec::OwnedBuffer TakeReceiveRoom() {
        return m_batch ? m_batch->TakeLentBlock() : codec::OwnedBuffer();
    }
    // Only the batch goes; its dataset name is kept.
    void DropBatch() { Replace(nullptr, std::move(m_dataset)); }
    // Batch and name both go.
    void Clear();

  private:
    bool SameName(const char* dataset) const {
        return std::strcmp(m_dataset.c_str(), dataset) == 0;
    }

    std::unique_ptr<DatastepSmb> m_batch;
    std::string m_dataset;
    // The batch's rows and its first two cell arrays, taken once per batch;
    // the header check guarantees the arrays hold every cell of the rows.
    std::int32_t m_firstRow = 0;
    std::int32_t m_lastRow = -1;
    std::int32_t m_variables = 0;
    const std::int32_t* m_flags = nullptr;
    const double* m_numbers = nullptr;
};

}  // namespace api
