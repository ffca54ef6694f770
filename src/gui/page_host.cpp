#include "gui/page_host.h"

#include "gui/gui_frontend.h"

#include <QAction>
#include <QDir>
#include <QStandardPaths>

namespace telva {

PageHost::PageHost(AppContext& context, GuiFrontend& guiFrontend, HttpClient& client,
                   StatusPanel& panel, QObject* parent)
    : QObject(parent), ctx(context), frontend(guiFrontend), http(client), panel_(panel) {
    frontend.setStatusSink([this](const QString& text) {
        panel_.setStatusText(text, nextKind_);
        if (!checking_) {
            operationStatus_ = text;
            operationKind_ = nextKind_;
        }
    });
}

void PageHost::ShowStatus(const QString& text, const QString& errorText, StatusKind kind) {
    nextKind_ = errorText.isEmpty() ? kind : StatusKind::Error;
    ctx.showStatus(text, errorText);
    nextKind_ = StatusKind::Info;
}

void PageHost::showOutcome(const QString& text, StatusKind kind) {
    if (!text.isEmpty())
        ShowStatus(text, QString(), kind);
}

void PageHost::showOutcome(const Result<QString>& result) {
    showOutcome(result ? *result : result.text(), result ? StatusKind::Success : StatusKind::Error);
}

QString PageHost::statusText() const {
    return panel_.statusText();
}

void PageHost::markFailureShown(const QString& text) {
    if (panel_.statusText() != text)
        return;
    panel_.setStatusText(text, StatusKind::Error);
    operationKind_ = StatusKind::Error;
}

void PageHost::setConnected(bool connected) {
    ctx.connected = connected;
    panel_.setConnected(connected);
}

void PageHost::bind(QAction* action, std::function<void()> handler, bool givesWay) {
    connect(action, &QAction::triggered, this, [this, action, handler, givesWay] {
        // A control's trigger runs the update rule again, as every execution does.
        runUpdate(action);
        const int paints = frontend.paintCount();
        ++running_;
        if (action->isEnabled() && givesWay)
            makeWay();
        if (action->isEnabled())
            handler();
        --running_;
        keepSettings();
        // Clicks and keys that came while a long step ran are dropped here, not run
        // afterwards.
        if (frontend.paintCount() != paints)
            frontend.processEvents();
    });
}

void PageHost::setUpdateRule(QAction* action, std::function<void()> rule) {
    updateRules_.insert(action, std::move(rule));
}

void PageHost::runUpdate(QAction* action) {
    if (const auto rule = updateRules_.constFind(action); rule != updateRules_.constEnd())
        (*rule)();
}

void PageHost::execute(QAction* action) {
    runUpdate(action);
    if (action->isEnabled())
        action->trigger();
}

void PageHost::keepSettings() {
    // Written when they change, not only at a clean close: a killed window loses nothing.
    if (ctx.settings == savedSettings_)
        return;
    SaveSettings(ctx.settings, frontend);
    savedSettings_ = ctx.settings;
}

QString PageHost::documentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(documents);
    return documents;
}

} // namespace telva
