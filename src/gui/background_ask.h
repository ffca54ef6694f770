#pragma once

#include "operations/background_refresh.h"

#include <QString>
#include <atomic>

class QThread;

namespace telva {

// One ask of the window's follow-up about a report, on a thread of its own: the thread, its
// cancel and, once it has ended, its outcome.
struct BackgroundAsk {
    QThread* thread = nullptr;
    std::atomic<bool> cancel{false};
    BackgroundRefreshDone done;
    QString sourceFile;
    int number = 0;
};

} // namespace telva
