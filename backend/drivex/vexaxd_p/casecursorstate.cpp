#include "casecursorstate.h"

namespace api {

CaseWriteBuffer& CaseCursorState::EnsureWriteBuffer() {
    if (!m_writeBuffer) m_writeBuffer.emplace();
    return *m_writeBuffer;
}

void CaseCursorState::Clear() {
    m_cursor.reset();
    m_writeBuffer.reset();
}

}  // namespace api
