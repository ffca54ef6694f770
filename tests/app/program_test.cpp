#include "app/program.h"
#include "app/report_kind.h"
#include "temp_profile.h"

#include <gtest/gtest.h>

using namespace telva;
using telva::test::TempProfile;

TEST(Program, CaptionVersionAndUserAgent) {
    EXPECT_EQ(ProgramVersion(), QStringLiteral("1.0.1.24"));
    EXPECT_EQ(windowCaption(false),
              QStringLiteral("ТЕЛВА подписания и шифрования электронных документов (1.0.1.24)"));
    EXPECT_EQ(windowCaption(true),
              QStringLiteral("ТЕЛВА подписания и шифрования электронных документов (1.0.1.24) - "
                             "тестовый режим !!!"));
    EXPECT_STREQ(kUserAgent, "Mozilla/3.0 (compatible; KVB TELVA 1.0.1.21)");
}

TEST(Program, OnlyArgumentOneCounts) {
    const QString ext = QStringLiteral("p7e");
    EXPECT_TRUE(parseCommandLine({QStringLiteral("-test")}, ext).testMode);
    EXPECT_FALSE(parseCommandLine({QStringLiteral("-TEST")}, ext).testMode);
    EXPECT_FALSE(parseCommandLine({QStringLiteral("test")}, ext).testMode);
    EXPECT_FALSE(parseCommandLine({QStringLiteral("a"), QStringLiteral("-test")}, ext).testMode);
    EXPECT_EQ(parseCommandLine({QStringLiteral("/in/receipt.p7e")}, ext).receiptFile,
              QStringLiteral("/in/receipt.p7e"));
    EXPECT_TRUE(parseCommandLine({QStringLiteral("/in/receipt.P7E")}, ext).receiptFile.isEmpty());
    EXPECT_TRUE(parseCommandLine({}, ext).receiptFile.isEmpty());
    for (const char* notReceipt : {"/in/p7e/report.xml", "/in/receipt.p7e.zip", "p7e"})
        EXPECT_TRUE(parseCommandLine({QString::fromUtf8(notReceipt)}, ext).receiptFile.isEmpty())
            << notReceipt;
}

TEST(ReportKind, OutputNameRule) {
    EXPECT_EQ(outputFileName(QStringLiteral("C:\\data\\rep.xml"), QStringLiteral("er7")),
              QStringLiteral("C:\\data\\rep.er7"));
    EXPECT_EQ(outputFileName(QStringLiteral("C:\\data.old\\report"), QStringLiteral("er7")),
              QStringLiteral("C:\\data.old\\report.er7"));
    EXPECT_EQ(outputFileName(QStringLiteral("/home/a.b/report"), QStringLiteral("esl")),
              QStringLiteral("/home/a.b/report.esl"));
    EXPECT_EQ(outputFileName(QStringLiteral("rep.tar.xml"), QStringLiteral("er7")),
              QStringLiteral("rep.tar.er7"));
}

TEST(ReportKind, RootNamesPickTheirRow) {
    auto code = [](const char* root) {
        const ReportKind* k = kindForRootName(QString::fromLatin1(root));
        return k ? k->encExt : QStringLiteral("-");
    };
    EXPECT_EQ(code("R7REPORT"), QStringLiteral("er7"));
    EXPECT_EQ(code("R7AREPORT"), QStringLiteral("e7a"));
    EXPECT_EQ(code("ROWSET"), QStringLiteral("esl"));
    EXPECT_EQ(code("ns:R7REPORT"), QStringLiteral("er7"));
    EXPECT_EQ(code("R7REPORTROWSET"), QStringLiteral("er7"));
    EXPECT_EQ(code("r7report"), QStringLiteral("-"));
    EXPECT_EQ(listCodeForExtension(QStringLiteral(".e7a")), QStringLiteral("Р7А"));
    EXPECT_EQ(listCodeForExtension(QStringLiteral(".ER7")), QString());
}

