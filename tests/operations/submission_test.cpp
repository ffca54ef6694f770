#include "operations/submission.h"

#include "app/context.h"
#include "app/cp1251.h"
#include "archive/report_archive.h"
#include "archive/report_list.h"
#include "archive/sent_log.h"
#include "fake_clock.h"
#include "fake_frontend.h"
#include "gateway/http_client.h"
#include "operations/report_status.h"
#include "operations/send_recovery.h"
#include "report_road_support.h"
#include "temp_profile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace telva;
using namespace telva::test;

namespace {

QByteArray identifierPage(const QByteArray& id) {
    return "<html><body><p>Отчет принят</p><span id=\"identifier\" style=\"font-family: "
           "Tahoma\">" +
           id + "</span></body></html>";
}

QByteArray errorPage(const QByteArray& utf8Text) {
    return "<html><body><span id=\"error\">" + utf8Text + "</span></body></html>";
}

} // namespace

TEST(UploadAnswer, IdentifierIsCutAfterTheTahomaMarker) {
    UploadAnswer a = parseUploadAnswer(identifierPage("7701-0001-000123"));
    EXPECT_EQ(a.kind, UploadAnswer::Identifier);
    EXPECT_EQ(a.text, QByteArray("7701-0001-000123"));

    // Without the marker the rest of the opening tag stays in front.
    a = parseUploadAnswer("<span id=\"identifier\" class=\"x\">7701-0001-000123</span>");
    EXPECT_EQ(a.kind, UploadAnswer::Identifier);
    EXPECT_EQ(a.text, QByteArray(" class=\"x\">7701-0001-000123"));

    // Both spans: the identifier wins.
    a = parseUploadAnswer(errorPage("Ошибка") + identifierPage("7701-0001-000123"));
    EXPECT_EQ(a.kind, UploadAnswer::Identifier);
    EXPECT_EQ(a.text, QByteArray("7701-0001-000123"));
}

TEST(UploadAnswer, ErrorTextIsConvertedFromUtf8) {
    UploadAnswer a = parseUploadAnswer(errorPage("Файл не расшифрован €"));
    EXPECT_EQ(a.kind, UploadAnswer::Error);
    EXPECT_EQ(a.text, toCp1251(QStringLiteral("Файл не расшифрован €")));

    a = parseUploadAnswer(errorPage(toCp1251(QStringLiteral("Файл не расшифрован"))));
    EXPECT_EQ(a.kind, UploadAnswer::Error);
    EXPECT_TRUE(a.text.isEmpty());

    // Only the one character after the marker is skipped; the rest of the tag stays.
    a = parseUploadAnswer("<span id=\"error\" class=\"e\">Ошибка</span>");
    EXPECT_EQ(a.text, toCp1251(QStringLiteral("class=\"e\">Ошибка")));
}

TEST(UploadAnswer, PagesWithoutTheSpansAreUnrecognised) {
    EXPECT_EQ(parseUploadAnswer("").kind, UploadAnswer::Unrecognised);
    EXPECT_EQ(parseUploadAnswer("<span id=\"identifier\"></span>").kind,
              UploadAnswer::Unrecognised);
    EXPECT_EQ(parseUploadAnswer("<span id=\"identifier\">a<b>c</span>").kind,
              UploadAnswer::Unrecognised);
    EXPECT_EQ(parseUploadAnswer("<SPAN id=\"error\">x</SPAN>").kind, UploadAnswer::Unrecognised);
}

TEST(ReportIdentifier, FormAndSafety) {
    EXPECT_TRUE(isAcceptedReportId(QStringLiteral("7701-0001-")));
    EXPECT_TRUE(isAcceptedReportId(QStringLiteral("abcd-efgh-ijk lmn")));
    EXPECT_FALSE(isAcceptedReportId(QStringLiteral("7701-0001")));
    EXPECT_FALSE(isAcceptedReportId(QStringLiteral("77010-001-123")));
    EXPECT_FALSE(isAcceptedReportId(QStringLiteral(">7701-0001-123")));
    EXPECT_FALSE(isAcceptedReportId(QStringLiteral("7701-0001-/../../../x")));
    EXPECT_FALSE(isAcceptedReportId(QStringLiteral("7701-0001-..")));
    EXPECT_FALSE(isAcceptedReportId(QStringLiteral("7701-0001-\\x")));
    EXPECT_FALSE(isAcceptedReportId(QStringLiteral("7701-0001-\tx")));
    EXPECT_FALSE(isAcceptedReportId(QStringLiteral("7701-0001-") + QString(119, QLatin1Char('x'))));
    EXPECT_TRUE(isAcceptedReportId(QStringLiteral("7701-0001-") + QString(118, QLatin1Char('x'))));
}

