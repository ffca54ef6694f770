#include "operations/receipt_check.h"

#include "app/context.h"
#include "app/frontend.h"
#include "app/safe_file.h"
#include "archive/zip_reader.h"
#include "crypto/cert_store.h"
#include "crypto/receipt_cms.h"
#include "operations/receipt_page.h"
#include "operations/zip_entry.h"

#include <QFileInfo>

namespace telva::crypto {

namespace {

Error shown(AppContext& ctx, const QString& text, const QString& reason = QString()) {
    const QString line = statusText(text, reason);
    ctx.showStatus(line);
    return Error{line};
}

QString stageText(ReceiptStage stage) {
    switch (stage) {
    case ReceiptStage::Decrypt:
        return QStringLiteral("Ошибка при дешифровании ");
    case ReceiptStage::FindSigner:
        return QStringLiteral("Ошибка при поиске подходящего сертификата ");
    case ReceiptStage::Verify:
        break;
    }
    return QStringLiteral("Ошибка при проверке подписи ");
}

// Closes the stores whatever way the check ends.
struct StoresGuard {
    std::optional<CertCollection>& stores;
    ~StoresGuard() {
        if (stores)
            CloseAllStores(*stores);
    }
};

} // namespace

Result<CheckedReceipt> CheckReceipt(AppContext& ctx, const QString& receiptPath) {
    const QString openError = QStringLiteral("Ошибка открытия \"%1\".");
    if (receiptPath.isEmpty() || !QFileInfo::exists(receiptPath))
        return shown(ctx, openError.arg(receiptPath));
    Result<QByteArray> read = readRegularFile(receiptPath, kLargeFileLimit);
    if (!read)
        return shown(ctx, read.text());
    QByteArray message = std::move(*read);

    std::optional<CertCollection> stores = OpenAllStores(ctx);
    const StoresGuard guard{stores};
    if (!stores)
        return shown(ctx, QStringLiteral("Не удалось открыть хранилища."));

    std::variant<ReceiptContent, ReceiptFailure> opened =
        OpenReceiptMessage(std::move(message), *stores, &ctx.frontend);
    if (const ReceiptFailure* failure = std::get_if<ReceiptFailure>(&opened))
        return shown(ctx, stageText(failure->stage), failure->reason);
    const QByteArrayView content = std::get<ReceiptContent>(opened).bytes;

    // Written whole or not at all, so that a failed write neither leaves a damaged
    // archive behind nor destroys the one a previous check wrote.
    const QString archivePath = receiptArchivePath(receiptPath);
    ReplacingFile archive(archivePath);
    if (!archive.open())
        return shown(ctx, openError.arg(archivePath));
    if (!archive.write(content.data(), content.size()) || !archive.commit())
        return shown(ctx, QStringLiteral("Ошибка записи \"%1\".").arg(archivePath));

    const Result<QByteArray> page = ReadZipEntry(
        ExtractEntryFromBuffer(content, receiptPageEntryName(receiptPath)), ctx.frontend);
    if (!page) {
        ctx.frontend.showError(page.text());
        return page.error();
    }
    return CheckedReceipt{archivePath, *page, decodeReceiptPage(*page),
                          std::get<ReceiptContent>(opened).signer};
}

} // namespace telva::crypto
