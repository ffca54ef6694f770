#include "operations/receipt_pdf.h"

#include "app/safe_file.h"
#include "crypto/certificate.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace telva::crypto {

namespace {

class SealedDocument : public QTextDocument {
protected:
    QVariant loadResource(int type, const QUrl& name) override {
        // Pictures written into the page itself are decoded by the document.
        if (name.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0)
            return QTextDocument::loadResource(type, name);
        // A non-null empty value, so that the document does not try the file itself.
        if (type == QTextDocument::StyleSheetResource || type == QTextDocument::HtmlResource ||
            type == QTextDocument::MarkdownResource)
            return QVariant(QString());
        return QVariant(QByteArray());
    }
};

QString day(const QDateTime& when) {
    return when.toLocalTime().toString(QStringLiteral("dd.MM.yyyy"));
}

} // namespace

std::unique_ptr<QTextDocument> sealedReceiptDocument(const QString& html) {
    auto document = std::make_unique<SealedDocument>();
    document->setHtml(html);
    return document;
}

void printAsShown(const QTextDocument& page, QPagedPaintDevice* device) {
    std::unique_ptr<QTextDocument> copy(page.clone());
    const qreal dpi = QGuiApplication::primaryScreen()
                          ? QGuiApplication::primaryScreen()->logicalDotsPerInch()
                          : 96.0;
    const QSizeF points = device->pageLayout().paintRect(QPageLayout::Point).size();
    copy->setPageSize(points * dpi / 72.0);
    copy->print(device);
}

QString receiptPdfFooter(const CheckedReceipt& receipt) {
    const Certificate& cert = receipt.signerCert;
    return QStringLiteral("Квитанцию подписал: %1. Серийный номер сертификата: %2, "
                          "действителен с %3 по %4. Подпись проверена %5: верна.")
        .arg(cert.renderName(WhichName::Subject, NameStyle::X500),
             cert.serialHex().value_or(QString()), day(cert.notBefore()), day(cert.notAfter()),
             receipt.checkedAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
}

QString receiptPdfName(const QString& identifier) {
    return QStringLiteral("Квитанция_") + identifier + QStringLiteral(".pdf");
}

Status writeReceiptPdf(const CheckedReceipt& receipt, const QString& identifier,
                       const QString& pdfPath) {
    const std::unique_ptr<QTextDocument> page = sealedReceiptDocument(receipt.page);
    QTextCursor end(page.get());
    end.movePosition(QTextCursor::End);
    end.insertHtml(QStringLiteral("<hr/><p style=\"font-size:9pt\">") +
                   receiptPdfFooter(receipt).toHtmlEscaped() + QStringLiteral("</p>"));
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        pdf.setTitle(identifier);
        pdf.setCreator(QStringLiteral("ТЕЛВА"));
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setResolution(300);
        printAsShown(*page, &pdf);
    }
    if (bytes.isEmpty() || !writeFileReplacing(pdfPath, bytes, 0644))
        return Status::fail(QStringLiteral("Ошибка записи \"%1\".").arg(pdfPath));
    return {};
}

} // namespace telva::crypto
