// The road to the gateway under faults, grouped per fault: late and lost upload answers,
// endless and dripping answers, cancelled requests, bad receipts, identifiers that would split
// the query. Every server is real; minutes pass on a manual clock, moved on as the window
// paints, so nothing waits real time.
#include "app/context.h"
#include "archive/report_list.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "operations/report_status.h"
#include "operations/submission.h"
#include "report_road_support.h"
#include "temp_profile.h"

#include <QDir>
#include <QThread>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

const QString kId = QStringLiteral("7701-0001-000123");

// A person whose clock moves on each time the window paints, and who may press "Отмена"
// when a given progress text shows.
class PaintingFrontend : public FakeFrontend {
public:
    explicit PaintingFrontend(ManualClock& clock) : clock_(clock) {}

    void processEvents() override {
        FakeFrontend::processEvents();
        clock_.advance(stepMs);
        if (cancelAfterPaints >= 0 && processed >= cancelAfterPaints)
            cancel_ = true;
    }
    void showProgress(const QString& text) override {
        FakeFrontend::showProgress(text);
        if (text == cancelOn)
            cancel_ = true;
        if (text == seenOn)
            seen = true;
    }
    void setCancellable(bool on) override {
        if (on)
            cancel_ = false;
        cancellable.append(on);
    }
    bool cancelRequested() override { return cancel_; }

    qint64 stepMs = 0;
    int cancelAfterPaints = -1;
    QString cancelOn;
    QString seenOn;
    std::atomic<bool> seen{false};
    QList<bool> cancellable;

private:
    ManualClock& clock_;
    bool cancel_ = false;
};

// Holds a server's answer back until the client has shown that it is still waiting.
RequestHandler answerOnceSeen(const std::atomic<bool>& seen, ScriptedResponse response) {
    return [&seen, response](const RecordedRequest&) {
        for (int i = 0; i < 2000 && !seen; ++i)
            QThread::msleep(5);
        return response;
    };
}

ScriptedResponse hangUp() {
    ScriptedResponse response;
    response.hangUp = true;
    return response;
}

ScriptedResponse stalling() {
    ScriptedResponse response = ScriptedResponse::ok("0123456789");
    response.stallAfter = 4;
    return response;
}

QByteArray identifierPage(const QString& id) {
    return "<span id=\"identifier\" style=\"font-family: Tahoma\">" + id.toLatin1() + "</span>";
}

class GatewayFaults : public ::testing::Test {
protected:
    TempProfile profile;
    ManualClock clock{QDateTime(QDate(2026, 3, 5), QTime(14, 7))};
    PaintingFrontend frontend{clock};
    AppContext ctx{frontend, clock};
    Gateways gateways;
    HttpClient http{ctx};
    SubmitInput input;

    GatewayFaults() {
        ctx.archiveBaseFolder = profile.root() + QStringLiteral("/base");
        gateways.pointAt(ctx.settings);
        input.inputFile = profile.writeFile(QStringLiteral("work/rep.xml"), "<R7REPORT/>");
        input.outputFile = profile.writeFile(QStringLiteral("work/rep.er7"), "\x30\x82 cms");
    }
    QString uploadUrl() const { return gateways.gate.url(QStringLiteral("/uploadfile")); }
    // The operations, keeping the text each leaves for the status line.
    std::optional<QString> submit() {
        const Result<SentReport> sent = SubmitReport(ctx, http, input);
        said = sent ? sent->text : sent.text();
        return sent ? std::optional<QString>(sent->id) : std::nullopt;
    }
    RefreshOutcome refresh(const ReportRow& row) {
        const Result<RefreshOutcome> outcome = RefreshReportState(ctx, http, row);
        said = outcome ? outcome->status.value_or(said) : outcome.text();
        return outcome ? *outcome : RefreshOutcome();
    }
    QString said;
    QString reportFolder() const { return ctx.archiveBaseFolder + QStringLiteral("/ARC/") + kId; }
    QString receiptFile() const { return reportFolder() + QLatin1Char('/') + kId + ".p7e"; }
    ReportRow processingRow() const {
        ReportRow row;
        row.cells[ColReportId] = kId;
        row.cells[ColState] = stateProcessing();
        row.cells[ColListCode] = QStringLiteral("Р7");
        return row;
    }
    void serveReceipt(const QByteArray& bytes) {
        gateways.gate.on("GET", "/kvb/statusreport?id=" + kId.toLatin1(),
                         ScriptedResponse::ok("<a href=\"invoice?id=1\">"));
        gateways.gate.on("GET", "/invoice?id=" + kId.toLatin1(), ScriptedResponse::ok(bytes));
    }
};

bool saysMayHaveArrived(const QString& text) {
    return text.startsWith(QStringLiteral("Отчет передан на шлюз, но ответ не получен (")) &&
           text.endsWith(QStringLiteral("повторная отправка может зарегистрировать его в КВБ "
                                        "дважды."));
}

} // namespace

// Fault: the gateway answers the upload minutes after the body was sent.
TEST_F(GatewayFaults, ALateUploadAnswerIsAwaitedAndTheReportFiled) {
    frontend.stepMs = 65000; // past the 120 s silence limit in two paintings
    frontend.seenOn = awaitingAnswerText(130);
    gateways.gate.on("POST", "/uploadfile",
                     answerOnceSeen(frontend.seen, ScriptedResponse::ok(identifierPage(kId))));
    EXPECT_EQ(submit(), kId);
    EXPECT_TRUE(frontend.progress.contains(awaitingAnswerText(65)));
    EXPECT_TRUE(frontend.progress.contains(awaitingAnswerText(130)));
    EXPECT_TRUE(QFileInfo::exists(reportFolder() + QStringLiteral("/rep.er7")));
}

