#include "datastepbatch.h"

namespace api {

void DatastepBatch::Replace(std::unique_ptr<DatastepSmb> batch, std::string dataset) {
    m_dataset = std::move(dataset);
    m_batch = std::move(batch);
    m_firstRow = 0;
    m_lastRow = -1;
    m_variables = 0;
    m_flags = nullptr;
    m_numbers = nullptr;
    std::int32_t first = 0, last = -1, third = 0;
    if (!m_batch || m_batch->GetRowList(first, last, third) != 0) return;
    m_firstRow = m_batch->GetFirstRow();
    m_lastRow = last;
    m_variables = m_batch->GetVarCount();
    // A header without cells leaves the arrays possibly absent.
    if (last >= m_firstRow && m_variables > 0) {
        m_flags = m_batch->GetLongArrayRef().front().Values().data();
        m_numbers = m_batch->GetDoubleArrayRef().front().Values().data();
    } else {
        m_variables = 0;
    }
}

void DatastepBatch::Clear() {
    Replace(nullptr, std::string());
    std::string().swap(m_dataset);
}

}  // namespace api
