// The window follows its reports on its own while the person works on: from the moment a
// report is sent, on whichever page, and without ever holding the window up.
#include "app/event_log.h"
#include "app/settings.h"
#include "archive/report_archive.h"
#include "archive/report_list.h"
#include "cli_runner.h"
#include "find_child.h"
#include "gui/main_form.h"
#include "gui/status_panel.h"
#include "road_fixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

QString statusLine(TMainForm& form) {
    return child<StatusPanel>(&form, "StatusBar")->statusText();
}

QString stateOf(TMainForm& form, const QString& id) {
    auto* grid = child<QTableWidget>(&form, "gRep");
    for (int row = 0; row < grid->rowCount(); ++row) {
        if (grid->item(row, ColReportId) && grid->item(row, ColReportId)->text() == id)
            return grid->item(row, ColState)->text();
    }
    return {};
}

class DesktopFollowUp : public RoadTest {
protected:
    // One turn of the window's timer on the manual clock: the time moves on, the window looks
    // whether an ask is due, and the ask (on its own thread) is let finish.
    void minutesPass(TMainForm& form, int minutes) {
        clock_.advance(qint64(minutes) * 60 * 1000);
        form.followUp();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form.followUpRunning(); }, 60000));
    }
};

} // namespace

TEST_F(DesktopFollowUp, AReportSentFromTheSigningPageIsFollowedFromItsSend) {
    ASSERT_EQ(
        runCliInProcess({"certs", "import", "--store", "0", personalCert_, "--key", personalKey_})
            .status,
        0);
    // Each run takes the proxy password out of the environment, as its own process would.
    qputenv("TELVA_PROXY_PASSWORD", kProxyPassword);
    const CliRun installed = runCliInProcess({"--yes", "install-certs"});
    ASSERT_EQ(installed.status, 0) << installed.out.toStdString() << installed.err.toStdString();
    ASSERT_EQ(runCliInProcess(
                  {"certs", "choose", "personal", "--store", "0", "--serial", personalSerial_})
                  .status,
              0);
    TMainForm form({});
    form.context().settings.proxy.password = QString::fromLatin1(kProxyPassword);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* providers = child<QComboBox>(&form, "cbProv");
    if (providers->currentIndex() < 0)
        providers->setCurrentIndex(0);
    form.InputFileChosen(report_);
    form.execute(child<QAction>(&form, "acDo"));
    auto* acSend = child<QAction>(&form, "acSend");
    ASSERT_TRUE(acSend->isEnabled()) << statusLine(form).toStdString();
    form.execute(acSend);
    const QString id = QDir(profile_.dataHome() + QStringLiteral("/KVB/TELVA/R7/ARC"))
                           .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                           .value(0);
    ASSERT_FALSE(id.isEmpty()) << statusLine(form).toStdString();
    const QString sentText = statusLine(form);
    EXPECT_TRUE(sentText.contains(id)) << sentText.toStdString();

    // The list is never opened: the row is chosen on the hidden page, as it stood at start.
    auto* pages = child<QTabWidget>(&form, "pcMain");
    ASSERT_EQ(pages->currentIndex(), TMainForm::SignPage);
    auto* grid = child<QTableWidget>(&form, "gRep");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !stateOf(form, id).isEmpty(); }, 60000));
    for (int row = 0; row < grid->rowCount(); ++row) {
        if (grid->item(row, ColReportId)->text() == id)
            grid->setCurrentCell(row, ColState);
    }
    auto* showAccepted = child<QAction>(&form, "acShowFinalXml");
    EXPECT_FALSE(showAccepted->isEnabled());

    // Nothing before the first minute after the send; then "processing" (the simulator's first
    // answer); then the receipt, two minutes later, checked away from the window.
    minutesPass(form, 0);
    EXPECT_FALSE(proxyLog().contains(QStringLiteral("/kvb/statusreport")));
    minutesPass(form, 1);
    EXPECT_TRUE(proxyLog().contains(QStringLiteral("/kvb/statusreport?id=") + id))
        << proxyLog().toStdString();
    EXPECT_EQ(stateOf(form, id), stateProcessing());
    minutesPass(form, 1);
    EXPECT_EQ(stateOf(form, id), stateProcessing()) << "the second ask is 3 minutes after the send";
    minutesPass(form, 1);
    EXPECT_EQ(stateOf(form, id), stateAccepted()) << sim_->log().toStdString();
    EXPECT_TRUE(showAccepted->isEnabled()) << "the row's actions follow its state at once";
    EXPECT_TRUE(QFile::exists(reportFolder(form.context().archiveBaseFolder, id) + '/' + id +
                              QStringLiteral(".p7e")));
    // The person's page and status line stay as they were; nothing popped up.
    EXPECT_EQ(pages->currentIndex(), TMainForm::SignPage);
    EXPECT_EQ(statusLine(form), sentText);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        pages->setCurrentIndex(TMainForm::ReportsPage);
        form.grab().save(dir + QStringLiteral("/followed-from-send.png"));
    }
}

