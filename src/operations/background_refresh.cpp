#include "operations/background_refresh.h"

#include "app/context.h"
#include "app/frontend.h"
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
    // The frontend's cancel also ends the clock's waits: the spacing and another program's turn.
    AppContext ctx(frontend, clock);
    ctx.settings = job.settings;
    ctx.archiveBaseFolder = job.archiveBaseFolder;
    ctx.testMode = job.testMode;
    ctx.connected = true;
    ctx.lastRequestTime = job.lastRequestTime;
    ctx.lastRequestFile = job.lastRequestFile;
    BackgroundRefreshDone done;
    done.reportId = job.row.id();
    HttpClient http(ctx);
    http.setFollowRedirects(job.followRedirects);
    done.outcome = RefreshReportState(ctx, http, job.row, true);
    // A refresh that got to its end before the cancel counts as done.
    done.cancelled = cancel && !done.outcome.ok();
    done.wantsPassword = frontend.wantsPassword;
    done.lastRequestTime = ctx.lastRequestTime;
    done.said = frontend.said;
    return done;
}

} // namespace telva
