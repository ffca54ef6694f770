#include "gui/cert_viewer.h"

#include "crypto/cert_details.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace telva {

TCertViewer::TCertViewer(const crypto::Certificate& cert, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TCertViewer"));
    setWindowTitle(QStringLiteral("Сертификат"));
    resize(620, 400);
    const auto details = crypto::DescribeCertificate(cert);
    fields = new QTableWidget(int(details.size()), 2, this);
    fields->setObjectName(QStringLiteral("fields"));
    fields->setHorizontalHeaderLabels({QStringLiteral("Поле"), QStringLiteral("Значение")});
    fields->verticalHeader()->hide();
    fields->horizontalHeader()->setStretchLastSection(true);
    fields->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fields->setWordWrap(true);
    for (qsizetype i = 0; i < details.size(); ++i) {
        fields->setItem(int(i), 0, new QTableWidgetItem(details[i].first));
        auto* value = new QTableWidgetItem(details[i].second);
        value->setToolTip(details[i].second);
        fields->setItem(int(i), 1, value);
    }
    fields->resizeColumnToContents(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fields);
    layout->addWidget(buttons);
}

} // namespace telva
