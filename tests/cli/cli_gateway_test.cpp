// The terminal program treats the gateway as the window does: the site root first for the
// session cookie, request spacing shared through the state folder, files checked before
// anything is sent, a one-off proxy, Ctrl+C cancelling a request.
#include "app/last_request.h"
#include "app/paths.h"
#include "app/settings.h"
#include "archive/report_archive.h"
#include "cli/cli_frontend.h"
#include "cli_runner.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "http_test_server.h"
#include "operations/submission.h"
#include "temp_profile.h"

#include <QDir>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

using namespace telva;
using namespace telva::test;

namespace {

const QByteArray kId = "7701-0001-000123";

class CliGateway : public ::testing::Test {
protected:
    TempProfile profile;
    ManualClock clock;
    std::unique_ptr<Clock, void (*)(Clock*)> restore{&clock,
                                                     [](Clock*) { Clock::setSystem(nullptr); }};
    HttpTestServer gate;
    QString in = profile.writeFile(QStringLiteral("work/rep.xml"), "<R7REPORT/>");
    QString out = profile.writeFile(QStringLiteral("work/rep.er7"), "encrypted");

    CliGateway() {
        Clock::setSystem(&clock);
        Settings settings;
        settings.hosts.gate = gate.hostPort();
        settings.hosts.kvbSite = gate.hostPort();
        FakeFrontend frontend;
        SaveSettings(settings, frontend);
        // The gateway takes uploads only within the session the site root opened.
        gate.on("GET", "/",
                ScriptedResponse::ok("<html>fund</html>").addHeader("Set-Cookie", "s=42; Path=/"));
        gate.on("POST", "/uploadfile", [](const RecordedRequest& request) {
            if (request.header("Cookie") != "s=42")
                return ScriptedResponse::error(403);
            return ScriptedResponse::ok("<span id=\"identifier\" style=\"font-family: Tahoma\">" +
                                        kId + "</span>");
        });
    }
    CliRun send(const QString& inFile, const QStringList& more = {}) {
        return runCliInProcess(QStringList{QStringLiteral("send"), QStringLiteral("--out"), out,
                                           QStringLiteral("--in"), inFile} +
                               more);
    }
    QString archived(const QString& id) const {
        return profile.dataHome() + QStringLiteral("/KVB/TELVA/R7/ARC/") + id;
    }
};

} // namespace

TEST_F(CliGateway, SendOpensTheSiteRootFirstAndFilesTheReport) {
    const CliRun run = send(in);
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    ASSERT_EQ(gate.requestCount(), 2);
    EXPECT_EQ(gate.request(0).target, QByteArray("/"));
    EXPECT_TRUE(QFileInfo::exists(archived(QString::fromLatin1(kId)) + QStringLiteral("/rep.xml")));
}

TEST_F(CliGateway, SendChecksBothFilesBeforeAnythingGoesOut) {
    const QString missing = profile.root() + QStringLiteral("/work/missing.xml");
    const CliRun run = send(missing);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, QStringLiteral("Ошибка открытия \"%1\".\n").arg(missing));
    EXPECT_EQ(gate.requestCount(), 0);
    EXPECT_FALSE(QDir(archived(QString::fromLatin1(kId))).exists());
}

TEST_F(CliGateway, AReportSentBeforeGoesAgainOnlyWithAgain) {
    ASSERT_EQ(send(in).status, 0);
    const qsizetype uploads = gate.requestCount();
    const CliRun refused = send(in);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              alreadySentText({formatSendDate(clock.now()), QString::fromLatin1(kId)}, in) + '\n');
    const CliRun yes = runCliInProcess({QStringLiteral("--yes"), QStringLiteral("send"),
                                        QStringLiteral("--out"), out, QStringLiteral("--in"), in});
    EXPECT_EQ(yes.status, 1);
    EXPECT_EQ(gate.requestCount(), uploads);
    EXPECT_EQ(send(in, {QStringLiteral("--again")}).status, 0);
    EXPECT_GT(gate.requestCount(), uploads);
}

TEST_F(CliGateway, SpacingFollowsTheLastRequestOfAnyRun) {
    const struct {
        qint64 agoMs;
        qint64 waitedMs;
    } cases[] = {{60000, 0}, {3000, 10000}, {-60000, 0}}; // ahead: a clock set back
    for (const auto& c : cases) {
        writeLastRequestTime(lastRequestFile(), clock.now().addMSecs(-c.agoMs));
        const qint64 before = clock.slept;
        ASSERT_EQ(send(in, {QStringLiteral("--again")}).status, 0);
        EXPECT_EQ(clock.slept - before, c.waitedMs) << c.agoMs;
        EXPECT_EQ(readLastRequestTime(lastRequestFile()), clock.now());
    }
}

TEST_F(CliGateway, AOneOffProxyIsKeptOnlyWithSave) {
    const auto savedProxy = [] {
        Settings settings;
        FakeFrontend frontend;
        LoadSettings(settings, frontend);
        return settings.proxy.host + QLatin1Char(':') + QString::number(settings.proxy.port);
    };
    const QString before = savedProxy();
    const CliRun once =
        runCliInProcess({"--proxy", "10.0.0.1:3128", "--proxy-user", "u", "settings"});
    EXPECT_TRUE(once.out.contains(QStringLiteral("10.0.0.1:3128"))) << once.out.toStdString();
    EXPECT_EQ(savedProxy(), before);
    ASSERT_EQ(runCliInProcess({"--proxy", "10.0.0.1:3128", "--save", "settings"}).status, 0);
    EXPECT_EQ(savedProxy(), QStringLiteral("10.0.0.1:3128"));
}

TEST(CliCancel, CtrlCCancelsOnlyWhileARequestRuns) {
    QString none;
    QTextStream out(&none), err(&none), in(&none);
    CliFrontend frontend(out, err, in);
    frontend.setCancellable(true);
    EXPECT_FALSE(frontend.cancelRequested());
    std::raise(SIGINT);
    EXPECT_TRUE(frontend.cancelRequested());
    frontend.setCancellable(false);
    frontend.setCancellable(true); // the next request starts afresh
    EXPECT_FALSE(frontend.cancelRequested());
    frontend.setCancellable(false);
}