TEST(UploadAddress, TheFileKindAndTestModePickTheGateway) {
    Settings s;
    s.hosts.gate = QStringLiteral("g:81");
    s.hosts.docGate = QStringLiteral("d");
    s.hosts.testGate = QStringLiteral("t");
    // A kind left from another report (a batch of e7a files) never redirects an er7 report.
    s.encExt = QStringLiteral("e7a");
    const struct {
        const char* file;
        bool testMode;
        const char* address;
    } cases[] = {
        {"/r/a.er7", false, "http://g:81/uploadfile"}, {"/r/a.er7", true, "http://t/uploadfile"},
        {"/r/a.e7a", false, "http://d/uploadfile"},    {"/r/a.e7a", true, "http://d/uploadfile"},
        {"/r/a.ER7", true, "http://d/uploadfile"},     {"/r/a.bin", false, "http://d/uploadfile"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(uploadAddress(s, c.testMode, QString::fromUtf8(c.file)),
                  QString::fromUtf8(c.address))
            << c.file << " test=" << c.testMode;
}

namespace {

class Submission : public ::testing::Test {
protected:
    TempProfile profile;
    FakeFrontend frontend;
    ManualClock clock{QDateTime(QDate(2026, 3, 5), QTime(14, 7))};
    AppContext ctx{frontend, clock};
    Gateways gateways;
    HttpClient http{ctx};
    SubmitInput input;

    Submission() {
        ctx.archiveBaseFolder = profile.root() + QStringLiteral("/base");
        gateways.pointAt(ctx.settings);
        input.inputFile = profile.writeFile(QStringLiteral("work/rep.xml"), "<R7REPORT/>");
        input.outputFile = profile.writeFile(QStringLiteral("work/rep.er7"), "\x30\x82 cms");
        input.organisation = QStringLiteral("ООО Ромашка");
        // These tests send one file many times; the guard against that has its own test.
        frontend.sendAgain = true;
    }
    QString folder(const QString& id) const {
        return ctx.archiveBaseFolder + QStringLiteral("/ARC/") + id;
    }
    // Submits and keeps the outcome's text; the identifier when the report was sent.
    std::optional<QString> submit() {
        const Result<SentReport> sent = SubmitReport(ctx, http, input);
        said = sent ? sent->text : sent.text();
        return sent ? std::optional<QString>(sent->id) : std::nullopt;
    }
    QString said;
    // Every file below the profile's root, relative to it.
    QStringList allFiles() const {
        QStringList files;
        QDirIterator it(profile.root(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        // The journal records every attempt; it is no file of the archive.
        while (it.hasNext())
            if (const QString path = it.next(); !path.endsWith(QLatin1String("/telva.log")))
                files.append(QDir(profile.root()).relativeFilePath(path));
        files.sort();
        return files;
    }
};

} // namespace

TEST_F(Submission, SentReportIsFiledUnderTheGatewaysIdentifier) {
    gateways.gate.on("POST", "/uploadfile",
                     ScriptedResponse::ok(identifierPage("7701-0001-000123")));

    const std::optional<QString> id = submit();
    ASSERT_TRUE(id);
    EXPECT_EQ(*id, QStringLiteral("7701-0001-000123"));
    EXPECT_EQ(said,
              QStringLiteral("Отчет успешно отправлен. Отчету присвоен номер 7701-0001-000123."));
    EXPECT_TRUE(http.followRedirects());

    ASSERT_EQ(gateways.gate.requestCount(), 1);
    const RecordedRequest request = gateways.gate.request(0);
    const QByteArray boundary = MultipartForm::boundaryFor(clock.now().addMSecs(-10000));
    const QByteArray expected = "--" + boundary +
                                "\r\nContent-Disposition: form-data; name=\"filein\"; filename=\"" +
                                input.outputFile.toUtf8() +
                                "\"\r\nContent-Type: multipart/form-data\r\n\r\n\x30\x82 cms\r\n"
                                "--" +
                                boundary +
                                "\r\nContent-Disposition: form-data; name=\"service\"\r\n\r\n2\r\n"
                                "--" +
                                boundary +
                                "\r\nContent-Disposition: form-data; name=\"inline\"\r\n\r\n1\r\n"
                                "--" +
                                boundary + "--\r\n";
    EXPECT_EQ(request.body, expected);

    const QString dir = folder(*id);
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/rep.xml")), QByteArray("<R7REPORT/>"));
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/rep.er7")), QByteArray("\x30\x82 cms"));
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/7701-0001-000123.inf")),
              toCp1251(QStringLiteral("ООО Ромашка")));
}

TEST_F(Submission, TestModeAndKindChooseTheGateway) {
    for (HttpTestServer* server : {&gateways.gate, &gateways.docGate, &gateways.testGate})
        server->on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    ctx.testMode = true;
    ASSERT_TRUE(submit());
    EXPECT_EQ(gateways.testGate.requestCount(), 1);
    input.outputFile = profile.writeFile(QStringLiteral("work/rep.esl"), "\x30\x82 cms");
    ASSERT_TRUE(submit());
    EXPECT_EQ(gateways.docGate.requestCount(), 1);
    EXPECT_EQ(gateways.gate.requestCount(), 0);
}

TEST_F(Submission, GatewayMessagesAndFailuresWriteNothing) {
    gateways.gate.on("POST", "/uploadfile",
                     ScriptedResponse::ok(errorPage("Неверный формат отчета")));
    EXPECT_FALSE(submit());
    EXPECT_EQ(said, QStringLiteral("Неверный формат отчета"));

    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok("<html>maintenance</html>"));
    EXPECT_FALSE(submit());
    EXPECT_EQ(said, noMessageOnPageText());

    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::error(500));
    EXPECT_FALSE(submit());
    EXPECT_TRUE(said.contains(QStringLiteral("500"))) << said.toStdString();

    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-001-0001")));
    EXPECT_FALSE(submit());
    EXPECT_EQ(said, QStringLiteral("???"));

    EXPECT_FALSE(QFileInfo::exists(ctx.archiveBaseFolder + QStringLiteral("/ARC")));
}

TEST_F(Submission, HostileIdentifierCannotLeadOutOfTheArchive) {
    // The bookkeeping of sends (journal, log, index) is no report of the archive.
    const auto reportFiles = [this] {
        QStringList files = allFiles();
        files.removeIf([](const QString& path) {
            return path.startsWith(QLatin1String("home/.local/state/")) ||
                   path.startsWith(QLatin1String("base/sent-index."));
        });
        return files;
    };
    const QStringList before = reportFiles();
    for (const QByteArray& id :
         {QByteArray("7701-0001-/../../../../escaped"), QByteArray("../..-0001-x"),
          QByteArray("7701-0001-\\..\\x"), QByteArray("7701-0001-\x01"),
          QByteArray("7701-0001-") + QByteArray(200, 'a')}) {
        gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage(id)));
        EXPECT_FALSE(submit());
        EXPECT_EQ(said, QStringLiteral("???")) << id.constData();
    }
    EXPECT_EQ(reportFiles(), before);
    // The answers are kept where the report can be traced from: the sent log and the list.
    const QByteArray log = readFileBytes(sentLogPath());
    EXPECT_EQ(log.count("\t???\t"), 5) << log.constData();
    EXPECT_TRUE(log.contains("7701-0001-/../../../../escaped</span>")) << log.constData();
    const ReportList rows = FillReportList(ctx);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.back().state(), stateUnconfirmed());
    EXPECT_TRUE(rows.back().detail.contains(QStringLiteral("ответ шлюза: ")))
        << rows.back().detail.toStdString();
}

