#pragma once

#include "app/frontend.h"

#include <QList>
#include <QStringList>
#include <deque>
#include <functional>

namespace telva::test {

// A scripted person: records everything the core shows and answers from queues.
class FakeFrontend : public Frontend {
public:
    struct Box {
        QString text;
        QString caption;
        Icon icon;
    };

    void showStatus(const QString& text) override { statuses.append(text); }
    void processEvents() override {
        ++processed;
        if (onProcessEvents)
            onProcessEvents();
    }
    void showProgress(const QString& text) override { progress.append(text); }
    void showPercent(int percent) override { percents.append(percent); }
    bool cancelRequested() override { return cancel; }
    void messageBox(const QString& text, const QString& caption, Icon icon) override {
        boxes.append({text, caption, icon});
    }
    bool askYesNo(const QString& text, const QString& caption, Icon icon) override {
        questions.append({text, caption, icon});
        if (yesNoAnswers.empty())
            return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    bool askSendAgain(const QString& text) override {
        return sendAgain ? *sendAgain : Frontend::askSendAgain(text);
    }
    void showError(const QString& text) override { errors.append(text); }
    bool askProxyCredentials(QString& user, QString& password) override {
        ++credentialRequests;
        if (credentialAnswers.empty())
            return false;
        auto [u, p] = credentialAnswers.front();
        credentialAnswers.pop_front();
        user = u;
        password = p;
        return true;
    }
    bool editProxySettings(QString& host, QString& portText, QString& user) override {
        ++proxyDialogs;
        if (!proxyDialogAnswer)
            return false;
        return proxyDialogAnswer(host, portText, user);
    }
    std::optional<QString> askKeyPassword(const QString& prompt) override {
        keyPasswordRequests.append(prompt);
        if (keyPasswords.empty())
            return std::nullopt;
        const QString answer = keyPasswords.front();
        keyPasswords.pop_front();
        return answer;
    }
    bool openFile(const QString& path) override {
        openedFiles.append(path);
        return openSucceeds;
    }
    bool openUrl(const QString& url) override {
        openedUrls.append(url);
        return true;
    }

    QString lastStatus() const { return statuses.isEmpty() ? QString() : statuses.last(); }

    QStringList statuses;
    QStringList progress;
    int processed = 0;
    std::function<void()> onProcessEvents;
    QList<int> percents;
    bool cancel = false;
    QList<Box> boxes;
    QList<Box> questions;
    std::deque<bool> yesNoAnswers;
    // The answer to "send again?" without asking; otherwise it is one of the questions.
    std::optional<bool> sendAgain;
    QStringList errors;
    int credentialRequests = 0;
    std::deque<std::pair<QString, QString>> credentialAnswers;
    int proxyDialogs = 0;
    std::function<bool(QString&, QString&, QString&)> proxyDialogAnswer;
    QStringList keyPasswordRequests;
    std::deque<QString> keyPasswords;
    QStringList openedFiles;
    QStringList openedUrls;
    bool openSucceeds = true;
};

} // namespace telva::test
