#include "app/settings.h"
#include "cli_runner.h"
#include "operations/receipt_check.h"
#include "receipt_maker.h"
#include "temp_profile.h"
#include "test_pki.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

namespace {

const QByteArray kPage =
    "<html><body><p>\xCA\xE2\xE8\xF2\xE0\xED\xF6\xE8\xFF 7701</p></body></html>";

// The standard certificates installed and a receipt for "7701" from the fund, encrypted for
// the personal certificate.
struct Written {
    QString path;
    QByteArray zip;
};
Written writeReceipt(TempProfile& profile) {
    Settings settings;
    installStandard(settings);
    const TestPki& pki = TestPki::instance();
    const QByteArray zip = makeReceiptArchive(profile.root(), "7701", kPage, "<R7REPORT/>");
    return {profile.writeFile("in/7701.p7e",
                              makeReceipt(profile.root(), zip, pki.fundAp, pki.personal, false)),
            zip};
}

} // namespace

TEST(CliReceipt, ChecksWritesArchiveAndPage) {
    TempProfile profile;
    const auto [receipt, zip] = writeReceipt(profile);
    const TestPki& pki = TestPki::instance();

    const QString html = profile.root() + "/page.htm";
    const CliRun ok = runCliInProcess({"check-receipt", receipt, "--html", html});
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    EXPECT_TRUE(ok.out.isEmpty()) << ok.out.toStdString();
    EXPECT_TRUE(ok.err.isEmpty()) << ok.err.toStdString();
    EXPECT_EQ(readFileBytes(profile.root() + "/in/7701.zip"), zip);
    EXPECT_EQ(readFileBytes(html), kPage);

    // Not a receipt for this workstation: the status text and exit status 1.
    const QString foreign =
        profile.writeFile("in/7702.p7e", makeReceipt(profile.root(), zip, pki.fundAp, pki.twoOu));
    const CliRun failed = runCliInProcess({"check-receipt", foreign});
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(failed.out.isEmpty());
    EXPECT_TRUE(failed.err.startsWith(QStringLiteral("Ошибка при дешифровании (")))
        << failed.err.toStdString();
    EXPECT_FALSE(QFile::exists(profile.root() + "/in/7702.zip"));

    // A damaged archive inside: the reader's text, exit status 1.
    const QString cut =
        profile.writeFile("in/7703.p7e", makeReceipt(profile.root(), zip.left(zip.size() - 4),
                                                     pki.fundAp, pki.personal));
    const CliRun damaged = runCliInProcess({"check-receipt", cut});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.err, QStringLiteral("Incomplete Zip File\n"));

    EXPECT_EQ(runCliInProcess({"check-receipt"}).status, 2);
}

// A receipt named like its own archive ("7701.p7e.zip") is refused and left as it was.
TEST(CliReceipt, NeverWritesTheArchiveOverTheReceipt) {
    TempProfile profile;
    const Written written = writeReceipt(profile);
    const QString named = profile.root() + "/in/7701.p7e.zip";
    ASSERT_TRUE(QFile::rename(written.path, named));
    const QByteArray bytes = readFileBytes(named);
    const CliRun run = runCliInProcess({"check-receipt", named});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, crypto::derivedOverSourceText(named, named) + '\n');
    EXPECT_EQ(readFileBytes(named), bytes);
}

// The built program, which starts with no screen: the page and who signed it, in a PDF.
TEST(CliReceipt, WritesThePageAsPdfWithTheSigner) {
    TempProfile profile;
    const QString receipt = writeReceipt(profile).path;
    const QString pdf = profile.root() + "/out.pdf";
    QByteArray output;
    ASSERT_EQ(runProgram(QStringLiteral(TELVA_BINARY_DIR "/telva-cli"),
                         {"check-receipt", receipt, "--pdf", pdf}, {}, &output),
              0)
        << output.constData();
    QByteArray text;
    ASSERT_EQ(runProgram("pdftotext", {pdf, "-"}, {}, &text), 0);
    const QString plain = QString::fromUtf8(text).simplified();
    for (const QString& expected :
         {QStringLiteral("Квитанция 7701"), QStringLiteral("Уполномоченное лицо КВБ РФ"),
          QStringLiteral("Серийный номер сертификата: 00A1B2C3"),
          QStringLiteral("Подпись проверена")})
        EXPECT_TRUE(plain.contains(expected)) << expected.toStdString() << "\n"
                                              << plain.toStdString();
}
