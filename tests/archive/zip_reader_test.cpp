#include "archive/zip_reader.h"

#include "app/texts.h"
#include "fake_frontend.h"
#include "operations/zip_entry.h"
#include "receipt_maker.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace telva;
using telva::test::FakeFrontend;
using telva::test::makeZipWithInfoZip;

namespace {

const QByteArray kPage = QByteArray("<html><body><p>Квитанция 7701</p>") + QByteArray(2000, 'x') +
                         QByteArray("</body></html>\n");

// Where a field of the first central directory header lies.
qsizetype centralHeader(const QByteArray& zip) {
    return zip.lastIndexOf(QByteArray("PK\x01\x02", 4));
}

void putU16(QByteArray& zip, qsizetype at, quint16 value) {
    zip[at] = char(value & 0xFF);
    zip[at + 1] = char(value >> 8);
}

void putU32(QByteArray& zip, qsizetype at, quint32 value) {
    putU16(zip, at, quint16(value & 0xFFFF));
    putU16(zip, at + 2, quint16(value >> 16));
}

class ZipReader : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeFrontend frontend;

    Result<QByteArray> extract(const QByteArray& zip, const QString& name) {
        return ExtractEntryFromBuffer(zip, name);
    }
};

} // namespace

TEST_F(ZipReader, FindsEntryByFileNameIgnoringFolderAndCase) {
    const QByteArray zip =
        makeZipWithInfoZip(dir.path(), {{"other.htm", "no"}, {"receipts/7701.HTM", kPage}});
    ASSERT_FALSE(zip.isEmpty());
    const Result<QByteArray> page = extract(zip, QStringLiteral("7701.htm"));
    ASSERT_TRUE(page.ok()) << page.text().toStdString();
    EXPECT_EQ(*page, kPage);

    // Another name finds nothing.
    const Result<QByteArray> none = extract(zip, QStringLiteral("7702.htm"));
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none->isEmpty());
    // A folder name is not a file name.
    const Result<QByteArray> folder = extract(zip, QStringLiteral("receipts"));
    ASSERT_TRUE(folder.ok());
    EXPECT_TRUE(folder->isEmpty());
}

TEST_F(ZipReader, StoredAndDeflatedEntriesGiveIdenticalBytes) {
    const QByteArray deflated = makeZipWithInfoZip(dir.path(), {{"7701.htm", kPage}}, {"-9"});
    const QByteArray stored = makeZipWithInfoZip(dir.path(), {{"7701.htm", kPage}}, {"-0"});
    ASSERT_LT(deflated.size(), stored.size()); // really compressed
    const Result<QByteArray> a = extract(deflated, QStringLiteral("7701.htm"));
    const Result<QByteArray> b = extract(stored, QStringLiteral("7701.htm"));
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(*a, kPage);
    EXPECT_EQ(*b, kPage);
}

TEST_F(ZipReader, ReadsStreamedArchiveWithZip64Records) {
    // zip writing from a pipe uses ZIP64 records and a data descriptor.
    const QString path = dir.filePath(QStringLiteral("piped.zip"));
    QByteArray output;
    ASSERT_EQ(test::runProgram(QStringLiteral("sh"),
                               {QStringLiteral("-c"),
                                QStringLiteral("printf 'streamed page' | zip -q %1 -").arg(path)},
                               {}, &output),
              0)
        << output.constData();
    const Result<QByteArray> entry = ExtractEntry(path, QStringLiteral("-"));
    ASSERT_TRUE(entry.ok()) << entry.text().toStdString();
    EXPECT_EQ(*entry, QByteArray("streamed page"));
}

TEST_F(ZipReader, CutOffDirectoryIsIncompleteZipFile) {
    const QByteArray zip = makeZipWithInfoZip(dir.path(), {{"7701.htm", kPage}});
    for (qsizetype cut :
         {qsizetype(1), qsizetype(10), qsizetype(30), zip.size() / 2, zip.size() - 1, zip.size()}) {
        const Result<QByteArray> r =
            extract(zip.left(zip.size() - cut), QStringLiteral("7701.htm"));
        ASSERT_FALSE(r.ok()) << "cut " << cut;
        EXPECT_EQ(r.text(), QStringLiteral("Incomplete Zip File")) << "cut " << cut;
    }
    // Not an archive at all.
    const Result<QByteArray> text = extract(QByteArray(500, 'a'), QStringLiteral("7701.htm"));
    EXPECT_EQ(text.text(), QStringLiteral("Incomplete Zip File"));
}

