#include "operations/report_status.h"

#include "operations/background_refresh.h"

#include "app/context.h"
#include "app/cp1251.h"
#include "app/frontend.h"
#include "app/texts.h"
#include "archive/report_list.h"
#include "crypto/key_store.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "receipt_maker.h"
#include "report_road_support.h"
#include "temp_profile.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace telva;
using namespace telva::test;

namespace {

const QString kId = QStringLiteral("7701-0001-000123");
const QByteArray kIdBytes = kId.toLatin1();

QByteArray cp(const char* utf8) {
    return toCp1251(QString::fromUtf8(utf8));
}

} // namespace

TEST(StatusPage, RulesApplyInOrder) {
    const struct {
        QByteArray page;
        StatusPageKind kind;
    } cases[] = {
        {cp("<a href=invoice?fid=12>протокол</a> <a href=invoice?id=12>квитанция</a> Ошибка"),
         StatusPageKind::HasErrors},
        {"<a href=\"/invoice?fid=12\">", StatusPageKind::HasErrors},
        {"<a href=invoice?lid=12>", StatusPageKind::HasErrors},
        // Errors without the fund's link to this report's protocol.
        {cp("<h1>Ошибка авторизации</h1><form action=/login>"), StatusPageKind::NotFundPage},
        {cp("<a href=invoice?id=12>квитанция</a> Ошибка"), StatusPageKind::NotFundPage},
        {"<a href=invoice?fid=123>", StatusPageKind::NotFundPage},
        {"<a href=invoice?fid=1>", StatusPageKind::NotFundPage},
        {cp("Отчет обрабатывается"), StatusPageKind::Processing},
        {cp("ошибка, INVOICE?ID=1"), StatusPageKind::Processing},
        {"<a href=\"/invoice?id=12\">", StatusPageKind::ReceiptReady},
    };
    for (const auto& c : cases)
        EXPECT_EQ(classifyStatusPage(c.page, QStringLiteral("12")), c.kind) << c.page.data();
}

TEST(StatusPage, AddressesFollowTestModeOnlyForTheMainKind) {
    Settings s;
    s.hosts.gate = QStringLiteral("g");
    s.hosts.docGate = QStringLiteral("d");
    s.hosts.testGate = QStringLiteral("t:8080");
    const QString main = QStringLiteral("Р7");
    EXPECT_EQ(statusPageAddress(s, false, main, QStringLiteral("a b")),
              QStringLiteral("http://g/kvb/statusreport?id=a b"));
    EXPECT_EQ(statusPageAddress(s, true, main, kId),
              QStringLiteral("http://t:8080/kvb/statusreport?id=") + kId);
    EXPECT_EQ(receiptAddress(s, true, main, kId),
              QStringLiteral("http://t:8080/invoice?id=") + kId);
    for (const QString& code : {QStringLiteral("Р7А"), QStringLiteral("РП"), QString()}) {
        EXPECT_EQ(statusPageAddress(s, true, code, kId),
                  QStringLiteral("http://d/kvb/statusreport?id=") + kId);
        EXPECT_EQ(receiptAddress(s, false, code, kId),
                  QStringLiteral("http://d/invoice?id=") + kId);
    }
}

namespace {

// A whole CMS message that is no receipt of this workstation: signed, not encrypted.
QByteArray signedMessage() {
    return readFileBytes(QStringLiteral(TELVA_GOST_VECTORS "/rfc4490-signed.der"));
}

class Refresh : public ::testing::Test {
protected:
    TempProfile profile;
    FakeFrontend frontend;
    ManualClock clock{QDateTime(QDate(2026, 3, 5), QTime(14, 7))};
    AppContext ctx{frontend, clock};
    Gateways gateways;
    HttpClient http{ctx};
    QByteArray statusTarget = "/kvb/statusreport?id=" + kIdBytes;
    QByteArray receiptTarget = "/invoice?id=" + kIdBytes;

    const TestPki& pki = TestPki::instance();

