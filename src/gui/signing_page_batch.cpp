#include "app/report_kind.h"
#include "crypto/sign_encrypt.h"
#include "gui/batch_dialog.h"
#include "gui/page_host.h"
#include "gui/signing_page.h"
#include "operations/submission.h"

#include <QLineEdit>

namespace telva {

void SigningPage::openBatch(const QStringList& files) {
    takeProvider();
    BatchDialog::Steps steps;
    steps.detect = [](const QString& source) -> Result<std::pair<QString, QString>> {
        const Result<const ReportKind*> kind = detectKindOfFile(source);
        if (!kind)
            return Result<std::pair<QString, QString>>::fail(kindErrorText(kind.text()));
        return std::pair{(*kind)->displayName, outputFileName(source, (*kind)->encExt)};
    };
    // Each step is the person's operation: nothing is asked in the background meanwhile, and
    // its outcome goes on the status line as well as into the table.
    steps.sign = [this](const QString& source, const QString& encrypted) -> Status {
        host_.beginOperation();
        const Result<QString> done = crypto::SignAndEncrypt(host_.ctx, source, encrypted);
        host_.endOperation();
        host_.showOutcome(done);
        return done ? Status() : Status::fail(host_.statusText());
    };
    steps.send = [this](const QString& source, const QString& encrypted) -> Result<QString> {
        // The encrypted file's own extension picks the gateway; the kind chosen on the
        // signing page stays that page's.
        host_.beginOperation();
        host_.makeWay();
        sending_ = true;
        const Result<SentReport> sent =
            SubmitReport(host_.ctx, host_.http, {encrypted, source, ePrivCert_->text()});
        sending_ = false;
        host_.endOperation();
        showSendOutcome(sent);
        if (!sent)
            return sent.error();
        return sent->id;
    };
    auto* dialog = new BatchDialog(std::move(steps), files, window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->prepare();
}

} // namespace telva
