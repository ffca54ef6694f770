#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <unistd.h>
#include <vector>

// Tests of what only a desktop shows (activation, modal dialogs): the program runs itself
// again on a virtual 1024x600 screen, and there starts openbox before the tests.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || QByteArray(argv[i]).startsWith("--gtest_list_tests");
    if (!listing && qEnvironmentVariableIsEmpty("TELVA_ON_DESKTOP")) {
        qputenv("TELVA_ON_DESKTOP", "1");
        std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                const_cast<char*>("-s"),
                                const_cast<char*>("-screen 0 1024x600x24")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        perror("xvfb-run");
        return 1;
    }
    QProcess windowManager;
    QTemporaryDir dir;
    if (!listing) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        const QString ready = dir.filePath(QStringLiteral("ready"));
        windowManager.start(QStringLiteral("openbox"),
                            {QStringLiteral("--startup"), QStringLiteral("touch ") + ready});
        for (int i = 0; i < 200 && !QFile::exists(ready); ++i)
            QThread::msleep(50);
        if (!QFile::exists(ready)) {
            fprintf(stderr, "openbox did not start\n");
            return 1;
        }
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    windowManager.terminate();
    windowManager.waitForFinished(3000);
    return status;
}
