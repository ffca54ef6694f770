#include "gateway/request_spacing.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/last_request.h"
#include "app/texts.h"

namespace telva {

Status waitRequestSpacing(AppContext& ctx, RequestSlot& slot) {
    Frontend& frontend = ctx.frontend;
    frontend.setCancellable(true);
    // Kept until this request has gone out: another program reads the time only then, and
    // so waits its 10 seconds from the moment this one was sent.
    slot.take(ctx.lastRequestFile, frontend);
    Status waited;
    if (frontend.cancelRequested()) {
        waited = Status::fail(cancelledText(), ErrorKind::Cancelled);
    } else {
        const QDateTime now = ctx.clock.now();
        const QDateTime last = lastSpacedRequest(ctx.lastRequestTime, ctx.lastRequestFile, now);
        // This run's own request ahead of now: the clock went back since, maybe just after it.
        const bool setBack = ctx.lastRequestTime.isValid() && ctx.lastRequestTime > now;
        if (setBack || (last.isValid() && now < last.addMSecs(kRequestSpacingMs)))
            waited = ctx.clock.sleep(kRequestSpacingMs, &frontend);
    }
    frontend.setCancellable(false);
    if (!waited) {
        slot.release();
        return waited;
    }
    ctx.lastRequestTime = ctx.clock.now();
    writeLastRequestTime(ctx.lastRequestFile, ctx.lastRequestTime);
    return {};
}

} // namespace telva
