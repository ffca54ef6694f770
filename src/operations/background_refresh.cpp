#include "operations/background_refresh.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/texts.h"
#include "gateway/http_client.h"

namespace telva {

namespace {

// A frontend with nobody in front of it.
class QuietFrontend : public Frontend {
public:
    explicit QuietFrontend(const std::atomic<bool>& cancel) : cancel_(cancel) {}

    // AppContext has put status texts into the journal already.
    void showStatus(const QString&) override {}
    void processEvents() override {}
    void showProgress(const QString&) override {}
    bool cancelRequested() override { return cancel_; }
    void messageBox(const QString& text, const QString&, Icon) override { note(text); }
    bool askYesNo(const QString& text, const QString&, Icon) override {
        note(text);
        return false;
    }
    void showError(const QString& text) override { note(text); }
    bool askProxyCredentials(QString&, QString&) override { return false; }
    bool editProxySettings(QString&, QString&, QString&) override { return false; }
    std::optional<QString> askKeyPassword(const QString&) override {
        wantsPassword = true;
        return std::nullopt;
    }
    bool openFile(const QString&) override { return false; }
    bool openUrl(const QString&) override { return false; }

    QStringList said;
    bool wantsPassword = false;

private:
    void note(const QString& text) {
        if (!text.isEmpty())
            said.append(text);
    }
    const std::atomic<bool>& cancel_;
};

// The run's clock, with waits that end when the refresh is cancelled.
class CancellableClock : public Clock {
public:
    CancellableClock(Clock& clock, const std::atomic<bool>& cancel)
        : clock_(clock), cancel_(cancel) {}
    QDateTime now() const override { return clock_.now(); }
    qint64 ticks() const override { return clock_.ticks(); }
    Status sleep(int milliseconds, Frontend*) override {
        constexpr int kSlice = 50;
        for (int left = milliseconds; left > 0; left -= kSlice) {
            if (cancel_)
                return Status::fail(cancelledText(), ErrorKind::Cancelled);
            if (const Status slept = clock_.sleep(qMin(left, kSlice), nullptr); !slept)
                return slept;
        }
        return {};
    }

private:
    Clock& clock_;
    const std::atomic<bool>& cancel_;
};

} // namespace

BackgroundRefreshJob BackgroundRefreshJob::of(const AppContext& ctx, const ReportRow& row,
                                              bool followRedirects) {
    BackgroundRefreshJob job;
    job.row = row;
    job.settings = ctx.settings;
    job.archiveBaseFolder = ctx.archiveBaseFolder;
    job.testMode = ctx.testMode;
    job.followRedirects = followRedirects;
    job.lastRequestTime = ctx.lastRequestTime;
    job.lastRequestFile = ctx.lastRequestFile;
    return job;
}

BackgroundRefreshDone RefreshInBackground(const BackgroundRefreshJob& job, Clock& clock,
                                          const std::atomic<bool>& cancel) {
    QuietFrontend frontend(cancel);
    CancellableClock waits(clock, cancel);
    AppContext ctx(frontend, waits);
    ctx.settings = job.settings;
    ctx.archiveBaseFolder = job.archiveBaseFolder;
    ctx.testMode = job.testMode;
    ctx.connected = true;
    ctx.lastRequestTime = job.lastRequestTime;
    ctx.lastRequestFile = job.lastRequestFile;
    BackgroundRefreshDone done;
    done.reportId = job.row.id();
    {
        HttpClient http(ctx);
        http.setFollowRedirects(job.followRedirects);
        done.outcome = RefreshReportState(ctx, http, job.row, true);
        done.unreachable = !done.outcome.ok() && done.outcome.kind() == ErrorKind::Unreachable;
    }
    // A refresh that got to its end before the cancel counts as done.
    done.cancelled = cancel && !done.outcome.ok();
    done.wantsPassword = frontend.wantsPassword;
    done.lastRequestTime = ctx.lastRequestTime;
    done.said = frontend.said;
    return done;
}

} // namespace telva
