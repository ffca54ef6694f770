#include "app/program.h"
#include "gui/icons.h"
#include "gui/main_form.h"
#include "gui/translations.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Answered before Qt looks for a screen, so they work in a terminal without one.
    if (argc > 1 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(telva::windowUsage().toUtf8().constData(), stdout);
        return 0;
    }
    if (argc > 1 && !std::strcmp(argv[1], "--version")) {
        std::printf("%s\n", telva::ProgramVersion().toUtf8().constData());
        return 0;
    }
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
