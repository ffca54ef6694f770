#include "app/report_kind.h"
#include "crypto/sign_encrypt.h"
#include "gui/batch_dialog.h"
#include "gui/main_form.h"
#include "gui/status_panel.h"
#include "operations/submission.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

namespace telva {

namespace {

QStringList localFiles(const QMimeData* data) {
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    if (files.size() == 1)
        InputFileChosen(files.first());
    else
        openBatch(files);
}

void TMainForm::openBatch(const QStringList& files) {
    ctx_.settings.provName = cbProv_->currentText();
    ctx_.settings.provType = cbProv_->currentData().toInt();
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
        ++running_;
        const Result<QString> done = crypto::SignAndEncrypt(ctx_, source, encrypted);
        --running_;
        showOutcome(done);
        return done ? Status() : Status::fail(statusPanel_->statusText());
    };
    steps.send = [this](const QString& source, const QString& encrypted) -> Result<QString> {
        if (const Result<const ReportKind*> kind = detectKindOfFile(source))
            ctx_.settings.encExt = (*kind)->encExt;
        ++running_;
        stopFollowUp();
        sending_ = true;
        const Result<SentReport> sent =
            SubmitReport(ctx_, *http_, {encrypted, source, ePrivCert_->text()});
        sending_ = false;
        --running_;
        showSendOutcome(sent);
        if (!sent)
            return sent.error();
        return sent->id;
    };
    auto* dialog = new BatchDialog(std::move(steps), files, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->prepare();
}

} // namespace telva