// While the gateway holds a background status request, what the person types lands, and
// neither progress nor "Отмена" nor a box shows up for a request nobody started.
class HeldStatusRequest : public DesktopFollowUp {
protected:
    void SetUp() override {
        // Only the first status request is held.
        simArgs_ << QStringLiteral("--delay") << QStringLiteral("/kvb/statusreport=45000:1");
        DesktopFollowUp::SetUp();
    }
};

TEST_F(HeldStatusRequest, TypingLandsWhileTheWindowWaitsForTheGateway) {
    const QStringList ids{QStringLiteral("7701-0001-000777"), QStringLiteral("7701-0001-000778")};
    for (const QString& id : ids) {
        const QString folder =
            reportFolder(profile_.dataHome() + QStringLiteral("/KVB/TELVA/R7"), id);
        profile_.writeFile(QDir(profile_.root()).relativeFilePath(folder) + '/' + id + ".er7", "x");
    }
    auto form = std::make_unique<TMainForm>(QStringList{});
    // Straight to the gateway: the proxy would give the held request up after its own 30 s.
    form->context().settings.proxy = ProxySettings();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_TRUE(form->context().connected) << sim_->log().toStdString();

    clock_.advance(60 * 1000);
    form->followUp();
    ASSERT_TRUE(form->followUpRunning());
    // The journal names the report asked about as the request goes out.
    const auto asked = [&](const QString& id) {
        return readFileBytes(logFilePath()).contains("/kvb/statusreport?id=" + id.toLatin1());
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked(ids[0]) || asked(ids[1]); }, 30000));
    const QString other = asked(ids[0]) ? ids[1] : ids[0];

    auto* field = child<QLineEdit>(form.get(), "eFileIn");
    field->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                       QStringLiteral("report.xml")});
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return field->text() == QStringLiteral("report.xml"); }, 30000))
        << field->text().toStdString();
    EXPECT_TRUE(form->followUpRunning()) << "the status request was still held meanwhile";
    EXPECT_FALSE(child<QPushButton>(form.get(), "CancelButton")->isVisible());
    EXPECT_FALSE(statusLine(*form).contains(QStringLiteral("Получено")));
    EXPECT_FALSE(statusLine(*form).contains(QStringLiteral("Идет загрузка")));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    const QString dir = qEnvironmentVariable("TELVA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QApplication::processEvents();
        form->screen()->grabWindow(0).save(dir + QStringLiteral("/typing-while-held.png"));
    }

    // The person's own refresh of the other report does not wait for the held answer: the ask
    // gives way, and the person's request is the first the gateway answers.
    auto* grid = child<QTableWidget>(form.get(), "gRep");
    for (int row = 0; row < grid->rowCount(); ++row) {
        if (grid->item(row, ColReportId)->text() == other)
            grid->setCurrentCell(row, ColReportId);
    }
    form->execute(child<QAction>(form.get(), "acLoadKvit"));
    EXPECT_FALSE(form->followUpRunning());
    QList<QByteArray> answered;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const QByteArray& line : sim_->log().split('\n')) {
                if (line.contains("GET /kvb/statusreport"))
                    answered.append(line);
            }
            return !answered.isEmpty();
        },
        30000));
    EXPECT_TRUE(answered.first().contains(other.toLatin1())) << answered.first().toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
