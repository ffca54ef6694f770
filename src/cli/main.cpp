#include "cli/cli.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    // Only a PDF needs fonts, and so a GUI application; it draws on no screen.
    bool pdf = false;
    for (int i = 1; i < argc; ++i)
        pdf = pdf || std::strcmp(argv[i], "--pdf") == 0 || std::strncmp(argv[i], "--pdf=", 6) == 0;
    if (pdf)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        pdf ? std::make_unique<QGuiApplication>(argc, argv)
            : std::make_unique<QCoreApplication>(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    return telva::runCli(app->arguments().mid(1), out, err, in);
}