TEST(ReportKind, ParsesWholeDocumentInDeclaredEncodings) {
    TempProfile p;
    const QString utf8 =
        p.writeFile(QStringLiteral("a.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                             "<R7AREPORT><N>\xd0\x98\xd0\xb2</N></R7AREPORT>");
    auto kind = detectKindOfFile(utf8);
    ASSERT_TRUE(kind.ok()) << kind.text().toStdString();
    EXPECT_EQ((*kind)->displayName, QStringLiteral("Форма 7а"));

    const QString cp1251 =
        p.writeFile(QStringLiteral("b.xml"), "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
                                             "<ROWSET><N>\xc8\xe2\xe0\xed</N></ROWSET>");
    kind = detectKindOfFile(cp1251);
    ASSERT_TRUE(kind.ok()) << kind.text().toStdString();
    EXPECT_EQ((*kind)->encExt, QStringLiteral("esl"));

    QByteArray utf16("\xff\xfe", 2);
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?><R7REPORT/>");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    kind = detectKindOfFile(p.writeFile(QStringLiteral("c.xml"), utf16));
    ASSERT_TRUE(kind.ok()) << kind.text().toStdString();
    EXPECT_EQ((*kind)->encExt, QStringLiteral("er7"));

    // A broken tail is found although the root was already seen.
    kind = detectKindOfFile(p.writeFile(QStringLiteral("d.xml"), "<R7REPORT><a></R7REPORT>"));
    EXPECT_FALSE(kind.ok());
    EXPECT_FALSE(kind.text().isEmpty());

    kind = detectKindOfFile(p.writeFile(QStringLiteral("e.xml"), "<r7report/>"));
    ASSERT_FALSE(kind.ok());
    EXPECT_EQ(kindErrorText(kind.text()),
              QStringLiteral("Ошибка открытия файла: XML-файл содержит неизвестные данные. "
                             "Невозможно определить вид документа"));
    EXPECT_FALSE(detectKindOfFile(p.root() + QStringLiteral("/missing.xml")).ok());
    EXPECT_FALSE(detectKindOfFile(p.writeFile(QStringLiteral("f.xml"), "")).ok());
}

TEST(ReportKind, BrokenInputIsNamedInRussianWithItsLine) {
    TempProfile p;
    const struct {
        QByteArray content;
        const char* message;
    } cases[] = {
        {"", "Файл не является документом XML: файл пуст"},
        {"Итоги квартала\n", "Файл не является документом XML: нет корневого элемента (строка 1)"},
        {"<R7REPORT/>\n<R7REPORT/>",
         "Файл не является документом XML: после корневого элемента есть посторонние данные "
         "(строка 2)"},
        {"<R7REPORT>\n<a>\n</R7REPORT>",
         "Файл не является документом XML: закрывающий тег не соответствует открывающему "
         "(строка 3)"},
        {"<R7REPORT>\n<a>", "Файл не является документом XML: документ оборван, не все элементы "
                            "закрыты (строка 2)"},
    };
    for (const auto& c : cases) {
        const auto kind = detectKindOfFile(p.writeFile(QStringLiteral("in.xml"), c.content));
        ASSERT_FALSE(kind.ok()) << c.content.constData();
        EXPECT_EQ(kind.text().toStdString(), c.message) << c.content.constData();
    }
}

TEST(ReportKind, DocumentsDeclaringEntitiesAreRefused) {
    TempProfile p;
    const auto kind = detectKindOfFile(
        p.writeFile(QStringLiteral("g.xml"),
                    "<!DOCTYPE R7REPORT [<!ENTITY a \"b\">]><R7REPORT>&a;</R7REPORT>"));
    ASSERT_FALSE(kind.ok());
    EXPECT_EQ(kind.text(), QStringLiteral("XML-документ объявляет сущности (<!ENTITY>), такие "
                                          "документы не принимаются"));
}
