#include "app/event_log.h"
#include "app/settings.h"
#include "cli_runner.h"
#include "http_test_server.h"
#include "temp_profile.h"
#include "tinyproxy_fixture.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace telva {
namespace {

// The journal of a run through an authenticating proxy: -v shows its lines, and the proxy's
// password, whether given in a setting or in an address, is in neither.
TEST(CliLog, VerboseShowsTheJournalWhichKeepsNoProxyPassword) {
    test::TempProfile profile;
    test::HttpTestServer site;
    site.on("GET", "/", test::ScriptedResponse::ok("<html>fund</html>"));
    QSettings(globalSettingsPath(), QSettings::IniFormat)
        .setValue(QStringLiteral("KVBSiteHost"), site.hostPort());
    test::TinyproxyFixture proxy;
    ASSERT_FALSE(test::TinyproxyFixture::binary().isEmpty()) << "tinyproxy (install-deps)";
    ASSERT_TRUE(proxy.start({QStringLiteral("clerk"), QStringLiteral("s3cret")}))
        << proxy.errorText().toStdString();
    qputenv("TELVA_PROXY_PASSWORD", "s3cret");
    // The environment's proxy, with its credentials in the address, is what --detect finds.
    qputenv("http_proxy", QStringLiteral("http://clerk:s3cret@%1/").arg(proxy.hostPort()).toUtf8());
    const test::CliRun run = test::runCliInProcess(
        {"-v", "--proxy", proxy.hostPort(), "--proxy-user", "clerk", "check-connection"});
    const test::CliRun detected = test::runCliInProcess({"-v", "check-connection", "--detect"});
    qunsetenv("http_proxy");
    qunsetenv("TELVA_PROXY_PASSWORD");
    ASSERT_EQ(run.status, 0) << run.err.toStdString();

    const QString journal = QString::fromUtf8(test::readFileBytes(logFilePath()));
    EXPECT_TRUE(journal.contains(QStringLiteral("GET http://%1/ (прокси %2): HTTP/1.1 200")
                                     .arg(site.hostPort(), proxy.hostPort())))
        << journal.toStdString();
    ASSERT_TRUE(run.err.contains(QStringLiteral(" GET http://"))) << run.err.toStdString();
    for (const QString& line : run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_TRUE(journal.contains(line)) << line.toStdString();
    for (const QString& text : {journal, run.err, detected.err})
        EXPECT_FALSE(text.contains(QStringLiteral("s3cret"))) << text.toStdString();
}

} // namespace
} // namespace telva
