#pragma once

#include "app/clock.h"
#include "app/result.h"
#include "app/settings.h"
#include "archive/report_list.h"
#include "operations/report_status.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>

namespace telva {

struct AppContext;

// What a refresh away from the window needs of the run, copied when it starts: it never
// touches the window's context, its HTTP client or its frontend.
struct BackgroundRefreshJob {
    ReportRow row;
    Settings settings;
    QString archiveBaseFolder;
    bool testMode = false;
    bool followRedirects = false;
    QDateTime lastRequestTime;
    QString lastRequestFile;

    static BackgroundRefreshJob of(const AppContext& ctx, const ReportRow& row,
                                   bool followRedirects);
};

// How it went.
struct BackgroundRefreshDone {
    QString reportId;
    Result<RefreshOutcome> outcome = RefreshOutcome();
    // Stopped because the person's operation came first: nothing was learned.
    bool cancelled = false;
    // The receipt's check wanted the person's key password; nothing was asked.
    bool wantsPassword = false;
    // The gateway could not be reached (no connection, name or proxy).
    bool unreachable() const { return outcome.kind() == ErrorKind::Unreachable; }
    // The run's last spaced request after this one.
    QDateTime lastRequestTime;
    // What the refresh would have shown in boxes (the status line's texts are in the journal).
    QStringList said;
};

// Brings the job's report up to date as RefreshReportState does, on the calling thread with an
// HTTP client of its own, and opens nothing: no dialog, no browser, no progress. Questions
// get "no", a key password is not asked (wantsPassword), boxes and status texts are collected.
// Setting `cancel` stops it soon: the request, the 10-second wait and the wait for another
// program's turn.
BackgroundRefreshDone RefreshInBackground(const BackgroundRefreshJob& job, Clock& clock,
                                          const std::atomic<bool>& cancel);

} // namespace telva
