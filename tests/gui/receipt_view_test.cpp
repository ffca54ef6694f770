#include "gui/receipt_view.h"
#include "operations/receipt_pdf.h"

#include "receipt_maker.h"
#include "temp_profile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPrinter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <gtest/gtest.h>

using namespace telva;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

int redPixels(QTextBrowser& view) {
    view.resize(400, 300);
    const QImage image = view.grab().toImage();
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == QColor(Qt::red))
                ++red;
    return red;
}

} // namespace

TEST(ReceiptView, EachPageReplacesTheLast) {
    ReceiptView view;
    EXPECT_EQ(view.objectName(), QStringLiteral("wbKvit"));
    view.ShowInReceiptView(QStringLiteral("<p>Первая</p>"));
    view.ShowInReceiptView(QString());
    EXPECT_TRUE(view.toPlainText().isEmpty());
    view.ShowInReceiptView(QStringLiteral("<p>Квитанция 7701</p>"));
    EXPECT_EQ(view.toPlainText(), QStringLiteral("Квитанция 7701"));
}

TEST(ReceiptView, LoadsNothingFromOutsideThePage) {
    QTemporaryDir dir;
    QImage redImage(40, 40, QImage::Format_RGB32);
    redImage.fill(Qt::red);
    ASSERT_TRUE(redImage.save(dir.filePath("red.png")));
    writeFile(dir.filePath("red.css"), "p { color: #ff0000; }");
    const QString html =
        QStringLiteral("<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"%1\"></head>"
                       "<body><p>Текст</p><img src=\"%2\" width=\"40\" height=\"40\">"
                       "<img src=\"http://127.0.0.1:9/red.png\"></body></html>")
            .arg(QUrl::fromLocalFile(dir.filePath("red.css")).toString(),
                 QUrl::fromLocalFile(dir.filePath("red.png")).toString());

    // A plain browser takes both files: the probe sees them.
    QTextBrowser plain;
    plain.setHtml(html);
    ASSERT_GT(redPixels(plain), 1000);

    ReceiptView view;
    view.ShowInReceiptView(html);
    EXPECT_EQ(redPixels(view), 0);
    const QTextCharFormat format = view.document()->begin().begin().fragment().charFormat();
    EXPECT_NE(format.foreground().color(), QColor(Qt::red));

    // A picture inside the page is shown.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    redImage.save(&buffer, "PNG");
    view.ShowInReceiptView(QStringLiteral("<img src=\"data:image/png;base64,%1\">")
                               .arg(QString::fromLatin1(png.toBase64())));
    EXPECT_GT(redPixels(view), 1000);

    // A link is not followed.
    view.ShowInReceiptView(html);
    view.setSource(QUrl::fromLocalFile(dir.filePath("red.css")));
    EXPECT_EQ(view.toPlainText().left(5), QStringLiteral("Текст"));
}

TEST(ReceiptView, PrintsToPdfWithTheReceiptText) {
    QTemporaryDir dir;
    ReceiptView view;
    view.ShowInReceiptView(
        QStringLiteral("<h1>Квитанция о приеме отчета</h1><p>Номер 7701, принят 08.12.2026</p>"));
    const QString pdf = dir.filePath("receipt.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    view.printTo(&printer);

    QByteArray text;
    ASSERT_EQ(test::runProgram("pdftotext", {pdf, "-"}, {}, &text), 0) << text.constData();
    const QString plain = QString::fromUtf8(text).simplified();
    EXPECT_TRUE(plain.contains(QStringLiteral("Квитанция о приеме отчета"))) << plain.toStdString();
    EXPECT_TRUE(plain.contains(QStringLiteral("Номер 7701, принят 08.12.2026")))
        << plain.toStdString();
}

// The title in pixels, as receipt pages set it, must not shrink with the printer's dots.
TEST(ReceiptView, PrintKeepsTheTitleReadableAndNamesThePdfAfterTheReceipt) {
    telva::test::TempProfile profile;
    ReceiptView view;
    view.ShowInReceiptView(QStringLiteral("<p style=\"font-size:16px\"><b>КВИТАНЦИЯ</b> о приеме "
                                          "отчета</p><p>Отчет принят.</p>"),
                           QStringLiteral("7701"));
    // Printing to a PDF never replaces the signed PDF that "Сохранить PDF" writes.
    EXPECT_EQ(view.defaultPdfPath(),
              QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                  QStringLiteral("/Квитанция_7701-печать.pdf"));
    EXPECT_NE(QFileInfo(view.defaultPdfPath()).fileName(), crypto::receiptPdfName("7701"));
    const QString pdf = profile.root() + QStringLiteral("/receipt.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    view.printTo(&printer);

    QByteArray info;
    ASSERT_EQ(test::runProgram("pdfinfo", {pdf}, {}, &info), 0);
    EXPECT_TRUE(
        QString::fromUtf8(info).contains(QRegularExpression(QStringLiteral("Title: +7701\n"))))
        << info.constData();
    QByteArray boxes;
    ASSERT_EQ(test::runProgram("pdftotext", {"-bbox", pdf, "-"}, {}, &boxes), 0);
    const QRegularExpression word(
        QStringLiteral("yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"([\\d.]+)\">КВИТАНЦИЯ</word>"));
    const QRegularExpressionMatch title = word.match(QString::fromUtf8(boxes));
    ASSERT_TRUE(title.hasMatch()) << boxes.constData();
    // 16 screen pixels are 12 points; a smudge is under one.
    EXPECT_GT(title.captured(2).toDouble() - title.captured(1).toDouble(), 9.0);
}
