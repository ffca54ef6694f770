#include "app/settings.h"
#include "cli_runner.h"
#include "temp_profile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <gtest/gtest.h>

using namespace telva;
using telva::test::TempProfile;

using telva::test::CliRun;

namespace {

CliRun runCli(const QStringList& args) {
    return telva::test::runCliInProcess(args);
}

} // namespace

TEST(CliApp, VersionAndUsage) {
    TempProfile profile;
    EXPECT_EQ(runCli({QStringLiteral("--version")}).out, QStringLiteral("1.0.1.24\n"));
    const CliRun unknown = runCli({QStringLiteral("frobnicate")});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Неизвестная команда")));
}

TEST(CliApp, EveryCommandAnswersHelpWithItsUsageAndRunsNothing) {
    TempProfile profile;
    for (const char* command : {"kind", "settings", "certs", "providers", "sign", "check-receipt",
                                "check-connection", "install-certs", "send", "reports"}) {
        const CliRun run = runCli({QString::fromLatin1(command), QStringLiteral("--help")});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("Использование: telva-cli ") +
                                       QString::fromLatin1(command)))
            << run.out.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    }
    EXPECT_TRUE(runCli({QStringLiteral("--help")}).out.contains(QStringLiteral("--issuer")));
}

TEST(CliApp, KindPrintsNameExtensionAndOutputAndRemembersTheKind) {
    TempProfile profile;
    const QString file = profile.writeFile(QStringLiteral("in/rep.tar.xml"), "<R7AREPORT/>");
    const CliRun run = runCli({QStringLiteral("kind"), file});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("Форма 7а\ne7a\n") + profile.root() +
                           QStringLiteral("/in/rep.tar.e7a\n"));
    const CliRun settings = runCli({QStringLiteral("settings")});
    EXPECT_TRUE(settings.out.contains(QStringLiteral("\nEncExt=e7a\n")));

    const QString bad = profile.writeFile(QStringLiteral("in/bad.xml"), "<R7REPORT>");
    const CliRun failed = runCli({QStringLiteral("kind"), bad});
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(failed.err.startsWith(QStringLiteral("Ошибка открытия файла: ")));
    EXPECT_TRUE(
        runCli({QStringLiteral("settings")}).out.contains(QStringLiteral("\nEncExt=e7a\n")));
}

TEST(CliApp, SettingsShowsEffectiveValuesAndProxyOptionsApply) {
    TempProfile profile;
    {
        QSettings global(globalSettingsPath(), QSettings::IniFormat);
        global.setValue(QStringLiteral("KVBSiteHost"), QStringLiteral("127.0.0.1:8080"));
    }
    const CliRun run = runCli({QStringLiteral("--proxy"), QStringLiteral("10.0.0.1:3128"),
                               QStringLiteral("--proxy-user"), QStringLiteral("ivan"),
                               QStringLiteral("--save"), QStringLiteral("settings")});
    ASSERT_EQ(run.status, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.first(), QStringLiteral("ActiveMode=R7"));
    EXPECT_TRUE(lines.contains(
        QStringLiteral("KVBRootCertUrl=http://127.0.0.1:8080/uc/CA_KVB_RF_2012.cer")));
    EXPECT_TRUE(lines.contains(QStringLiteral("proxy=10.0.0.1:3128")));
    EXPECT_TRUE(lines.contains(QStringLiteral("proxy_user=ivan")));
    EXPECT_TRUE(lines.contains(QStringLiteral("PubStore=7")));
    // The window and the terminal share one store: the proxy given with --save is kept.
    QSettings global(globalSettingsPath(), QSettings::IniFormat);
    EXPECT_EQ(global.value(QStringLiteral("proxy")).toString(), QStringLiteral("10.0.0.1:3128"));

    const CliRun bad =
        runCli({QStringLiteral("--proxy"), QStringLiteral("h:x"), QStringLiteral("settings")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("'x' - неверное целое значение")));
}

TEST(CliApp, ExitCodesAndJsonErrorsForScripts) {
    TempProfile profile;
    const QString bad = profile.writeFile(QStringLiteral("in/bad.xml"), "<R7REPORT>");
    const struct {
        QStringList args;
        int status;
        bool jsonError; // {"error": text} on standard output
    } cases[] = {
        {{"kind", "--json", bad}, 1, true},
        {{"reports", "refresh", "--json", "7701-0001-1"}, 2, false}, // no --json there
        {{"send-all", "--help"}, 0, false},
        {{"reports", "wait"}, 2, false},
        {{"reports", "wait", "7701-0001-1", "--timeout", "soon"}, 1, false}, // not in the archive
        {{"send", "--json", "--out", bad, "--in", bad + "-missing"}, 1, true},
    };
    for (const auto& c : cases) {
        const CliRun run = runCli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args.join(' ').toStdString();
        const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
        EXPECT_EQ(!json.value(QLatin1String("error")).toString().isEmpty(), c.jsonError)
            << run.out.toStdString();
    }
    const CliRun kind = runCli({QStringLiteral("kind"), QStringLiteral("--json"),
                                profile.writeFile(QStringLiteral("in/r.xml"), "<R7AREPORT/>")});
    EXPECT_EQ(QJsonDocument::fromJson(kind.out.toUtf8()).object().value("extension"),
              QStringLiteral("e7a"));
}