TEST_F(ZipReader, FileThatCannotBeOpenedOrIsEmpty) {
    const QString missing = dir.filePath(QStringLiteral("missing.zip"));
    const Result<QByteArray> r = ExtractEntry(missing, QStringLiteral("a.htm"));
    EXPECT_EQ(r.text(), openErrorText(missing));

    const QString empty = dir.filePath(QStringLiteral("empty.zip"));
    QFile(empty).open(QIODevice::WriteOnly);
    EXPECT_EQ(ExtractEntry(empty, QStringLiteral("a.htm")).text(),
              QStringLiteral("Incomplete Zip File"));
}

TEST_F(ZipReader, UnknownMethodShowsZipErrorBoxAndYieldsNothing) {
    QByteArray zip = makeZipWithInfoZip(dir.path(), {{"7701.htm", kPage}}, {"-0"});
    putU16(zip, 8, 99);                       // local header
    putU16(zip, centralHeader(zip) + 10, 99); // central directory
    const Result<QByteArray> unknown = extract(zip, QStringLiteral("7701.htm"));
    ASSERT_FALSE(unknown.ok());
    EXPECT_EQ(unknown.error().code, kZipUnknownMethod);
    EXPECT_TRUE(frontend.boxes.isEmpty());
    const Result<QByteArray> r = ReadZipEntry(unknown, frontend);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r->isEmpty());
    ASSERT_EQ(frontend.boxes.size(), 1);
    EXPECT_EQ(frontend.boxes[0].text, QStringLiteral("Unknown Compression Method"));
    EXPECT_EQ(frontend.boxes[0].caption, QStringLiteral("Zip Error"));

    // The legacy PKWARE methods are refused with an error instead.
    putU16(zip, centralHeader(zip) + 10, 6);
    const Result<QByteArray> legacy = extract(zip, QStringLiteral("7701.htm"));
    EXPECT_FALSE(legacy.ok());
    EXPECT_EQ(frontend.boxes.size(), 1);
}

TEST_F(ZipReader, CrcMismatchIsRefused) {
    QByteArray zip = makeZipWithInfoZip(dir.path(), {{"7701.htm", kPage}}, {"-0"});
    const qsizetype at = zip.indexOf("Квитанция");
    ASSERT_GT(at, 0);
    zip[at + 1] = char(zip[at + 1] ^ 0x01);
    const Result<QByteArray> r = extract(zip, QStringLiteral("7701.htm"));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.text().contains(QStringLiteral("Контрольная сумма"))) << r.text().toStdString();
}

TEST_F(ZipReader, ZipBombsAreRefused) {
    // 20 MB of zeros deflate about a thousandfold: no receipt looks like that.
    const QByteArray bomb =
        makeZipWithInfoZip(dir.path(), {{"7701.htm", QByteArray(20 << 20, '\0')}}, {"-9"});
    ASSERT_LT(bomb.size(), 100000);
    const Result<QByteArray> r = extract(bomb, QStringLiteral("7701.htm"));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.text().contains(QStringLiteral("сжата неправдоподобно")))
        << r.text().toStdString();

    // A directory that announces more than 256 MB.
    QByteArray big = makeZipWithInfoZip(dir.path(), {{"7701.htm", kPage}});
    putU32(big, centralHeader(big) + 24, 300u << 20);
    putU32(big, centralHeader(big) + 20, 200u << 20);
    const Result<QByteArray> huge = extract(big, QStringLiteral("7701.htm"));
    ASSERT_FALSE(huge.ok());
    EXPECT_TRUE(huge.text().contains(QStringLiteral("256 МБ"))) << huge.text().toStdString();

    // A directory that understates the size: inflating stops at the announced size.
    QByteArray lying = makeZipWithInfoZip(dir.path(), {{"7701.htm", kPage}});
    putU32(lying, centralHeader(lying) + 24, 100);
    const Result<QByteArray> cut = extract(lying, QStringLiteral("7701.htm"));
    ASSERT_FALSE(cut.ok());
    EXPECT_TRUE(cut.text().contains(QStringLiteral("повреждены"))) << cut.text().toStdString();
}

TEST_F(ZipReader, EncryptedEntryIsRefused) {
    const QByteArray zip = makeZipWithInfoZip(dir.path(), {{"7701.htm", kPage}}, {"-P", "secret"});
    const Result<QByteArray> r = extract(zip, QStringLiteral("7701.htm"));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.text().contains(QStringLiteral("зашифрована"))) << r.text().toStdString();
}