    Refresh() {
        ctx.archiveBaseFolder = profile.root() + QStringLiteral("/base");
        gateways.pointAt(ctx.settings);
        QDir().mkpath(folder());
        installStandard(ctx.settings);
    }
    // A receipt of the report from signer to the personal certificate.
    QByteArray receipt(const TestPki::Item& signer) const {
        const QString work = profile.root();
        const QByteArray zip = makeReceiptArchive(work, kId, "<p>receipt</p>", "accepted report");
        return makeReceipt(work, zip, signer, pki.personal);
    }
    void serveReceipt(const QByteArray& bytes) {
        gateways.gate.on("GET", statusTarget, ScriptedResponse::ok("invoice?id=" + kIdBytes));
        gateways.gate.on("GET", receiptTarget, ScriptedResponse::ok(bytes));
    }
    QString folder() const { return ctx.archiveBaseFolder + QStringLiteral("/ARC/") + kId; }
    QString file(const QString& ext) const { return folder() + QLatin1Char('/') + kId + ext; }
    ReportRow row(const QString& state, const QString& code = QStringLiteral("Р7")) const {
        ReportRow r;
        r.cells[ColReportId] = kId;
        r.cells[ColState] = state;
        r.cells[ColListCode] = code;
        return r;
    }
    QString statusUrl(const HttpTestServer& server) const {
        return QStringLiteral("http://") + server.hostPort() + QString::fromLatin1(statusTarget);
    }
    // Refreshes and keeps the text the status line is left with.
    RefreshOutcome refresh(const ReportRow& r) {
        const Result<RefreshOutcome> outcome = RefreshReportState(ctx, http, r);
        said = outcome ? outcome->status.value_or(said) : outcome.text();
        return outcome ? *outcome : RefreshOutcome();
    }
    QString said;
};

} // namespace

TEST_F(Refresh, FinishedReportsAskNothingOfTheGateway) {
    RefreshOutcome out = refresh(row(stateAccepted()));
    EXPECT_EQ(out.receiptToCheck, file(QStringLiteral(".p7e")));
    EXPECT_FALSE(out.newState);

    profile.writeFile(QStringLiteral("base/ARC/") + kId + QLatin1Char('/') + kId + ".err", "x");
    out = refresh(row(stateHasErrors()));
    EXPECT_TRUE(out.receiptToCheck.isEmpty());
    EXPECT_EQ(frontend.openedUrls, QStringList{statusUrl(gateways.gate)});
    EXPECT_EQ(gateways.total(), 0);
    EXPECT_EQ(clock.slept, 0);

    // The placeholder row of an empty list does nothing at all.
    EXPECT_FALSE(refresh(ReportRow()).newState);
    EXPECT_EQ(gateways.total(), 0);
}

TEST_F(Refresh, ProcessingPageKeepsTheStateAndRequestsAreSpaced) {
    gateways.gate.on("GET", statusTarget, ScriptedResponse::ok("Отчет обрабатывается"));
    RefreshOutcome out = refresh(row(stateProcessing()));
    EXPECT_EQ(out.newState, stateProcessing());
    EXPECT_EQ(frontend.statuses.first(), QStringLiteral("Идет загрузка c ") +
                                             statusUrl(gateways.gate) + QStringLiteral(" ..."));
    EXPECT_EQ(said, QString());
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 0);

    clock.advance(3000);
    out = refresh(row(stateProcessing()));
    EXPECT_EQ(clock.slept, 20000); // the full 10 s each time, not the remainder
    EXPECT_EQ(gateways.gate.requestCount(), 2);
}

TEST_F(Refresh, ErrorPageIsStoredAndOpenedInTheBrowser) {
    // The fund's link to the protocol and a receipt link together: errors win, no receipt is
    // fetched.
    const QByteArray page = "<p>Ошибка в строке 3</p><a href=\"/invoice?fid=" + kIdBytes +
                            "\">протокол</a><a href=\"/invoice?id=1\">x</a> ✓";
    gateways.docGate.on("GET", statusTarget, ScriptedResponse::ok(page));
    ctx.testMode = true;
    // A lost ".err" file makes the report be asked for again.
    const RefreshOutcome out = refresh(row(stateHasErrors(), QStringLiteral("РП")));
    EXPECT_EQ(out.newState, stateHasErrors());
    EXPECT_EQ(readFileBytes(file(QStringLiteral(".err"))),
              cp("<p>Ошибка в строке 3</p><a href=\"/invoice?fid=") + kIdBytes +
                  cp("\">протокол</a><a href=\"/invoice?id=1\">x</a> ?"));
    EXPECT_EQ(frontend.openedUrls, QStringList{statusUrl(gateways.docGate)});
    EXPECT_EQ(gateways.total(), 1);
}

// An intermediary answering in the fund's place (a login page with "Ошибка авторизации")
// says nothing about the report: nothing is stored or opened, and it is asked again later.
TEST_F(Refresh, APageNotOfTheFundKeepsTheStateAndStoresNothing) {
    gateways.gate.on("GET", statusTarget,
                     ScriptedResponse::ok("<h1>Ошибка авторизации</h1><form action=\"/login\">"));
    for (const QString& state : {stateProcessing(), stateHasErrors()}) {
        const RefreshOutcome out = refresh(row(state));
        EXPECT_FALSE(out.newState);
        EXPECT_TRUE(out.receiptToCheck.isEmpty());
        EXPECT_EQ(said, notFundPageText(statusUrl(gateways.gate)));
    }
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 0);
    EXPECT_TRUE(frontend.openedUrls.isEmpty());
    EXPECT_EQ(gateways.gate.requestCount(), 2);
}

