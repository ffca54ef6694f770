#pragma once

#include <QString>
#include <optional>

namespace telva {

struct ProxySettings;

// The one way the core reaches the person in front of it. The window implements it with
// dialogs, the terminal program with prompts and flags, tests with a scripted fake.
class Frontend {
public:
    enum class Icon { None, Information, Warning, Error, Question };

    virtual ~Frontend() = default;

    // The status line. Callers build the final text (see statusText()).
    virtual void showStatus(const QString& text) = 0;
    // Lets the window paint what changed; called before and during blocking work.
    virtual void processEvents() = 0;
    // Progress of a long step (bytes moved, seconds left); the status line by default.
    virtual void showProgress(const QString& text) { showStatus(text); }
    // The share of a long step done, 0..100; -1 when the step has ended.
    virtual void showPercent(int) {}
    // While a request runs the person may cancel it ("Отмена" in the window, Ctrl+C in the
    // terminal); switching it on forgets an earlier cancel.
    virtual void setCancellable(bool) {}
    virtual bool cancelRequested() { return false; }

    // A message box with an OK button.
    virtual void messageBox(const QString& text, const QString& caption, Icon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& caption, Icon icon) = 0;
    // The same where a hasty Enter must not mean Yes: "Нет" is the default answer.
    virtual bool askYesNoDefaultNo(const QString& text, const QString& caption, Icon icon) {
        return askYesNo(text, caption, icon);
    }
    // Whether to send a report that was sent before (the question's text names when and
    // under which number); No is the default answer.
    virtual bool askSendAgain(const QString& text) {
        return askYesNoDefaultNo(text, QStringLiteral("Внимание"), Icon::Question);
    }
    // The application's top-level error box, for errors that end a user action.
    virtual void showError(const QString& text) = 0;

    // Proxy user and password; false when the person cancels.
    virtual bool askProxyCredentials(QString& user, QString& password) = 0;
    // The proxy dialog: host, port and user; false when the person cancels.
    virtual bool editProxySettings(QString& host, QString& portText, QString& user) = 0;
    // The password of a protected private key or container, asked with the given question
    // (whole sentences, possibly on two lines); nothing when the person cancels.
    virtual std::optional<QString> askKeyPassword(const QString& prompt) = 0;

    // Opens a local file with the desktop's default program; false when that fails.
    virtual bool openFile(const QString& path) = 0;
    // Opens an address in the desktop's web browser; false when that fails.
    virtual bool openUrl(const QString& url) = 0;
    // Shows a text inside the program, read-only, where no outside program opened it: HTML as
    // a page that loads nothing from outside, anything else as plain text. False when this
    // frontend has no such view.
    virtual bool showDocument(const QString& /*title*/, const QString& /*text*/, bool /*html*/) {
        return false;
    }
};

// The status-line text for an outcome: the text alone, or with a failure's readable
// text appended as "(" + text + ")." when there is one.
QString statusText(const QString& text, const QString& errorText);

} // namespace telva