// Fault: the connection ends, or the person cancels, after the whole body went out.
TEST_F(GatewayFaults, AnUploadLostAfterItsBodySaysTheReportMayHaveArrived) {
    gateways.gate.on("POST", "/uploadfile", hangUp());
    EXPECT_FALSE(submit());
    EXPECT_TRUE(saysMayHaveArrived(said)) << said.toStdString();

    // The first may have arrived: the person, asked, sends it again.
    frontend.sendAgain = true;
    frontend.stepMs = 1000;
    frontend.cancelOn = awaitingAnswerText(2);
    frontend.seenOn = awaitingAnswerText(3600); // never: the server holds its answer
    gateways.gate.on("POST", "/uploadfile",
                     answerOnceSeen(frontend.seen, ScriptedResponse::ok(identifierPage(kId))));
    EXPECT_FALSE(submit());
    frontend.seen = true;
    EXPECT_EQ(said, mayHaveArrivedText(cancelledText()));
    EXPECT_FALSE(QDir(reportFolder()).exists());
    EXPECT_EQ(frontend.cancellable.last(), false);
}

// Fault: answers without end, too large for memory.
TEST_F(GatewayFaults, AnswersAreReadOnlyUpToTheirLimits) {
    gateways.gate.on("GET", "/big", ScriptedResponse::ok(QByteArray(kMaxPageBytes + 1, 'x')));
    const Result<QByteArray> big = http.HttpGetToString(gateways.gate.url(QStringLiteral("/big")));
    EXPECT_EQ(big.text(), QStringLiteral("Ответ сервера больше 16 МБ; прием прекращен."));
    EXPECT_EQ(big.kind(), ErrorKind::Stopped);

    gateways.gate.on("POST", "/uploadfile",
                     ScriptedResponse::ok(QByteArray(kMaxUploadAnswerBytes + 1, 'x')));
    MultipartForm form;
    form.addFile("filein", input.outputFile, "rep.er7");
    const Result<QByteArray> answer = http.HttpPostMultipart(uploadUrl(), form);
    ASSERT_FALSE(answer);
    EXPECT_EQ(answer.text(),
              mayHaveArrivedText(QStringLiteral("Ответ сервера больше 1 МБ; прием прекращен.")));
}

// Fault: a download that keeps the connection but never ends, or that the person cancels.
TEST_F(GatewayFaults, DownloadsEndAtTheTimeLimitOrWhenCancelled) {
    gateways.gate.on("GET", "/drip", stalling());
    http.setStallTimeoutSeconds(3600); // only the total limit can end it
    frontend.stepMs = 150000;
    const QString overTime =
        QStringLiteral("Загрузка идет слишком медленно (меньше 1 КБ/с после первых 300 с) и "
                       "прервана.");
    EXPECT_EQ(http.Download(gateways.gate.url(QStringLiteral("/drip"))).text(), overTime);

    frontend.stepMs = 0;
    frontend.cancelAfterPaints = frontend.processed + 1;
    EXPECT_EQ(http.Download(gateways.gate.url(QStringLiteral("/drip"))).text(), cancelledText());
    EXPECT_EQ(frontend.cancellable, QList<bool>({true, false, true, false}));
}

// Fault: a 200 answer to the receipt request that is not a receipt.
TEST_F(GatewayFaults, ABadReceiptIsKeptAsideAndAskedForAgain) {
    QFile vector(QStringLiteral(TELVA_GOST_VECTORS "/rfc4490-signed.der"));
    ASSERT_TRUE(vector.open(QIODevice::ReadOnly));
    const QByteArray good = vector.readAll();
    QDir().mkpath(reportFolder());
    const QByteArray bad[] = {QByteArray(), "<html><body>Сервис недоступен</body></html>",
                              good.left(good.size() - 7), good + "tail"};
    for (const QByteArray& bytes : bad) {
        serveReceipt(bytes);
        const RefreshOutcome out = refresh(processingRow());
        EXPECT_FALSE(out.newState) << bytes.toStdString();
        EXPECT_TRUE(out.receiptToCheck.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(receiptFile()));
        EXPECT_EQ(readFileBytes(receiptFile() + ".bad"), bytes);
        EXPECT_EQ(said, badReceiptText(receiptFile() + ".bad"));
    }
    // A whole message that is no receipt of this workstation fails its check: kept aside too.
    serveReceipt(good);
    const RefreshOutcome out = refresh(processingRow());
    EXPECT_FALSE(out.newState);
    EXPECT_EQ(readFileBytes(receiptFile() + ".bad"), good);
    EXPECT_EQ(QDir(reportFolder()).entryList(QDir::Files), QStringList({kId + ".p7e.bad"}));
}

// Fault: an identifier with bytes that would end or split the query.
TEST_F(GatewayFaults, TheIdentifierReachesTheGatewayWhole) {
    const QString id = QStringLiteral("AB#1-CD?2-E&F3;4+5%6");
    gateways.gate.onOther([](const RecordedRequest&) { return ScriptedResponse::ok("wait"); });
    ReportRow row = processingRow();
    row.cells[ColReportId] = id;
    QDir().mkpath(ctx.archiveBaseFolder + QStringLiteral("/ARC/") + id);
    refresh(row);
    ASSERT_EQ(gateways.gate.requestCount(), 1);
    EXPECT_EQ(gateways.gate.request(0).target,
              QByteArray("/kvb/statusreport?id=AB%231-CD?2-E%26F3%3B4%2B5%256"));
    EXPECT_EQ(receiptAddress(ctx.settings, false, row.listCode(), kId),
              gateways.gate.url(QStringLiteral("/invoice?id=")) + kId);
}
