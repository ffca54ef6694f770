#include "gui/main_form.h"
#include "gui/translations.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    telva::installQtTranslations(app);
    telva::TMainForm form(app.arguments().mid(1));
    form.show();
    // Asked for, so that the connection check runs at start even without a window manager.
    form.activateWindow();
    return app.exec();
}
