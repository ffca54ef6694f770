#include "gui/batch_dialog.h"

#include "operations/submission.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace telva {

BatchDialog::BatchDialog(Steps steps, const QStringList& files, QWidget* parent)
    : QDialog(parent), steps_(std::move(steps)) {
    setObjectName(QStringLiteral("BatchDialog"));
    setWindowTitle(QStringLiteral("Отправка нескольких отчетов"));
    table_ = new QTableWidget(int(files.size()), 4, this);
    table_->setObjectName(QStringLiteral("gBatch"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Файл"), QStringLiteral("Вид"),
                                       QStringLiteral("Состояние"), QStringLiteral("Результат")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    for (const QString& file : files) {
        const int row = int(items_.size());
        items_.push_back({file, QString(), State::Waiting});
        for (int c = ColFile; c <= ColResult; ++c)
            table_->setItem(row, c, new QTableWidgetItem);
        table_->item(row, ColFile)->setText(QFileInfo(file).fileName());
        table_->item(row, ColFile)->setToolTip(file);
        table_->item(row, ColState)->setText(QStringLiteral("Ожидает"));
    }
    auto* buttons = new QDialogButtonBox(this);
    sendButton_ = buttons->addButton(QStringLiteral("Отправить все"), QDialogButtonBox::AcceptRole);
    sendButton_->setObjectName(QStringLiteral("btnSendAll"));
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    // The buttons' own meaning is replaced: sending keeps the table open, "Отмена" stops first.
    disconnect(buttons, nullptr, this, nullptr);
    connect(sendButton_, &QPushButton::clicked, this, &BatchDialog::sendAll);
    connect(cancel, &QPushButton::clicked, this, &BatchDialog::cancelOrClose);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("lbSummary"));
    summary_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addWidget(summary_);
    layout->addWidget(buttons);
    resize(700, 300);
}

void BatchDialog::showRow(int row, State state, const QString& stateText, const QString& result) {
    items_[size_t(row)].state = state;
    table_->item(row, ColState)->setText(stateText);
    table_->item(row, ColResult)->setText(result);
    // A long error is cut in its cell; the tooltip has it whole.
    table_->item(row, ColResult)->setToolTip(result);
    for (int c : {ColFile, ColKind, ColState})
        table_->resizeColumnToContents(c);
    QApplication::processEvents();
}

void BatchDialog::prepare() {
    busy_ = true;
    for (int row = 0; row < int(items_.size()) && !closeWanted_; ++row) {
        Item& item = items_[size_t(row)];
        const Result<std::pair<QString, QString>> kind = steps_.detect(item.source);
        if (!kind) {
            showRow(row, State::Failed, QStringLiteral("Ошибка"), kind.text());
            continue;
        }
        table_->item(row, ColKind)->setText(kind->first);
        item.encrypted = kind->second;
        const Status signedOk = steps_.sign(item.source, item.encrypted);
        showRow(row, signedOk ? State::Signed : State::Failed,
                signedOk ? QStringLiteral("Подписан и зашифрован") : QStringLiteral("Ошибка"),
                signedOk ? QString() : signedOk.text());
    }
    busy_ = false;
    if (closeWanted_)
        QDialog::reject();
}

void BatchDialog::sendAll() {
    if (busy_)
        return;
    sending_ = true;
    busy_ = true;
    cancelled_ = false;
    sendButton_->setEnabled(false);
    for (int row = 0; row < int(items_.size()) && !cancelled_; ++row) {
        const Item& item = items_[size_t(row)];
        if (item.state != State::Signed && item.state != State::SendFailed)
            continue;
        showRow(row, item.state, QStringLiteral("Отправляется"), QString());
        const Result<QString> id = steps_.send(item.source, item.encrypted);
        // A file the gateway did not take is tried again by a later "Отправить все"; one it
        // took is never sent twice, nor one whose repeat the person declined.
        if (id)
            showRow(row, State::Sent, QStringLiteral("Отправлен"), *id);
        else if (id.error().code == kSendDeclined)
            showRow(row, State::Declined, QStringLiteral("не отправлен (повтор)"), id.text());
        else
            showRow(row, State::SendFailed, QStringLiteral("Ошибка отправки"), id.text());
        Q_EMIT fileSent(row);
    }
    sending_ = false;
    busy_ = false;
    showSummary();
    sendButton_->setEnabled(true);
    if (closeWanted_)
        QDialog::reject();
}

QString BatchDialog::summary() const {
    int sent = 0, failed = 0, declined = 0;
    for (const Item& item : items_) {
        sent += item.state == State::Sent;
        failed += item.state == State::Failed || item.state == State::SendFailed;
        declined += item.state == State::Declined;
    }
    QString line = QStringLiteral("отправлено %1, ошибок %2").arg(sent).arg(failed);
    if (declined > 0)
        line += QStringLiteral(", не отправлено повторов %1").arg(declined);
    return line;
}

void BatchDialog::showSummary() {
    summary_->setText(summary());
    summary_->show();
}

void BatchDialog::reject() {
    if (!busy_) {
        QDialog::reject();
        return;
    }
    closeWanted_ = true;
    cancelled_ = true;
}

void BatchDialog::cancelOrClose() {
    if (busy_)
        cancelled_ = true;
    else
        reject();
}

} // namespace telva
