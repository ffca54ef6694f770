#include "cli/cli_frontend.h"

#include "app/event_log.h"
#include "app/secrets.h"
#include "app/texts.h"

#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace telva {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
struct sigaction g_previous {};
bool g_catching = false;

void onInterrupt(int) {
    g_interrupted = 1;
}

} // namespace

void CliFrontend::setCancellable(bool on) {
    if (on == g_catching)
        return;
    g_catching = on;
    if (on) {
        g_interrupted = 0;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &g_previous);
    } else {
        sigaction(SIGINT, &g_previous, nullptr);
    }
}

bool CliFrontend::cancelRequested() {
    return g_interrupted != 0;
}

CliFrontend::CliFrontend(QTextStream& out, QTextStream& err, QTextStream& in)
    : proxyPassword(takeSecretFromEnvironment("TELVA_PROXY_PASSWORD")),
      keyPassword(takeSecretFromEnvironment("TELVA_KEY_PASSWORD")), out_(out), err_(err), in_(in) {}

CliFrontend::~CliFrontend() {
    wipe(proxyPassword);
    wipe(keyPassword);
}

void CliFrontend::showStatus(const QString&) {
    // With -v the journal's echo prints it, time-stamped; commands print their outcome.
}

void CliFrontend::showProgress(const QString& text) {
    if (verbose)
        err_ << text << Qt::endl;
}

void CliFrontend::messageBox(const QString& text, const QString& caption, Icon) {
    out_ << (caption.isEmpty() ? QString() : caption + QStringLiteral(": ")) << text << Qt::endl;
}

bool CliFrontend::askYesNo(const QString& text, const QString& caption, Icon) {
    if (fixedAnswer)
        return *fixedAnswer;
    err_ << caption << ": " << text << Qt::endl;
    const QString answer = readLine(QStringLiteral("Да/Нет [y/N]: "), false).trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes") ||
           answer == QStringLiteral("д") || answer == QStringLiteral("да");
}

void CliFrontend::showError(const QString& text) {
    logEvent(errorEventText(text));
    ++errorCount;
    err_ << text << Qt::endl;
}

bool CliFrontend::askProxyCredentials(QString& user, QString& password) {
    if (!proxyPassword.isEmpty()) {
        password = proxyPassword;
        return true;
    }
    if (!isatty(STDIN_FILENO))
        return false;
    keepCoreDumpsOff();
    password = readLine(QStringLiteral("Пароль прокси-сервера для %1: ").arg(user), true);
    return true;
}

bool CliFrontend::editProxySettings(QString&, QString&, QString&) {
    // The terminal takes the proxy from --proxy and --proxy-user; there is no dialog.
    return false;
}

std::optional<QString> CliFrontend::askKeyPassword(const QString& prompt) {
    if (!keyPassword.isEmpty())
        return keyPassword;
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
    keepCoreDumpsOff();
    return readLine(prompt + QLatin1Char(' '), true);
}

bool CliFrontend::openFile(const QString& path) {
    out_ << path << Qt::endl;
    return true;
}

bool CliFrontend::openUrl(const QString& url) {
    out_ << url << Qt::endl;
    return true;
}

QString CliFrontend::readLine(const QString& prompt, bool secret) {
    err_ << prompt << Qt::flush;
    termios saved{};
    const bool hide = secret && isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (hide) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    const QString line = in_.readLine();
    if (hide) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        err_ << Qt::endl;
    }
    return line;
}

} // namespace telva