// A missing encrypted file or source is named before anything goes out: a report the fund
// took without its source could not be filed.
TEST_F(Submission, MissingOutputOrSourceSendsNothing) {
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    const SubmitInput good = input;
    for (QString SubmitInput::*file : {&SubmitInput::outputFile, &SubmitInput::inputFile}) {
        input = good;
        input.*file = profile.root() + QStringLiteral("/work/missing");
        EXPECT_FALSE(submit());
        EXPECT_EQ(said, QStringLiteral("Ошибка открытия \"") + input.*file + QStringLiteral("\"."));
    }
    EXPECT_EQ(gateways.total(), 0);
}

TEST_F(Submission, UnwritableArchiveStillGivesTheIdentifierAndLogsIt) {
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    const QString log = profile.stateHome() + QStringLiteral("/KVB/TELVA/sent-reports.log");
    // A file where the archive folder belongs stops writes even for root.
    profile.writeFile(QStringLiteral("base/ARC"), "in the way");
    EXPECT_FALSE(submit());
    EXPECT_EQ(said, QStringLiteral("Ошибка при сохранении отчета. Отчет "
                                   "отправлен, ему присвоен номер 7701-0001-1; "
                                   "номер записан в файл ") +
                        log + QLatin1Char('.'));
    EXPECT_TRUE(readFileBytes(log).startsWith("05-03-2026 14:07\t7701-0001-1\t" +
                                              input.outputFile.toUtf8() + "\tR7\t"));

    // With no state folder the send could not be noted before the report leaves: it does not
    // leave.
    QFile::remove(log);
    QDir(profile.stateHome()).removeRecursively();
    profile.writeFile(QStringLiteral("home/.local/state"), "in the way");
    const int sent = gateways.gate.requestCount();
    EXPECT_FALSE(submit());
    EXPECT_TRUE(said.startsWith(QStringLiteral("Не удается открыть журнал отправки")))
        << said.toStdString();
    EXPECT_EQ(gateways.gate.requestCount(), sent);
}

