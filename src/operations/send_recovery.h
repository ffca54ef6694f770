#pragma once

namespace telva {

struct AppContext;

// Finishes what killed or failed sends of this work mode left: a send whose identifier reached
// the sent log but not the journal is recorded in the index of sent files; a report whose
// filing did not finish gets its folder completed; temporary files whose writer is gone are
// removed from the archive. Quick when there is nothing to do; run before sending and before
// the list of sent reports is built.
void RecoverSends(AppContext& ctx);

} // namespace telva