TEST_F(Refresh, ReceiptIsDownloadedCheckedAndKeptWithoutASecondWait) {
    const QByteArray bytes = receipt(pki.fundAp);
    gateways.testGate.on("GET", statusTarget, ScriptedResponse::ok("<a href=\"invoice?id=1\">"));
    gateways.testGate.on("GET", receiptTarget,
                         ScriptedResponse::ok(bytes, "application/octet-stream"));
    ctx.testMode = true;
    ctx.settings.kvitExt = QStringLiteral("kvt");

    const RefreshOutcome out = refresh(row(stateProcessing()));
    EXPECT_EQ(out.newState, stateAccepted()) << said.toStdString();
    EXPECT_EQ(out.receiptToCheck, file(QStringLiteral(".kvt")));
    ASSERT_TRUE(out.checked && out.checked->ok());
    EXPECT_EQ((*out.checked)->archivePath, file(QStringLiteral(".zip")));
    EXPECT_TRUE((*out.checked)->page.contains(QStringLiteral("receipt")));
    EXPECT_EQ(readFileBytes(file(QStringLiteral(".kvt"))), bytes);
    EXPECT_EQ(clock.slept, 10000);
    ASSERT_EQ(gateways.testGate.requestCount(), 2);
    EXPECT_EQ(gateways.testGate.request(1).target, receiptTarget);
    EXPECT_EQ(FillReportList(ctx).front().state(), stateAccepted());
}

TEST_F(Refresh, FailuresChangeNothing) {
    // The status page cannot be had: an error status, a page in another code page, a redirect
    // before any upload.
    gateways.gate.on("GET", statusTarget, ScriptedResponse::error(503));
    EXPECT_FALSE(refresh(row(stateProcessing())).newState);
    EXPECT_EQ(said, statusPageFailedText());
    gateways.gate.on("GET", statusTarget, ScriptedResponse::ok(cp("Ошибка в отчете")));
    EXPECT_FALSE(refresh(row(stateProcessing())).newState);
    EXPECT_EQ(said, statusPageFailedText());
    gateways.gate.on("GET", statusTarget, ScriptedResponse::redirect(302, "/elsewhere"));
    EXPECT_FALSE(refresh(row(stateProcessing())).newState);
    EXPECT_EQ(said, statusPageFailedText());

    // The receipt cannot be had.
    gateways.gate.on("GET", statusTarget, ScriptedResponse::ok("invoice?id=" + kIdBytes));
    gateways.gate.on("GET", receiptTarget, ScriptedResponse::error(404));
    const RefreshOutcome out = refresh(row(stateProcessing()));
    EXPECT_FALSE(out.newState);
    EXPECT_TRUE(out.receiptToCheck.isEmpty());
    EXPECT_EQ(said, QStringLiteral("Ошибка загрузки."));
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 0);
    EXPECT_TRUE(frontend.openedUrls.isEmpty());
}

TEST_F(Refresh, AReceiptThatFailsItsCheckIsKeptAsideAndFetchedAgain) {
    const QString bad = file(QStringLiteral(".p7e.bad"));
    // Not encrypted; signed by a certificate that is not installed; not for this workstation.
    const QByteArray rejected[] = {signedMessage(), receipt(pki.twoOu),
                                   makeReceipt(profile.root(), "zip", pki.fundAp, pki.twoOu)};
    for (const QByteArray& bytes : rejected) {
        serveReceipt(bytes);
        const qsizetype asked = gateways.gate.requestCount();
        const RefreshOutcome out = refresh(row(stateProcessing()));
        EXPECT_EQ(gateways.gate.requestCount(), asked + 2);
        EXPECT_FALSE(out.newState);
        EXPECT_TRUE(out.receiptToCheck.isEmpty());
        EXPECT_EQ(readFileBytes(bad), bytes);
        const QStringList around = rejectedReceiptText(QStringLiteral("|"), bad).split('|');
        EXPECT_TRUE(said.startsWith(around[0] + QStringLiteral("Ошибка при ")) &&
                    said.endsWith(around[1]))
            << said.toStdString();
        EXPECT_EQ(FillReportList(ctx).front().state(), stateProcessing());
        EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral(".p7e"))));
        EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral(".zip"))));
    }
    // The fund's own receipt, on the next refresh.
    serveReceipt(receipt(pki.fundAp));
    EXPECT_EQ(refresh(row(stateProcessing())).newState, stateAccepted());
    EXPECT_EQ(FillReportList(ctx).front().state(), stateAccepted());
}

