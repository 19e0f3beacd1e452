#include "datastepbatch.h"

namespace api {

void DatastepBatch::Replace(std::unique_ptr<DatastepSmb> batch, std::string dataset) {
    m_dataset = std::move(dataset);
    m_batch = std::move(batch);
}

void DatastepBatch::Clear() {
    m_batch.reset();
    std::string().swap(m_dataset);
}

}  // namespace api
