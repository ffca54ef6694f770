#include "app/settings.h"
#include "temp_profile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Answer {
    const char* argument;
    const char* expected;
};

} // namespace

// Without any display: a window opened by mistake would abort the program.
TEST(WindowCommandLine, HelpAndVersionPrintAndLeaveBeforeAnyWindow) {
    for (const Answer& answer :
         {Answer{"--help", "[-test | КВИТАНЦИЯ]"}, Answer{"--version", "telva 1.0.1.24\n"}}) {
        QProcess telva;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        telva.setProcessEnvironment(env);
        telva.start(QStringLiteral(TELVA_BINARY_DIR "/telva"),
                    {QString::fromLatin1(answer.argument)});
        ASSERT_TRUE(telva.waitForFinished()) << answer.argument;
        EXPECT_EQ(telva.exitStatus(), QProcess::NormalExit) << answer.argument;
        EXPECT_EQ(telva.exitCode(), 0) << answer.argument;
        EXPECT_TRUE(QString::fromUtf8(telva.readAllStandardOutput())
                        .contains(QString::fromUtf8(answer.expected)))
            << answer.argument;
    }
}

// A FIFO in place of the settings file: the window says so, naming it, instead of hanging on
// it or starting on the default hosts. The message box waits for the person; the test reads
// the same text from standard error and ends the program.
TEST(WindowCommandLine, AnUnreadableSettingsFileIsNamedInsteadOfStarting) {
    telva::test::TempProfile profile;
    const QString path = telva::globalSettingsPath();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QProcess telva;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    telva.setProcessEnvironment(env);
    telva.start(QStringLiteral(TELVA_BINARY_DIR "/telva"));
    // Qt may add lines of its own.
    const QString expected =
        telva::settingsUnreadableText(path, QStringLiteral("это не обычный файл")) + '\n';
    QString said;
    QElapsedTimer waited;
    waited.start();
    while (!said.contains(expected) && waited.elapsed() < 60000 &&
           telva.state() != QProcess::NotRunning) {
        telva.waitForReadyRead(1000);
        said += QString::fromUtf8(telva.readAllStandardError());
    }
    telva.kill();
    telva.waitForFinished();
    EXPECT_TRUE(said.contains(expected)) << said.toStdString();
}
