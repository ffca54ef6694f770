#include "gui/main_form.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    telva::TMainForm form(app.arguments().mid(1));
    form.show();
    return app.exec();
}
