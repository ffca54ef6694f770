#include "app/program.h"
#include "app/settings.h"
#include "gui/command_line.h"
#include "gui/icons.h"
#include "gui/main_form.h"
#include "gui/single_instance.h"
#include "gui/translations.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>

namespace {

// How long a later start waits for a busy window to take its arguments.
constexpr int kHandOverWaitMs = 30000;
// The exit status when the settings cannot be read, as the terminal program's.
constexpr int kSettingsUnreadable = 4;

// The running window has another working folder: it gets whole paths.
QStringList wholePaths(QStringList arguments) {
    for (QString& argument : arguments) {
        if (QFileInfo::exists(argument))
            argument = QFileInfo(argument).absoluteFilePath();
    }
    return arguments;
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> answered = telva::answerHelpOrVersion(argc, argv))
        return *answered;
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("telva"));
    QApplication::setWindowIcon(telva::programIcon());
    telva::installQtTranslations(app);
    // Refused rather than run on the default hosts, which would reach the real fund.
    if (const telva::Status readable = telva::CheckSettingsStore(); !readable) {
        std::fprintf(stderr, "%s\n", readable.text().toLocal8Bit().constData());
        QMessageBox::critical(nullptr, telva::programTitle(), readable.text());
        return kSettingsUnreadable;
    }
    const QStringList arguments = app.arguments().mid(1);
    // Two windows would write over each other's settings: a second start hands its
    // arguments to the first and ends.
    telva::SingleInstance instance;
    if (!instance.claim()) {
        // The running window holds the profile: a second window would undo its work, so
        // this start hands over or says why it cannot, and never opens one.
        const telva::SingleInstance::HandOver handed =
            instance.handOver(wholePaths(arguments), kHandOverWaitMs);
        if (handed.outcome == telva::SingleInstance::HandOver::Taken)
            return 0;
        const QString why =
            handed.outcome == telva::SingleInstance::HandOver::Refused
                ? handed.text
                : QStringLiteral("ТЕЛВА уже открыта, но ее окно не отвечает. Дождитесь конца "
                                 "операции в нем и запустите программу снова.");
        std::fprintf(stderr, "%s\n", why.toLocal8Bit().constData());
        QMessageBox::warning(nullptr, telva::programTitle(), why);
        return 1;
    }
    telva::TMainForm form(arguments);
    instance.setRefusal([&form](const QStringList& later) { return form.refusalFor(later); });
    QObject::connect(&instance, &telva::SingleInstance::handedOver, &form,
                     &telva::TMainForm::takeArguments);
    form.show();
    // Asked for, so that the connection check runs at start even without a window manager.
    form.activateWindow();
    return app.exec();
}
