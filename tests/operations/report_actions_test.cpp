#include "operations/report_actions.h"

#include "app/context.h"
#include "archive/report_archive.h"
#include "fake_frontend.h"
#include "operations/receipt_page.h"
#include "receipt_maker.h"
#include "temp_profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace telva;
using telva::test::FakeFrontend;
using telva::test::TempProfile;

namespace {

const QString kId = QStringLiteral("1234-5678-90AB");

class ReportActions : public ::testing::Test {
protected:
    TempProfile profile;
    FakeFrontend frontend;
    AppContext ctx{frontend};

    ReportActions() { ctx.archiveBaseFolder = profile.root() + QStringLiteral("/base"); }

    QString put(const QString& relative, const QByteArray& bytes = "x") {
        return profile.writeFile(QStringLiteral("base/ARC/") + relative, bytes);
    }
    ReportRow row(const QString& id, const QString& source = QString()) {
        ReportRow r;
        r.cells[ColReportId] = id;
        r.cells[ColSourceFile] = source;
        return r;
    }
    QString arc() const { return ctx.archiveBaseFolder + QStringLiteral("/ARC"); }
    // A file where the desktop's trash belongs: there is no trash to move to.
    void noTrash() { profile.writeFile(QStringLiteral("home/.local/share/Trash"), "x"); }
};

} // namespace

TEST_F(ReportActions, DeleteMovesTheFolderToTheTrash) {
    put(kId + QStringLiteral("/rep.xml"), "report");
    put(kId + QLatin1Char('/') + kId + QStringLiteral(".inf"));
    put(QStringLiteral("other-1234-x/rep.xml"));

    const Result<QString> deleted = DeleteReport(ctx, row(kId));
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(QFileInfo::exists(arc() + QLatin1Char('/') + kId));
    EXPECT_TRUE(QFileInfo::exists(arc() + QStringLiteral("/other-1234-x/rep.xml")));
    const QString trashed = profile.dataHome() + QStringLiteral("/Trash/files/") + kId;
    EXPECT_EQ(telva::test::readFileBytes(trashed + QStringLiteral("/rep.xml")), "report");
    EXPECT_TRUE(QFileInfo::exists(profile.dataHome() + QStringLiteral("/Trash/info/") + kId +
                                  QStringLiteral(".trashinfo")));
    EXPECT_EQ(*deleted,
              QStringLiteral("Отчет ") + kId + QStringLiteral(" перемещен в корзину: ") + trashed);
    const ReportList rows = FillReportList(ctx);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].id(), QStringLiteral("other-1234-x"));
}

TEST_F(ReportActions, WithoutATrashTheFolderIsDeleted) {
    noTrash();
    put(kId + QStringLiteral("/rep.xml"));
    const Result<QString> deleted = DeleteReport(ctx, row(kId));
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(QFileInfo::exists(arc() + QLatin1Char('/') + kId));
    EXPECT_EQ(*deleted,
              QStringLiteral("Корзина недоступна, отчет ") + kId + QStringLiteral(" удален."));
}

TEST_F(ReportActions, FolderWithSubfolderKeepsTheFolderButLosesItsFiles) {
    noTrash();
    put(kId + QStringLiteral("/rep.xml"));
    put(kId + QStringLiteral("/sub/inner.txt"));

    EXPECT_EQ(DeleteReport(ctx, row(kId)).text(), QStringLiteral("Не удалось удалить отчет."));
    EXPECT_FALSE(QFileInfo::exists(arc() + QLatin1Char('/') + kId + QStringLiteral("/rep.xml")));
    EXPECT_TRUE(
        QFileInfo::exists(arc() + QLatin1Char('/') + kId + QStringLiteral("/sub/inner.txt")));
}

TEST_F(ReportActions, MissingFolderIsReported) {
    EXPECT_EQ(DeleteReport(ctx, row(kId)).text(), QStringLiteral("Не удалось удалить отчет."));
}

TEST_F(ReportActions, EmptyOrForeignIdentifierNeverTouchesTheArchive) {
    const QString loose = put(QStringLiteral("loose.txt"));
    const QString outside = profile.writeFile(QStringLiteral("base/keep.txt"), "x");

    const Result<QString> nothing = DeleteReport(ctx, row(QString()));
    EXPECT_FALSE(nothing);
    EXPECT_TRUE(nothing.text().isEmpty());
    for (const QString& hostile :
         {QStringLiteral(".."), QStringLiteral("../ARC"), QStringLiteral(".")})
        EXPECT_FALSE(DeleteReport(ctx, row(hostile)));
    EXPECT_TRUE(QFileInfo::exists(loose));
    EXPECT_TRUE(QFileInfo::exists(outside));
    EXPECT_TRUE(QFileInfo::exists(arc()));
}

