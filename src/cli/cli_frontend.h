#pragma once

#include "app/frontend.h"

#include <QTextStream>

namespace telva {

// The terminal as the person in front of the core: status texts go to standard output,
// questions are asked at the prompt (or answered by flags when there is no terminal).
class CliFrontend : public Frontend {
public:
    CliFrontend(QTextStream& out, QTextStream& err, QTextStream& in);
    ~CliFrontend() override;
    CliFrontend(const CliFrontend&) = delete;
    CliFrontend& operator=(const CliFrontend&) = delete;

    void showStatus(const QString& text) override;
    void processEvents() override {}
    void showProgress(const QString& text) override;
    // Ctrl+C cancels the request that runs, or the spacing wait before it; at any other time it
    // ends the program as usual.
    void setCancellable(bool on) override;
    bool cancelRequested() override;
    void messageBox(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption, Icon icon) override;
    void showError(const QString& text) override;
    // Only "send --again" sends a report again; --yes does not.
    bool askSendAgain(const QString&) override { return sendAgain; }
    bool askProxyCredentials(QString& user, QString& password) override;
    bool editProxySettings(QString& host, QString& portText, QString& user) override;
    std::optional<QString> askKeyPassword(const QString& prompt) override;
    bool openFile(const QString& path) override;
    bool openUrl(const QString& url) override;

    // Answer to every Yes/No question without asking (--yes / --no).
    std::optional<bool> fixedAnswer;
    // Send a report that was sent before (send --again).
    bool sendAgain = false;
    // Number of errors shown in the error box.
    int errorCount = 0;
    // Print the journal's lines and the progress as they come (otherwise only the final
    // status is printed).
    bool verbose = false;
    // TELVA_PROXY_PASSWORD and TELVA_KEY_PASSWORD, taken out of the environment at start.
    QString proxyPassword;
    QString keyPassword;

private:
    QString readLine(const QString& prompt, bool secret);

    QTextStream& out_;
    QTextStream& err_;
    QTextStream& in_;
};

} // namespace telva