TEST_F(Submission, HiddenAndOverlongIdentifiersAreFiledListedAndFound) {
    // 246 bytes in UTF-8: the report's own file names would pass 255 bytes.
    const QString overlong = QStringLiteral("7701-0001-") + QString(118, QChar(0x416));
    for (const QString& id : {QStringLiteral(".701-0001-1"), overlong}) {
        gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage(toCp1251(id))));
        ASSERT_EQ(submit(), id);
        const ReportList rows = FillReportList(ctx);
        const ReportRow* row = findReportRow(rows, id);
        ASSERT_TRUE(row);
        EXPECT_EQ(row->cells[ColOrganisation], QStringLiteral("ООО Ромашка"));

        // Refresh finds the folder through the row's identifier.
        gateways.gate.on(
            "GET", "/kvb/statusreport",
            ScriptedResponse::ok(
                (QStringLiteral("Ошибка <a href=\"/invoice?fid=") + id + "\">").toUtf8()));
        EXPECT_EQ(RefreshReportState(ctx, http, *row)->newState, stateHasErrors());
        const ReportList refreshed = FillReportList(ctx);
        ASSERT_TRUE(findReportRow(refreshed, id));
        EXPECT_EQ(findReportRow(refreshed, id)->state(), stateHasErrors());
    }
    // Identifiers alike up to the cut still get folders of their own.
    const QString twin = overlong.left(overlong.size() - 1) + QLatin1Char('X');
    EXPECT_NE(reportFolder(ctx.archiveBaseFolder, twin),
              reportFolder(ctx.archiveBaseFolder, overlong));
}

TEST_F(Submission, SameIdentifierAgainReplacesTheFiles) {
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    ASSERT_TRUE(submit());
    profile.writeFile(QStringLiteral("work/rep.er7"), "second");
    input.organisation = QStringLiteral("ИП Иванов");
    ASSERT_TRUE(submit());
    const QString dir = folder(QStringLiteral("7701-0001-1"));
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/rep.er7")), QByteArray("second"));
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/7701-0001-1.inf")),
              toCp1251(QStringLiteral("ИП Иванов")));
    EXPECT_EQ(QDir(ctx.archiveBaseFolder + QStringLiteral("/ARC"))
                  .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                  .size(),
              1);
}

TEST_F(Submission, UploadsAreSpacedByAFullTenSeconds) {
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    ASSERT_TRUE(submit()); // right after start-up
    clock.advance(3000);
    ASSERT_TRUE(submit());
    clock.advance(10000);
    ASSERT_TRUE(submit());
    EXPECT_EQ(clock.slept, 20000); // the full 10 s each time, not the remainder
}

TEST_F(Submission, ACancelledSpacingWaitSendsNothing) {
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    frontend.cancel = true; // "Отмена" while the ten seconds after start-up run
    EXPECT_FALSE(submit());
    EXPECT_EQ(said, cancelledText());
    EXPECT_EQ(gateways.total(), 0);
    frontend.cancel = false;
    EXPECT_EQ(submit(), QStringLiteral("7701-0001-1"));
}

