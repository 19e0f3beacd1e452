#include "replyreader.h"

#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"

namespace api {
namespace {

template <typename Block, typename T>
int ReadAt(const Block& block, int index, T& value) {
    if (index < 0 || index >= block.Size()) {
        DxTraceError("size > " + std::to_string(index), VEXA_MALFORMED_MESSAGE);
        return VEXA_MALFORMED_MESSAGE;
    }
    value = block.Values()[static_cast<std::size_t>(index)];
    return 0;
}

}  // namespace

int ReadInt(CleXDSmb& reply, int index, int& value) {
    return ReadAt(reply.GetLongDataRef(), index, value);
}

int ReadDouble(CleXDSmb& reply, int index, double& value) {
    return ReadAt(reply.GetDoubleDataRef(), index, value);
}

int ReadString(CleXDSmb& reply, int index, std::string& value) {
    return ReadAt(reply.GetStringDataRef(), index, value);
}

}  // namespace api