TEST_F(ReportActions, LinkedReportFolderIsNotFollowed) {
    const QString target = profile.writeFile(QStringLiteral("elsewhere/precious.txt"), "x");
    QDir().mkpath(arc());
    ASSERT_EQ(symlink(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                      QFile::encodeName(arc() + QLatin1Char('/') + kId).constData()),
              0);
    EXPECT_FALSE(DeleteReport(ctx, row(kId)));
    EXPECT_TRUE(QFileInfo::exists(target));
}

TEST_F(ReportActions, ShowSourceOpensTheArchivedCopy) {
    const QString source = put(kId + QStringLiteral("/rep.xml"));
    ShowSourceFile(ctx, row(kId, QStringLiteral("rep.xml")));
    ASSERT_EQ(frontend.openedFiles.size(), 1);
    EXPECT_EQ(QFileInfo(frontend.openedFiles[0]).canonicalFilePath(),
              QFileInfo(source).canonicalFilePath());
    EXPECT_TRUE(frontend.boxes.isEmpty());

    ShowSourceFile(ctx, row(kId, QStringLiteral("gone.xml")));
    frontend.openSucceeds = false;
    ShowSourceFile(ctx, row(kId, QStringLiteral("rep.xml")));
    ASSERT_EQ(frontend.boxes.size(), 2);
    EXPECT_EQ(frontend.boxes[0].text, QStringLiteral("Файл не найден."));
    EXPECT_EQ(frontend.boxes[1].text, QStringLiteral("Файл не найден."));
}

TEST_F(ReportActions, AcceptedReportNeedsTheReceiptArchiveOrTheView) {
    put(kId + QStringLiteral("/rep.xml"));
    EXPECT_FALSE(CanShowAcceptedReport(ctx, row(QString())));
    EXPECT_FALSE(CanShowAcceptedReport(ctx, row(kId)));
    const QString zip = put(kId + QLatin1Char('/') + kId + QStringLiteral(".zip"));
    EXPECT_TRUE(CanShowAcceptedReport(ctx, row(kId)));
    QFile::remove(zip);
    put(kId + QLatin1Char('/') + kId + QStringLiteral(".xml"));
    EXPECT_TRUE(CanShowAcceptedReport(ctx, row(kId)));
}

TEST_F(ReportActions, AcceptedReportViewIsBuiltOnceAndOpened) {
    const QByteArray accepted = "signed-prefix<R7REPORT><ORG>Ромашка</ORG></R7REPORT>signed-tail";
    const QByteArray zip =
        telva::test::makeReceiptArchive(profile.root(), kId, "<html/>", accepted);
    ASSERT_FALSE(zip.isEmpty());
    put(kId + QLatin1Char('/') + kId + QStringLiteral(".zip"), zip);
    const QString view =
        arc() + QLatin1Char('/') + kId + QLatin1Char('/') + kId + QStringLiteral(".xml");

    EXPECT_TRUE(ShowAcceptedReport(ctx, row(kId)));
    EXPECT_EQ(frontend.openedFiles, QStringList{view});
    const QByteArray built = telva::test::readFileBytes(view);
    EXPECT_TRUE(built.startsWith("<?xml version=\"1.0\" encoding=\"windows-1251\"?>"));
    EXPECT_TRUE(built.endsWith("<R7REPORT><ORG>Ромашка</ORG></R7REPORT>"));

    // An existing view is opened as it is.
    put(kId + QLatin1Char('/') + kId + QStringLiteral(".xml"), "edited");
    EXPECT_TRUE(ShowAcceptedReport(ctx, row(kId)));
    EXPECT_EQ(telva::test::readFileBytes(view), QByteArray("edited"));
}

TEST_F(ReportActions, ShortenedFolderFindsItsEntriesByTheWholeIdentifier) {
    const QString id = QStringLiteral("7701-0001-") + QString(118, QChar(0x416));
    const QString name = reportFolderName(id);
    put(name + QLatin1Char('/') + reportIdFileName(name), id.toUtf8());
    const QByteArray zip =
        telva::test::makeReceiptArchive(profile.root(), id, "<html/>", "<R7REPORT>r</R7REPORT>");
    ASSERT_FALSE(zip.isEmpty());
    put(name + QLatin1Char('/') + name + QStringLiteral(".zip"), zip);

    EXPECT_TRUE(ShowAcceptedReport(ctx, row(id)));
    EXPECT_TRUE(telva::test::readFileBytes(reportFileStem(ctx, id) + QStringLiteral(".xml"))
                    .endsWith("<R7REPORT>r</R7REPORT>"));
    EXPECT_EQ(crypto::receiptPageEntryName(reportFileStem(ctx, id) + QStringLiteral(".p7e")),
              id + QStringLiteral(".htm"));
}

TEST_F(ReportActions, AcceptedReportWithoutReceiptArchiveOpensNothing) {
    put(kId + QStringLiteral("/rep.xml"));
    EXPECT_FALSE(ShowAcceptedReport(ctx, row(kId)));
    EXPECT_FALSE(ShowAcceptedReport(ctx, row(QString())));
    EXPECT_TRUE(frontend.openedFiles.isEmpty());
}
