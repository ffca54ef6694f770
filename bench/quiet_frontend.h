#pragma once

#include "app/frontend.h"

// A person who answers nothing: benchmarks keep only the last text shown, to print it when
// an operation fails.
class QuietFrontend : public telva::Frontend {
public:
    void showStatus(const QString& text) override { last = text; }
    void processEvents() override {}
    void showProgress(const QString&) override {}
    void messageBox(const QString& text, const QString&, Icon) override { last = text; }
    bool askYesNo(const QString&, const QString&, Icon) override { return false; }
    void showError(const QString& text) override { last = text; }
    bool askProxyCredentials(QString&, QString&) override { return false; }
    bool editProxySettings(QString&, QString&, QString&) override { return false; }
    std::optional<QString> askKeyPassword(const QString&) override { return std::nullopt; }
    bool openFile(const QString&) override { return false; }
    bool openUrl(const QString&) override { return false; }

    QString last;
};