TEST_F(Submission, FilingNeverWritesThroughLinksAndKeepsCopiesPrivate) {
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    const QString outside = profile.writeFile(QStringLiteral("outside/rep.xml"), "чужое");
    const QString dir = folder(QStringLiteral("7701-0001-1"));
    QDir().mkpath(folder(QString()));
    const auto plantLink = [](const QString& target, const QString& at) {
        return symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData());
    };

    // A report folder that is a link: nothing is filed through it.
    ASSERT_EQ(plantLink(QFileInfo(outside).absolutePath(), dir), 0);
    EXPECT_FALSE(submit());
    EXPECT_TRUE(said.startsWith(QStringLiteral("Ошибка при сохранении отчета")));
    EXPECT_EQ(QDir(QFileInfo(outside).absolutePath()).entryList(QDir::Files),
              QStringList{"rep.xml"});

    // A file planted as a link inside a real folder is replaced, not written through.
    QFile::remove(dir);
    QDir().mkpath(dir);
    ASSERT_EQ(plantLink(outside, dir + QStringLiteral("/rep.xml")), 0);
    const mode_t saved = umask(022);
    ASSERT_TRUE(submit());
    umask(saved);
    EXPECT_EQ(readFileBytes(outside), QByteArray("чужое"));
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/rep.xml")), QByteArray("<R7REPORT/>"));
    for (const QString& path :
         {dir, dir + QStringLiteral("/rep.xml"), dir + QStringLiteral("/rep.er7"),
          dir + QStringLiteral("/7701-0001-1.inf")}) {
        struct stat info {};
        ASSERT_EQ(lstat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, S_ISDIR(info.st_mode) ? 0700u : 0600u) << path.toStdString();
    }
}

TEST_F(Submission, AFileSentBeforeInThisModeIsSentAgainOnlyWhenThePersonAgrees) {
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    ASSERT_TRUE(submit());
    const QString id = QStringLiteral("7701-0001-1");
    // Rebuilt from the archive, the index takes the date the list shows.
    const QString listed = FillReportList(ctx).front().cells[ColSendDate];
    const QString index = ctx.archiveBaseFolder + QStringLiteral("/sent-index.tsv");
    const struct {
        const char* name;
        std::function<void()> change;
        bool rebuilt;
    } cases[] = {
        {"same files", [] {}, false},
        {"same source, encrypted anew",
         [&] { input.outputFile = profile.writeFile("work/new.er7", "\x30\x82 other"); }, false},
        {"same encrypted file, other source",
         [&] { input.inputFile = profile.writeFile("work/new.xml", "<R7REPORT>2</R7REPORT>"); },
         false},
        {"index lost", [&] { QFile::remove(index); }, true},
        {"index damaged", [&] { profile.writeFile("base/sent-index.tsv", "not\tan index\n"); },
         true},
    };
    frontend.sendAgain.reset();
    for (const auto& c : cases) {
        const SubmitInput kept = input;
        c.change();
        frontend.questions.clear();
        const QString question = alreadySentText(
            {c.rebuilt ? listed : formatSendDate(clock.now()), id}, input.inputFile);
        EXPECT_FALSE(submit()) << c.name;
        EXPECT_EQ(said, question) << c.name;
        ASSERT_EQ(frontend.questions.size(), 1) << c.name;
        EXPECT_EQ(frontend.questions[0].text, question);
        EXPECT_EQ(gateways.gate.requestCount(), 1) << c.name;
        input = kept;
    }
    frontend.yesNoAnswers = {true};
    EXPECT_EQ(submit(), id);
    EXPECT_EQ(gateways.gate.requestCount(), 2);
}

