#include "app/context.h"

#include "app/event_log.h"
#include "app/frontend.h"

namespace telva {

void AppContext::showStatus(const QString& text) {
    logEvent(text);
    frontend.showStatus(text);
}

void AppContext::showStatus(const QString& text, const QString& errorText) {
    showStatus(statusText(text, errorText));
}

void AppContext::showProgress(const QString& text) {
    logEvent(text);
    frontend.showStatus(text);
    frontend.processEvents();
}

} // namespace telva
