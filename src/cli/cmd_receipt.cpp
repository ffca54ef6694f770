#include "cli/cli.h"
#include "cli/commands.h"
#include "operations/receipt_check.h"
#include "operations/receipt_pdf.h"

#include <QFileInfo>
#include <QSaveFile>

namespace telva {

int cmdCheckReceipt(CliSession& session, QStringList args) {
    bool missing = false;
    const std::optional<QString> html = takeOption(args, QStringLiteral("--html"), &missing);
    const std::optional<QString> pdf = takeOption(args, QStringLiteral("--pdf"), &missing);
    if (missing || args.size() != 1)
        return session.fail(
            QStringLiteral("Использование: telva-cli check-receipt FILE [--html OUT] [--pdf OUT]"));

    session.frontend.lastStatus.clear();
    const Result<crypto::CheckedReceipt> checked = crypto::CheckReceipt(session.ctx, args.first());
    if (!checked) {
        // A damaged archive has already been reported through the error box.
        if (session.frontend.lastStatus.isEmpty())
            return 1;
        return session.fail(session.frontend.lastStatus);
    }
    if (html) {
        QSaveFile file(*html);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(checked->pageBytes) != checked->pageBytes.size() || !file.commit())
            return session.fail(QStringLiteral("Ошибка записи \"%1\".").arg(*html));
    }
    if (pdf) {
        const QString id = QFileInfo(checked->archivePath).completeBaseName();
        if (const Status written = crypto::writeReceiptPdf(*checked, id, *pdf); !written)
            return session.fail(written.text());
    }
    return 0;
}

} // namespace telva
