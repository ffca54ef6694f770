#pragma once

#include "app/context.h"
#include "app/recent_places.h"
#include "app/result.h"
#include "gui/status_panel.h"

#include <QHash>
#include <QObject>
#include <functional>

class QAction;

namespace telva {

class GuiFrontend;
class HttpClient;

// What the window gives its pages: the run's context, the frontend and HTTP client, the
// status line, the places of the file dialogs, and the way an action runs as the person's
// operation. The window owns it; the pages share it.
class PageHost : public QObject {
    Q_OBJECT
public:
    PageHost(AppContext& ctx, GuiFrontend& frontend, HttpClient& http, StatusPanel& panel,
             QObject* parent);

    AppContext& ctx;
    GuiFrontend& frontend;
    HttpClient& http;
    RecentPlaces places;

    // Writes the status line: the text, and a failure's readable text in parentheses (which
    // makes it a failure's line).
    void ShowStatus(const QString& text, const QString& errorText = QString(),
                    StatusKind kind = StatusKind::Info);
    // An operation's text on the status line, coloured by its kind; an empty one (an aborted
    // step) leaves the line as it is.
    void showOutcome(const QString& text, StatusKind kind = StatusKind::Info);
    void showOutcome(const Result<QString>& result);
    QString statusText() const;
    // A failure that has already been shown as a plain text: the line turns to a failure's.
    void markFailureShown(const QString& text);
    // The icon tells whether the gateway answered.
    void setConnected(bool connected);

    // The connection check at activation is under way: its texts are not the person's.
    bool checking() const { return checking_; }
    void setChecking(bool on) { checking_ = on; }
    // The last text of an operation the person started, and its kind.
    QString operationStatus() const { return operationStatus_; }
    StatusKind operationKind() const { return operationKind_; }

    // Runs the action's handler as the person's operation: its update rule first, and when it
    // asks the gateway or writes into a report's folder (`givesWay`), a background ask first
    // gives way.
    void bind(QAction* action, std::function<void()> handler, bool givesWay = false);
    // The rule that enables an action, run before each execution.
    void setUpdateRule(QAction* action, std::function<void()> rule);
    void runUpdate(QAction* action);
    // Runs an action as a control would: its update rule first, then the action if enabled.
    void execute(QAction* action);

    // Operations of the person's under way; nothing is asked in the background meanwhile.
    int running() const { return running_; }
    void beginOperation() { ++running_; }
    void endOperation() { --running_; }
    // A background ask is cancelled before the person's work on the gateway or the archive.
    void makeWay() { Q_EMIT wayWanted(); }

    // The settings as they were written; a change is written at once.
    void settingsWritten() { savedSettings_ = ctx.settings; }
    void keepSettings();

    // The folder "Сохранить PDF" and "Экспорт архива" write into.
    static QString documentsFolder();

Q_SIGNALS:
    void wayWanted();

private:
    StatusPanel& panel_;
    QHash<QAction*, std::function<void()>> updateRules_;
    int running_ = 0;
    bool checking_ = false;
    QString operationStatus_;
    StatusKind operationKind_ = StatusKind::Info;
    // The kind of the text being shown (texts the core shows on its own are progress).
    StatusKind nextKind_ = StatusKind::Info;
    Settings savedSettings_;
};

} // namespace telva
