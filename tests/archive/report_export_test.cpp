#include "archive/report_archive.h"
#include "archive/report_export.h"
#include "archive/zip_reader.h"
#include "receipt_maker.h"
#include "temp_profile.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace telva;
using namespace telva::test;

// The chosen folders, whole and nothing else, as Info-ZIP's unzip reads them; contents
// larger than one piece, empty ones and Cyrillic names come back as they were.
TEST(ReportExport, ChosenFoldersGoIntoOneZipThatUnzipReads) {
    TempProfile profile;
    const QString base = profile.root() + "/base";
    QByteArray large(600 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(large.data()), large.size() / 4);
    const struct {
        const char* id;
        const char* file;
        QByteArray bytes;
    } files[] = {{"7701-1", "7701-1.er7", large},
                 {"7701-1", "квартал 1.xml", QByteArray("<R7/>").repeated(1000)},
                 {"7701-1", "7701-1.p7e", QByteArray()},
                 {"7701-2", "7701-2.er7", "x"},
                 {"7701-3", "7701-3.er7", "not chosen"}};
    for (const auto& f : files)
        profile.writeFile(QStringLiteral("base/ARC/%1/%2").arg(f.id, QString::fromUtf8(f.file)),
                          f.bytes);
    QFile::link(profile.root() + "/base/ARC/7701-3/7701-3.er7",
                profile.root() + "/base/ARC/7701-2/link.er7");

    const QString zip = profile.root() + "/export.zip";
    ASSERT_TRUE(exportReports(base, {"7701-1", "7701-2", "../7701-3"}, zip));
    QByteArray listing;
    ASSERT_EQ(runProgram("unzip", {"-Z1", zip}, {}, &listing), 0) << listing.constData();
    EXPECT_EQ(QString::fromUtf8(listing).split('\n', Qt::SkipEmptyParts),
              QStringList({"7701-1/7701-1.er7", "7701-1/7701-1.p7e", "7701-1/квартал 1.xml",
                           "7701-2/7701-2.er7"}));
    QByteArray tested;
    EXPECT_EQ(runProgram("unzip", {"-t", zip}, {}, &tested), 0) << tested.constData();
    for (const auto& f : files) {
        if (QByteArray(f.id) == "7701-3")
            continue;
        const Result<QByteArray> back = ExtractEntry(zip, QString::fromUtf8(f.file));
        ASSERT_TRUE(back) << f.file;
        EXPECT_EQ(*back, f.bytes) << f.file;
    }
}
