// The round trips that fill a local case cursor: its layout from the
// procedure dataset's dictionary, the next block of cases once a block is
// used up, and the block a commit's reply brings. Each works on a cursor the
// caller owns; none keeps state of its own.
#pragma once

#include "codec/clexdsmb.h"
#include "codec/cursordatasmb.h"

namespace api {

// "r"/"R" read (0), "w"/"W" write (1), any other text 2.
int AccessTypeOf(const char* text);

// One variable count query, then type and missing values per variable.
// 0, or the code of the first query that failed (the cursor is then not
// usable).
[[nodiscard]] int LoadCursorLayout(CursorDataSmb& cursor);

// Fetches the block after the used-up one. 0 with the block's first case
// current, or the code that ends the pass; on failure the cursor holds no
// block.
[[nodiscard]] int RefillCaseBlock(CursorDataSmb& cursor);

// A commit's reply that carries cases becomes the cursor's block, positioned
// before its first case; a reply without void data leaves the cursor alone.
[[nodiscard]] int AdoptCommittedCases(CursorDataSmb& cursor, CleXDSmb& reply);

}  // namespace api
