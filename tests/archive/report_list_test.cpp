#include "app/cp1251.h"
#include "archive/report_archive.h"
#include "archive/report_list.h"

#include "temp_profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace telva;
using telva::test::TempProfile;

namespace {

const QString kId = QStringLiteral("1234-5678-90AB");

class SentReports : public ::testing::Test {
protected:
    TempProfile profile;
    QString base = profile.root() + QStringLiteral("/base");

    QString put(const QString& relative, const QByteArray& bytes = "x") {
        return profile.writeFile(QStringLiteral("base/ARC/") + relative, bytes);
    }
    ReportList list() { return FillReportList(base, QStringLiteral("xml"), QStringLiteral("p7e")); }
};

} // namespace

TEST_F(SentReports, MissingOrEmptyArchiveGivesOneEmptyRow) {
    ReportList rows = list();
    ASSERT_EQ(rows.size(), 1u);
    for (const QString& cell : rows[0].cells)
        EXPECT_TRUE(cell.isEmpty());
    QDir().mkpath(base + QStringLiteral("/ARC"));
    rows = list();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].id().isEmpty());
}

TEST_F(SentReports, RowIsDerivedFromTheFilesOfTheFolder) {
    put(kId + QStringLiteral("/rep.xml"));
    put(kId + QStringLiteral("/rep.er7"));
    const QString inf = put(kId + QLatin1Char('/') + kId + QStringLiteral(".inf"),
                            toCp1251(QStringLiteral("ООО Ромашка\n")));

    const ReportList rows = list();
    ASSERT_EQ(rows.size(), 1u);
    const QFileInfo info(inf);
    const QDateTime created = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
    EXPECT_EQ(rows[0].cells[ColReportId], kId);
    EXPECT_EQ(rows[0].cells[ColSourceFile], QStringLiteral("rep.xml"));
    EXPECT_EQ(rows[0].cells[ColOrganisation], QStringLiteral("ООО Ромашка\n")); // taken whole
    EXPECT_EQ(rows[0].cells[ColSendDate], formatSendDate(created));
    EXPECT_EQ(rows[0].cells[ColState], QStringLiteral("Обрабатывается."));
    EXPECT_EQ(rows[0].cells[ColListCode], QStringLiteral("Р7"));
}

TEST_F(SentReports, ReceiptOrErrorFileSetsTheState) {
    put(QStringLiteral("1111-2222-a/a.e7a"));
    put(QStringLiteral("1111-2222-a/1111-2222-a.p7e"));
    put(QStringLiteral("1111-2222-b/b.esl"));
    put(QStringLiteral("1111-2222-b/1111-2222-b.err"));
    put(QStringLiteral("1111-2222-c/1111-2222-c.err"));
    put(QStringLiteral("1111-2222-c/1111-2222-c.p7e"));
    put(QStringLiteral("1111-2222-d/1111-2222-d.P7E"));

    const ReportList rows = list();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].state(), QStringLiteral("Успешно обработан."));
    EXPECT_EQ(rows[0].listCode(), QStringLiteral("Р7А"));
    EXPECT_EQ(rows[1].state(), QStringLiteral("Обнаружены ошибки."));
    EXPECT_EQ(rows[1].listCode(), QStringLiteral("РП"));
    // Files are taken in name order, the later one wins.
    EXPECT_EQ(rows[2].state(), QStringLiteral("Успешно обработан."));
    // Extensions are compared case-sensitively.
    EXPECT_EQ(rows[3].state(), QStringLiteral("Обрабатывается."));
}

TEST_F(SentReports, ExtensionsAreExactAndTheLastFileWins) {
    put(kId + QStringLiteral("/REP.XML"));
    put(kId + QStringLiteral("/rep.xml.bak"));
    ReportList rows = list();
    EXPECT_TRUE(rows[0].cells[ColSourceFile].isEmpty());
    EXPECT_TRUE(rows[0].cells[ColSendDate].isEmpty());

    put(kId + QStringLiteral("/a.xml"));
    put(kId + QLatin1Char('/') + kId + QStringLiteral(".xml"));
    rows = list();
    EXPECT_EQ(rows[0].cells[ColSourceFile], QStringLiteral("a.xml"));
}

TEST_F(SentReports, EveryFolderMakesARowButLinksAndFilesDoNot) {
    put(QStringLiteral("plain-file.xml"));
    put(QStringLiteral(".hidden-1234/x.xml"));
    put(QStringLiteral("bbbb-2222-x/x.xml"));
    put(QStringLiteral("aaaa-1111-x/x.xml"));
    const QString outside = profile.writeFile(QStringLiteral("elsewhere/secret.xml"), "x");
    ASSERT_EQ(symlink(QFile::encodeName(QFileInfo(outside).absolutePath()).constData(),
                      QFile::encodeName(base + QStringLiteral("/ARC/link-1234-x")).constData()),
              0);

    const ReportList rows = list();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id(), QStringLiteral(".hidden-1234"));
    EXPECT_EQ(rows[1].id(), QStringLiteral("aaaa-1111-x"));
    EXPECT_EQ(rows[2].id(), QStringLiteral("bbbb-2222-x"));
}

