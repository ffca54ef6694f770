#include <QProcess>
#include <gtest/gtest.h>

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
