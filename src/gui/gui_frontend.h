#pragma once

#include "app/frontend.h"

#include <functional>

class QWidget;

namespace telva {

class InputGate;

// The window's side of the core: Qt dialogs and the status line.
class GuiFrontend : public Frontend {
public:
    explicit GuiFrontend(QWidget* parent = nullptr) : parent_(parent) {}

    void setParent(QWidget* parent) { parent_ = parent; }
    // Where status texts go (the main window's status line).
    void setStatusSink(std::function<void(const QString&)> sink) { statusSink_ = std::move(sink); }
    // What shows and hides the "Отмена" of a request.
    void setCancelSink(std::function<void(bool)> sink) { cancelSink_ = std::move(sink); }
    // What shows the percentage of a long step.
    void setPercentSink(std::function<void(int)> sink) { percentSink_ = std::move(sink); }
    // Keeps the window's input out while the core works (see InputGate).
    void setInputGate(InputGate* gate) { gate_ = gate; }
    // How many times the window was let paint during work; a step that never was ran too
    // briefly for input to have come meanwhile.
    int paintCount() const { return paintCount_; }
    // The person pressed "Отмена".
    void requestCancel() { cancelled_ = true; }

    void showStatus(const QString& text) override;
    void processEvents() override;
    void setCancellable(bool on) override;
    void showPercent(int percent) override;
    bool cancelRequested() override { return cancelled_; }
    void messageBox(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNoDefaultNo(const QString& text, const QString& caption, Icon icon) override;
    void showError(const QString& text) override;
    bool askProxyCredentials(QString& user, QString& password) override;
    bool editProxySettings(QString& host, QString& portText, QString& user) override;
    std::optional<QString> askKeyPassword(const QString& prompt) override;
    bool openFile(const QString& path) override;
    bool openUrl(const QString& url) override;
    // A window of its own beside the main one, so the person can read while working on.
    bool showDocument(const QString& title, const QString& text, bool html) override;

private:
    bool ask(const QString& text, const QString& caption, Icon icon, bool defaultNo);
    QWidget* parent_;
    std::function<void(const QString&)> statusSink_;
    std::function<void(bool)> cancelSink_;
    std::function<void(int)> percentSink_;
    InputGate* gate_ = nullptr;
    bool cancelled_ = false;
    int paintCount_ = 0;
};

} // namespace telva
