// The process-wide case data of the client API: the local case cursor and the
// case-writing buffer, each absent until created. Kept by ApiConnection and
// cleared with it; owns both. Belongs to the API's calling thread; no lock.
#pragma once

#include <memory>
#include <optional>

#include "casewritebuffer.h"
#include "codec/cursordatasmb.h"

namespace api {

class CaseCursorState {
  public:
    // Null when there is no case cursor.
    CursorDataSmb* cursor() const { return m_cursor.get(); }
    // Replaces (and destroys) any previous cursor; null removes it.
    void SetCursor(std::unique_ptr<CursorDataSmb> cursor) { m_cursor = std::move(cursor); }

    // Null when no value was set since the last commit.
    const CaseWriteBuffer* writeBuffer() const { return m_writeBuffer ? &*m_writeBuffer : nullptr; }
    // The buffer, created when absent.
    CaseWriteBuffer& EnsureWriteBuffer();
    void DropWriteBuffer() { m_writeBuffer.reset(); }

    // Cursor and buffer both go.
    void Clear();

  private:
    std::unique_ptr<CursorDataSmb> m_cursor;
    std::optional<CaseWriteBuffer> m_writeBuffer;
};

}  // namespace api
