#include "operations/receipt_check.h"

#include "app/context.h"
#include "app/event_log.h"
#include "app/frontend.h"
#include "app/safe_file.h"
#include "app/texts.h"
#include "archive/zip_reader.h"
#include "crypto/cert_store.h"
#include "crypto/receipt_cms.h"
#include "operations/receipt_page.h"
#include "operations/zip_entry.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace telva::crypto {

namespace {

Error shown(AppContext& ctx, const QString& text, const QString& reason = QString()) {
    const QString line = statusText(text, reason);
    ctx.showStatus(line);
    return Error{line};
}

// The status text of the stage a receipt failed at (OpenReceiptFile's code).
QString stageText(quint32 code) {
    switch (code) {
    case kReceiptNotDecrypted:
    case kReceiptKeyNotOpened:
        return QStringLiteral("Ошибка при дешифровании ");
    case kReceiptSignerNotFound:
        return QStringLiteral("Ошибка при поиске подходящего сертификата ");
    default:
        return QStringLiteral("Ошибка при проверке подписи ");
    }
}

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

// Closes the stores whatever way the check ends.
struct StoresGuard {
    std::optional<CertCollection>& stores;
    ~StoresGuard() {
        if (stores)
            CloseAllStores(*stores);
    }
};

} // namespace

QString derivedOverSourceText(const QString& receiptPath, const QString& archivePath) {
    return QStringLiteral("Квитанция \"%1\" не проверена: ее содержимое пришлось бы записать "
                          "поверх нее самой (\"%2\"). Дайте файлу квитанции другое расширение, "
                          "например .p7e.")
        .arg(receiptPath, archivePath);
}

Result<CheckedReceipt> CheckReceipt(AppContext& ctx, const QString& receiptPath) {
    ReceiptVerdict verdict = ReceiptVerdict::NotChecked;
    return CheckReceiptAs(ctx, receiptPath, receiptPath, verdict);
}

Result<CheckedReceipt> CheckReceiptAs(AppContext& ctx, const QString& from,
                                      const QString& receiptPath, ReceiptVerdict& verdict) {
    verdict = ReceiptVerdict::NotChecked;
    logEvent(QStringLiteral("Проверка квитанции \"%1\"").arg(receiptPath));
    if (from.isEmpty() || !QFileInfo::exists(from))
        return shown(ctx, openErrorText(receiptPath));
    const QString archivePath = receiptArchivePath(receiptPath);
    if (isSameFile(archivePath, from) || isSameFile(archivePath, receiptPath))
        return shown(ctx, derivedOverSourceText(receiptPath, archivePath));
    const int fd = openRegularFile(from);
    if (fd < 0)
        return shown(ctx, openErrorText(receiptPath));
    const FdCloser closer{fd};

    std::optional<CertCollection> stores = OpenAllStores(ctx);
    const StoresGuard guard{stores};
    if (!stores)
        return shown(ctx, QStringLiteral("Не удалось открыть хранилища."));

    // Written as it is decrypted, but kept only once the signature verifies: a failed check
    // or write neither leaves a damaged archive behind nor destroys the one a previous
    // check wrote.
    const QString writeError = writeErrorText(archivePath);
    std::optional<ReplacingFile> archive(std::in_place, archivePath);
    if (!archive->open())
        return shown(ctx, openErrorText(archivePath));
    // A receipt without a signing time is judged at the time it was saved here, which a
    // check years later still finds on the file, unlike the current time.
    // It is read from `from` (a download not yet under its name), so that file tells.
    QDateTime receivedAt = QFileInfo(from).lastModified().toUTC();
    if (!receivedAt.isValid())
        receivedAt = ctx.clock.now().toUTC();
    bool writeFailed = false;
    const Result<ReceiptContent> opened =
        OpenReceiptFile(fd, *stores, receivedAt, &ctx.frontend, [&](const char* data, qint64 size) {
            writeFailed = writeFailed || !archive->write(data, size);
            return !writeFailed;
        });
    if (writeFailed)
        return shown(ctx, writeError);
    if (!opened) {
        if (opened.error().code != kReceiptKeyNotOpened)
            verdict = ReceiptVerdict::Rejected;
        return shown(ctx, stageText(opened.error().code), opened.text());
    }
    const ReceiptContent& content = *opened;
    if (!content.streamed) {
        // Opened in memory: written whole now, into a fresh file.
        archive.emplace(archivePath);
        if (!archive->open())
            return shown(ctx, openErrorText(archivePath));
        if (!archive->write(content.bytes.data(), content.bytes.size()))
            return shown(ctx, writeError);
    }
    if (!archive->commit())
        return shown(ctx, writeError);
    verdict = ReceiptVerdict::Verified;

    // The page is read from the archive on disk, through a mapping: only its own bytes and
    // the directory are touched, whatever the archive's size.
    QFile written(archivePath);
    const uchar* mapped = written.open(QIODevice::ReadOnly) && written.size() > 0
                              ? written.map(0, written.size())
                              : nullptr;
    const QByteArrayView zip = mapped ? QByteArrayView(mapped, written.size()) : QByteArrayView();
    const Result<QByteArray> page =
        ReadZipEntry(ExtractEntryFromBuffer(zip, receiptPageEntryName(receiptPath)), ctx.frontend);
    if (!page) {
        ctx.frontend.showError(page.text());
        return page.error();
    }
    return CheckedReceipt{
        archivePath,        *page,          decodeReceiptPage(*page), content.signer,
        content.signerCert, ctx.clock.now()};
}

} // namespace telva::crypto
