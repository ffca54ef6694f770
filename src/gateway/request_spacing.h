#pragma once

#include "app/result.h"

namespace telva {

struct AppContext;
class RequestSlot;

// The spacing of gateway requests, in milliseconds.
inline constexpr int kRequestSpacingMs = 10000;

// Waits the full 10 seconds (ctx.clock) when the last spaced request (ctx.lastRequestTime, or
// the later time in ctx.lastRequestFile, left by any run) was less than 10 seconds ago, then
// sets the last-request time to now, in the file too. The slot (the file's lock) is taken
// before the time is read and stays held for the request that follows, which gives it back
// once it has gone out. The person may cancel the wait: it then fails as cancelled, the slot
// is let go and the time stays as it was.
Status waitRequestSpacing(AppContext& ctx, RequestSlot& slot);

} // namespace telva