TEST_F(Refresh, AKeyPasswordNotGivenLeavesTheReceiptUnjudgedAndTheStateAsItWas) {
    ASSERT_TRUE(
        crypto::StorePrivateKey(pki.personal.cert, pki.personal.pkey(), QStringLiteral("секрет"))
            .ok());
    serveReceipt(receipt(pki.fundAp));
    const RefreshOutcome out = refresh(row(stateProcessing()));
    EXPECT_EQ(frontend.keyPasswordRequests.size(), 1);
    EXPECT_FALSE(out.newState);
    EXPECT_EQ(said, receiptNotCheckedText(statusText(QStringLiteral("Ошибка при дешифровании "),
                                                     keyPasswordMissingText())));
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList());

    frontend.keyPasswords.push_back(QStringLiteral("секрет"));
    EXPECT_EQ(refresh(row(stateProcessing())).newState, stateAccepted());
}

TEST_F(Refresh, ReceiptFileThatCannotBeCreatedEndsWithTheErrorBox) {
    serveReceipt(receipt(pki.fundAp));
    QDir().mkpath(file(QStringLiteral(".p7e"))); // a folder where the file should go
    const RefreshOutcome out = refresh(row(stateProcessing()));
    EXPECT_FALSE(out.newState);
    EXPECT_TRUE(out.receiptToCheck.isEmpty());
    ASSERT_EQ(frontend.errors.size(), 1);
    EXPECT_TRUE(frontend.errors[0].startsWith(QStringLiteral("Не могу создать файл \"") +
                                              file(QStringLiteral(".p7e")) +
                                              QStringLiteral("\". ")));
}

// Away from the window nobody is asked: a receipt that needs the key password waits for the
// person, with nothing stored and nothing shown.
TEST_F(Refresh, InTheBackgroundAKeyPasswordIsNotAskedFor) {
    ASSERT_TRUE(
        crypto::StorePrivateKey(pki.personal.cert, pki.personal.pkey(), QStringLiteral("секрет"))
            .ok());
    serveReceipt(receipt(pki.fundAp));
    const std::atomic<bool> cancel{false};
    const BackgroundRefreshDone done = RefreshInBackground(
        BackgroundRefreshJob::of(ctx, row(stateProcessing()), false), clock, cancel);
    EXPECT_TRUE(done.wantsPassword);
    EXPECT_FALSE(done.cancelled);
    EXPECT_FALSE(done.outcome.ok());
    EXPECT_TRUE(frontend.keyPasswordRequests.isEmpty());
    EXPECT_TRUE(frontend.boxes.isEmpty());
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList());
    EXPECT_GT(done.lastRequestTime, ctx.lastRequestTime) << "the status request was spaced";
}

// The person's operation comes first: a cancel ends a status request the gateway holds.
TEST_F(Refresh, InTheBackgroundACancelEndsAHeldRequest) {
    std::atomic<bool> release{false};
    gateways.gate.on("GET", statusTarget, [&](const RecordedRequest&) {
        while (!release)
            QThread::msleep(5);
        return ScriptedResponse::ok("invoice?id=" + kIdBytes);
    });
    std::atomic<bool> cancel{false};
    BackgroundRefreshDone done;
    const BackgroundRefreshJob job = BackgroundRefreshJob::of(ctx, row(stateProcessing()), false);
    std::thread ask([&] { done = RefreshInBackground(job, clock, cancel); });
    while (gateways.gate.requestCount() == 0)
        QThread::msleep(5);
    cancel = true;
    ask.join();
    release = true;
    EXPECT_TRUE(done.cancelled);
    EXPECT_FALSE(done.unreachable());
    EXPECT_FALSE(done.outcome.ok());
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral(".p7e"))));
    EXPECT_TRUE(frontend.boxes.isEmpty());
}

// A gateway out of reach is a matter of the connection, not of the report.
TEST_F(Refresh, InTheBackgroundAGatewayOutOfReachIsToldApart) {
    HttpTestServer closed;
    const QString gone = closed.hostPort();
    closed.stop();
    ctx.settings.hosts.gate = gone;
    const std::atomic<bool> cancel{false};
    const BackgroundRefreshDone done = RefreshInBackground(
        BackgroundRefreshJob::of(ctx, row(stateProcessing()), false), clock, cancel);
    EXPECT_TRUE(done.unreachable());
    EXPECT_FALSE(done.cancelled);
    EXPECT_FALSE(done.outcome.ok());
    EXPECT_TRUE(frontend.boxes.isEmpty());
}
