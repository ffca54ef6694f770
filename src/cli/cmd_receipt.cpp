#include "cli/cli.h"
#include "cli/commands.h"
#include "operations/receipt_check.h"

#include <QSaveFile>

namespace telva {

int cmdCheckReceipt(CliSession& session, QStringList args) {
    bool missing = false;
    const std::optional<QString> html = takeOption(args, QStringLiteral("--html"), &missing);
    if (missing || args.size() != 1)
        return session.fail(
            QStringLiteral("Использование: telva-cli check-receipt FILE [--html OUT]"));

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
    return 0;
}

} // namespace telva
