#include "app/clock.h"
#include "app/cp1251.h"
#include "app/settings.h"
#include "cli_runner.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "http_test_server.h"
#include "receipt_maker.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QFileInfo>
#include <QSettings>
#include <gtest/gtest.h>
#include <memory>

using namespace telva;
using telva::test::CliRun;
using telva::test::runCliInProcess;

namespace {

const QString kId = QStringLiteral("7701-0001-000123");

class CliReports : public ::testing::Test {
protected:
    test::TempProfile profile;

    // A file in the archive of the default work mode.
    QString put(const QString& relative, const QByteArray& bytes = "x") {
        return profile.writeFile(QStringLiteral("home/.local/share/KVB/TELVA/R7/ARC/") + relative,
                                 bytes);
    }
    QString folder(const QString& id) const {
        return profile.dataHome() + QStringLiteral("/KVB/TELVA/R7/ARC/") + id;
    }
};

} // namespace

TEST_F(CliReports, ListIsTabSeparatedWithOneLinePerReport) {
    put(kId + QStringLiteral("/rep.xml"));
    put(kId + QStringLiteral("/rep.er7"));
    put(kId + QLatin1Char('/') + kId + QStringLiteral(".inf"),
        toCp1251(QStringLiteral("ООО \"Ромашка\"\tфилиал\n")));
    put(QStringLiteral("7701-0002-1/7701-0002-1.err"));

    const CliRun run = runCliInProcess({QStringLiteral("reports"), QStringLiteral("list")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Идентификатор файла\tИсходный файл\tОрганизация\tДата "
                                       "отправки\tСостояние\t"));
    const QStringList first = lines[1].split(QLatin1Char('\t'));
    ASSERT_EQ(first.size(), 6);
    EXPECT_EQ(first[0], kId);
    EXPECT_EQ(first[2], QStringLiteral("ООО \"Ромашка\"\\tфилиал\\n"));
    EXPECT_EQ(first[4], QStringLiteral("Обрабатывается."));
    EXPECT_EQ(first[5], QStringLiteral("Р7"));
    EXPECT_EQ(lines[2], QStringLiteral("7701-0002-1\t\t\t\tОбнаружены ошибки.\t"));
}

TEST_F(CliReports, DeleteRemovesOnlyAListedReport) {
    put(kId + QStringLiteral("/rep.xml"));
    const QString loose = put(QStringLiteral("loose.txt"));
    for (const QString& id : {QStringLiteral(".."), QStringLiteral("."),
                              QStringLiteral("loose.txt"), QStringLiteral("7701-9999-0")}) {
        const CliRun run =
            runCliInProcess({QStringLiteral("reports"), QStringLiteral("delete"), id});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("не найден"))) << run.err.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(loose));
    const CliRun run = runCliInProcess({QStringLiteral("reports"), QStringLiteral("delete"), kId});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder(kId)));
    EXPECT_EQ(run.out, QStringLiteral("Отчет ") + kId + QStringLiteral(" перемещен в корзину: ") +
                           profile.dataHome() + QStringLiteral("/Trash/files/") + kId +
                           QLatin1Char('\n'));
}

TEST_F(CliReports, ShowAcceptedBuildsTheViewAndPrintsItsPath) {
    put(kId + QStringLiteral("/rep.xml"));
    CliRun run = runCliInProcess({QStringLiteral("reports"), QStringLiteral("show-accepted"), kId});
    EXPECT_EQ(run.status, 1);

    put(kId + QLatin1Char('/') + kId + QStringLiteral(".zip"),
        test::makeReceiptArchive(profile.root(), kId, "<html/>", "<R7REPORT>r</R7REPORT>"));
    run = runCliInProcess({QStringLiteral("reports"), QStringLiteral("show-accepted"), kId});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QString view = folder(kId) + QLatin1Char('/') + kId + QStringLiteral(".xml");
    EXPECT_EQ(run.out.trimmed(), view);
    EXPECT_TRUE(test::readFileBytes(view).endsWith("<R7REPORT>r</R7REPORT>"));
}

