#include "gui/command_line.h"
#include "gui/icons.h"
#include "gui/main_form.h"
#include "gui/translations.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (const std::optional<int> answered = telva::answerHelpOrVersion(argc, argv))
        return *answered;
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("telva"));
    QApplication::setWindowIcon(telva::programIcon());
    telva::installQtTranslations(app);
    telva::TMainForm form(app.arguments().mid(1));
    form.show();
    // Asked for, so that the connection check runs at start even without a window manager.
    form.activateWindow();
    return app.exec();
}