TEST_F(SentReports, ShortenedFolderTakesItsIdentifierOnlyWhenItNamesThatFolder) {
    const QString id = QStringLiteral("7701-0001-") + QString(118, QChar(0x416));
    const QString name = reportFolderName(id);
    ASSERT_NE(name, id);
    put(name + QLatin1Char('/') + reportIdFileName(name), id.toUtf8());
    // Another folder's identifier file cannot claim an identifier that is not its own.
    const QString other = reportFolderName(id + QLatin1Char('X'));
    put(other + QLatin1Char('/') + reportIdFileName(other), id.toUtf8());

    const ReportList rows = list();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(findReportRow(rows, id));
    EXPECT_TRUE(findReportRow(rows, other));
}

TEST(SendDate, FormatsLocalTimeAsDayMonthYearHourMinute) {
    const QDateTime local(QDate(2012, 3, 5), QTime(14, 7, 59));
    EXPECT_EQ(formatSendDate(local), QStringLiteral("05-03-2012 14:07"));
    EXPECT_EQ(formatSendDate(local.toUTC()), QStringLiteral("05-03-2012 14:07"));
}

// Pairs whose texts sort the other way round; a text that is no date sorts first.
TEST(SendDate, SortKeyOrdersAsDates) {
    const struct {
        const char* earlier;
        const char* later;
    } pairs[] = {{"31-12-2026 23:59", "02-01-2027 00:00"},
                 {"15-03-2026 09:00", "01-04-2026 08:00"},
                 {"01-04-2026 08:05", "01-04-2026 08:10"},
                 {"", "01-01-1990 00:00"}};
    for (const auto& pair : pairs)
        EXPECT_LT(sendDateSortKey(QString::fromLatin1(pair.earlier)),
                  sendDateSortKey(QString::fromLatin1(pair.later)))
            << pair.earlier;
}

TEST(ReportId, PlainIdentifiersOnly) {
    EXPECT_TRUE(isPlainReportId(QStringLiteral("1234-5678-AB")));
    EXPECT_FALSE(isPlainReportId(QString()));
    EXPECT_FALSE(isPlainReportId(QStringLiteral("..")));
    EXPECT_FALSE(isPlainReportId(QStringLiteral(".")));
    EXPECT_FALSE(isPlainReportId(QStringLiteral("1234-5678/../..")));
    EXPECT_FALSE(isPlainReportId(QStringLiteral("1234-5678\\x")));
    EXPECT_FALSE(isPlainReportId(QStringLiteral("1234-5678\nx")));
    EXPECT_FALSE(isPlainReportId(QString(129, QLatin1Char('a'))));
    EXPECT_TRUE(isPlainReportId(QString(128, QLatin1Char('a'))));
}

TEST_F(SentReports, PlantedNotesAreNeverReadThrough) {
    const QString folder = base + QStringLiteral("/ARC/") + kId;
    const QString note = folder + QLatin1Char('/') + kId + QStringLiteral(".inf");
    const QString outside = profile.writeFile(QStringLiteral("elsewhere/org"), "ООО Чужая");
    const struct {
        const char* name;
        int (*plant)(const char* path, const char* outside);
    } cases[] = {
        {"link to /dev/zero", [](const char* p, const char*) { return symlink("/dev/zero", p); }},
        {"FIFO", [](const char* p, const char*) { return mkfifo(p, 0600); }},
        {"link to a file outside", [](const char* p, const char* o) { return symlink(o, p); }},
        {"note of a gigabyte",
         [](const char* p, const char*) {
             const int fd = open(p, O_CREAT | O_WRONLY, 0600);
             const int rc = ftruncate(fd, 1 << 30);
             close(fd);
             return rc;
         }},
    };
    for (const auto& c : cases) {
        put(kId + QStringLiteral("/rep.xml"));
        QFile::remove(note);
        ASSERT_EQ(
            c.plant(QFile::encodeName(note).constData(), QFile::encodeName(outside).constData()), 0)
            << c.name;
        const ReportList rows = list();
        ASSERT_EQ(rows.size(), 1u) << c.name;
        EXPECT_EQ(rows[0].cells[ColSourceFile], QStringLiteral("rep.xml")) << c.name;
        EXPECT_LE(rows[0].cells[ColOrganisation].size(), 64 * 1024) << c.name;
        EXPECT_FALSE(rows[0].cells[ColOrganisation].contains(QStringLiteral("Чужая"))) << c.name;
    }
}