TEST_F(CliReports, RefreshOfAReportWithErrorsOnlyShowsItsPage) {
    test::HttpTestServer gate;
    {
        QSettings global(globalSettingsPath(), QSettings::IniFormat);
        global.setValue(QStringLiteral("GateHost"), gate.hostPort());
    }
    put(kId + QStringLiteral("/rep.er7"));
    put(kId + QLatin1Char('/') + kId + QStringLiteral(".err"));
    const CliRun run = runCliInProcess({QStringLiteral("reports"), QStringLiteral("refresh"), kId});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, gate.url(QStringLiteral("/kvb/statusreport?id=")) + kId + QLatin1Char('\n') +
                           kId + QStringLiteral("\tОбнаружены ошибки.\n"));
    EXPECT_EQ(gate.requestCount(), 0);
}

TEST_F(CliReports, SendNeedsASignedFileOrBothNames) {
    CliRun run = runCliInProcess({QStringLiteral("send")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("telva-cli sign"))) << run.err.toStdString();
    run =
        runCliInProcess({QStringLiteral("send"), QStringLiteral("--out"), QStringLiteral("a.er7")});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("Использование")));
}

// The whole road from the terminal on a manual clock: send, refresh until the receipt is
// there and checked, list, show the accepted report.
TEST_F(CliReports, SendRefreshListAndShowAccepted) {
    ManualClock clock;
    Clock::setSystem(&clock);
    const std::unique_ptr<Clock, void (*)(Clock*)> restore(
        &clock, [](Clock*) { Clock::setSystem(nullptr); });
    test::HttpTestServer gate;
    Settings settings;
    test::installStandard(settings);
    settings.hosts.gate = gate.hostPort();
    settings.hosts.kvbSite = gate.hostPort();
    test::FakeFrontend frontend;
    SaveSettings(settings, frontend);

    const QByteArray idBytes = kId.toLatin1();
    gate.on("POST", "/uploadfile",
            test::ScriptedResponse::ok("<span id=\"identifier\" style=\"font-family: Tahoma\">" +
                                       idBytes + "</span>"));
    gate.on("GET", "/kvb/statusreport?id=" + idBytes,
            test::ScriptedResponse::ok("<p>Отчет обработан</p><a href=\"/invoice?id=" + idBytes +
                                       "\">Квитанция</a>"));
    const QByteArray zip = test::makeReceiptArchive(profile.root(), kId, "<html>Квитанция</html>",
                                                    "<R7REPORT>accepted</R7REPORT>");
    gate.on("GET", "/invoice?id=" + idBytes,
            test::ScriptedResponse::ok(
                test::makeReceipt(profile.root(), zip, test::TestPki::instance().fundAp,
                                  test::TestPki::instance().personal, false)));
    const QString in = profile.writeFile(QStringLiteral("work/rep.xml"), "<R7REPORT/>");
    const QString out = profile.writeFile(QStringLiteral("work/rep.er7"), "encrypted");

    CliRun run = runCliInProcess(
        {QStringLiteral("send"), QStringLiteral("--out"), out, QStringLiteral("--in"), in});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("Отчет успешно отправлен. Отчету присвоен номер ") + kId +
                           QStringLiteral(".\n") + kId + QLatin1Char('\n'));

    run = runCliInProcess({QStringLiteral("reports"), QStringLiteral("refresh"), kId});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QString stem = folder(kId) + QLatin1Char('/') + kId;
    EXPECT_EQ(run.out,
              kId + QStringLiteral("\tУспешно обработан.\n") + stem + QStringLiteral(".zip\n"));
    EXPECT_EQ(test::readFileBytes(stem + QStringLiteral(".zip")), zip);

    run = runCliInProcess({QStringLiteral("reports"), QStringLiteral("list")});
    const QStringList row = run.out.split(QLatin1Char('\n')).value(1).split(QLatin1Char('\t'));
    ASSERT_EQ(row.size(), 6) << run.out.toStdString();
    EXPECT_EQ(row[1], QStringLiteral("rep.xml"));
    EXPECT_FALSE(row[2].isEmpty());
    EXPECT_EQ(row[4], QStringLiteral("Успешно обработан."));

    run = runCliInProcess({QStringLiteral("reports"), QStringLiteral("show-accepted"), kId});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, stem + QStringLiteral(".xml\n"));
    EXPECT_TRUE(test::readFileBytes(stem + QStringLiteral(".xml"))
                    .endsWith("<R7REPORT>accepted</R7REPORT>"));

    // Only the refresh, right after the upload, waited its 10 seconds, on the clock.
    EXPECT_EQ(clock.slept, 10000);
}