// Files chosen through links are sent, filed from their targets under the names chosen, and
// known again as sent.
TEST_F(Submission, ASourceChosenThroughALinkIsFiledAndCaughtAsSentBefore) {
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    const QString links = profile.root() + QStringLiteral("/links");
    QDir().mkpath(links);
    for (QString* file : {&input.inputFile, &input.outputFile}) {
        const QString link = links + QLatin1Char('/') + QFileInfo(*file).fileName();
        ASSERT_EQ(
            symlink(QFile::encodeName(*file).constData(), QFile::encodeName(link).constData()), 0);
        *file = link;
    }
    frontend.sendAgain.reset();
    EXPECT_EQ(submit(), QStringLiteral("7701-0001-1")) << said.toStdString();
    const QString dir = folder(QStringLiteral("7701-0001-1"));
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/rep.xml")), QByteArray("<R7REPORT/>"));
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/rep.er7")), QByteArray("\x30\x82 cms"));
    EXPECT_EQ(FillReportList(ctx).front().cells[ColSourceFile], QStringLiteral("rep.xml"));

    EXPECT_FALSE(submit());
    EXPECT_EQ(said, alreadySentText({formatSendDate(clock.now()), QStringLiteral("7701-0001-1")},
                                    QStringLiteral("rep.xml")));
    EXPECT_EQ(gateways.gate.requestCount(), 1);
}

TEST_F(Submission, ASendThatMayHaveArrivedIsListedAndAskedAboutBeforeItGoesAgain) {
    // The gateway's intermediary fails after the body went out: the report may be at the fund.
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::error(504));
    EXPECT_FALSE(submit());
    const ReportList listed = FillReportList(ctx);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].state(), stateUnconfirmed());
    EXPECT_EQ(listed[0].cells[ColSourceFile], QStringLiteral("rep.xml"));
    EXPECT_TRUE(listed[0].detail.contains(QStringLiteral("Проверьте на сайте КВБ")));

    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    frontend.sendAgain.reset();
    const QString question = QStringLiteral("Отчет мог быть принят шлюзом при прошлой отправке "
                                            "(05-03-2026 14:07, файл rep.er7). Отправить еще раз?");
    frontend.yesNoAnswers = {false};
    EXPECT_FALSE(submit());
    EXPECT_EQ(said, question);
    EXPECT_EQ(gateways.gate.requestCount(), 1);

    frontend.yesNoAnswers = {true};
    EXPECT_EQ(submit(), QStringLiteral("7701-0001-1"));
    EXPECT_EQ(frontend.questions.last().text, question);
    const ReportList after = FillReportList(ctx);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].id(), QStringLiteral("7701-0001-1"));
}

TEST_F(Submission, TheGuardIsRebuiltFromTheSentLogWhenTheArchiveLostTheReport) {
    // The log names the mode; the archive base folder of a mode ends in its name.
    ctx.settings.activeMode = QStringLiteral("base");
    gateways.gate.on("POST", "/uploadfile", ScriptedResponse::ok(identifierPage("7701-0001-1")));
    ASSERT_TRUE(submit());
    QDir(ctx.archiveBaseFolder).removeRecursively();
    frontend.sendAgain.reset();
    frontend.yesNoAnswers = {false};
    EXPECT_FALSE(submit());
    EXPECT_EQ(said, alreadySentText({QStringLiteral("05-03-2026 14:07"), "7701-0001-1"},
                                    input.inputFile));
    EXPECT_EQ(gateways.gate.requestCount(), 1);
}

TEST_F(Submission, AHalfFiledReportIsCompletedOnTheNextRun) {
    const QString source = input.inputFile;
    // The source goes away while the gateway answers, so the report is sent but not filed
    // whole, as if the disk had filled up there.
    gateways.gate.on("POST", "/uploadfile", [&source](const RecordedRequest&) {
        QFile::rename(source, source + QStringLiteral(".away"));
        return ScriptedResponse::ok(identifierPage("7701-0001-1"));
    });
    EXPECT_FALSE(submit());
    const QString dir = folder(QStringLiteral("7701-0001-1"));
    EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("/7701-0001-1.inf")));

    ASSERT_TRUE(QFile::rename(source + QStringLiteral(".away"), source));
    RecoverSends(ctx);
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/rep.xml")), QByteArray("<R7REPORT/>"));
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/rep.er7")), QByteArray("\x30\x82 cms"));
    EXPECT_EQ(readFileBytes(dir + QStringLiteral("/7701-0001-1.inf")),
              toCp1251(QStringLiteral("ООО Ромашка")));
    EXPECT_EQ(FillReportList(ctx).front().cells[ColSourceFile], QStringLiteral("rep.xml"));
    // Completed once: the journal has nothing left open.
    EXPECT_TRUE(readFileBytes(SendJournal::pathFor(ctx.settings.activeMode)).isEmpty());
}
