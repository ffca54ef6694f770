#include "operations/receipt_page.h"

#include "app/context.h"
#include "app/texts.h"
#include "fake_frontend.h"
#include "receipt_maker.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::crypto;
using namespace telva::test;

namespace {

const QByteArray kPrologue =
    "<?xml version=\"1.0\" encoding=\"windows-1251\"?><?xml-stylesheet type='text/xsl' "
    "href='http://style.kvb.test:8080/template/2010/6/r7form.xsl'?><?R7FORM version=\"0.1\"?>";
// The report in code page 1251, as the accounting program writes it.
const QByteArray kReport = "<R7REPORT><ORG>\xCE\xCE\xCE \xD0\xEE\xEC\xE0\xF8\xEA\xE0</ORG>\n"
                           "<SUM>100</SUM></R7REPORT>";

class AcceptedReport : public ::testing::Test {
protected:
    TempProfile profile;
    FakeFrontend frontend;
    AppContext ctx{frontend};

    void SetUp() override { ctx.settings.hosts.style = QStringLiteral("style.kvb.test:8080"); }

    QString archiveWith(const QList<QPair<QString, QByteArray>>& files) {
        return profile.writeFile("ARC/7701/7701.zip", makeZipWithInfoZip(profile.root(), files));
    }
};

} // namespace

TEST(ReceiptNames, ExtensionsAndEntries) {
    EXPECT_EQ(withExtension("/a/123.p7e", ".zip"), QStringLiteral("/a/123.zip"));
    EXPECT_EQ(withExtension("/a.b/123", ".zip"), QStringLiteral("/a.b/123.zip"));
    EXPECT_EQ(withExtension("/a/123.tar.p7e", ".zip"), QStringLiteral("/a/123.tar.zip"));
    EXPECT_EQ(receiptArchivePath("/a/123.p7e"), QStringLiteral("/a/123.zip"));
    EXPECT_EQ(receiptPageEntryName("/a.b/7701.p7e"), QStringLiteral("7701.htm"));
    EXPECT_EQ(receiptPageEntryName("7701"), QStringLiteral("7701.htm"));
    EXPECT_EQ(acceptedReportEntryName("/x/ARC/7701/7701.zip"), QStringLiteral("7701.p7m"));
}

TEST(ReceiptPageText, CodePage1251UnlessThePageSaysOtherwise) {
    EXPECT_EQ(decodeReceiptPage("<p>\xCA\xE2\xE8\xF2\xE0\xED\xF6\xE8\xFF</p>"),
              QStringLiteral("<p>Квитанция</p>"));
    const QByteArray utf8 = QStringLiteral("<meta charset=\"utf-8\"><p>Квитанция</p>").toUtf8();
    EXPECT_EQ(decodeReceiptPage(utf8), QString::fromUtf8(utf8));
    EXPECT_EQ(decodeReceiptPage("\xEF\xBB\xBF" + QStringLiteral("<p>Квитанция</p>").toUtf8()),
              QStringLiteral("<p>Квитанция</p>"));
}

TEST(AcceptedReportViewText, PrologueThenTheReportElementExactly) {
    const Result<QByteArray> view =
        acceptedReportView("junk</R7REPORT>" + kReport + "\r\nsignature</R7REPORT>",
                           QStringLiteral("style.kvb.test:8080"));
    ASSERT_TRUE(view.ok());
    EXPECT_EQ(*view, kPrologue + kReport);
    EXPECT_FALSE(acceptedReportView("<R7REPORT> no end", "h").ok());
    EXPECT_FALSE(acceptedReportView("</R7REPORT><R7REPORT>", "h").ok());
    EXPECT_FALSE(acceptedReportView("", "h").ok());
}

TEST_F(AcceptedReport, BuiltFromTheSignedReportInTheArchive) {
    const TestPki& pki = TestPki::instance();
    const PkiFiles personal = writePkiFiles(pki.personal, profile.root() + "/pki", "personal");
    const QByteArray p7m = opensslSign(profile.root(), "<?xml version=\"1.0\"?>\r\n" + kReport,
                                       personal.certPem, personal.keyPem, true);
    ASSERT_FALSE(p7m.isEmpty());
    const QString zip = archiveWith({{"7701.htm", "<p/>"}, {"docs/7701.P7M", p7m}});
    ASSERT_TRUE(BuildAcceptedReportView(ctx, zip).ok());
    EXPECT_EQ(readFileBytes(profile.root() + "/ARC/7701/7701.xml"), kPrologue + kReport);
    EXPECT_TRUE(frontend.statuses.isEmpty());
}

TEST_F(AcceptedReport, RefusedWithoutTheReport) {
    const QString xml = profile.root() + "/ARC/7701/7701.xml";
    const QString noEntry = archiveWith({{"7701.htm", "<p/>"}});
    EXPECT_FALSE(BuildAcceptedReportView(ctx, noEntry).ok());
    EXPECT_EQ(frontend.lastStatus(),
              QStringLiteral("Принятый отчет 7701.p7m не найден в архиве \"%1\".").arg(noEntry));
    EXPECT_FALSE(QFile::exists(xml));

    const QString noMarkers = archiveWith({{"7701.p7m", "<R7AREPORT/>"}});
    EXPECT_FALSE(BuildAcceptedReportView(ctx, noMarkers).ok());
    EXPECT_EQ(frontend.lastStatus(),
              QStringLiteral("Принятый отчет 7701.p7m не содержит элемента R7REPORT, архив \"%1\".")
                  .arg(noMarkers));
    EXPECT_FALSE(QFile::exists(xml));

    const QString damaged = profile.writeFile("ARC/7701/7701.zip", "PK\x03\x04 cut");
    EXPECT_FALSE(BuildAcceptedReportView(ctx, damaged).ok());
    EXPECT_EQ(frontend.errors, QStringList{QStringLiteral("Incomplete Zip File")});
    EXPECT_FALSE(QFile::exists(xml));
}

TEST_F(AcceptedReport, XmlThatCannotBeCreated) {
    const QString zip = archiveWith({{"7701.p7m", kReport}});
    const QString xml = profile.root() + "/ARC/7701/7701.xml";
    ASSERT_TRUE(QDir().mkpath(xml)); // a folder in the way
    EXPECT_FALSE(BuildAcceptedReportView(ctx, zip).ok());
    EXPECT_EQ(frontend.lastStatus(), openErrorText(xml));
}
