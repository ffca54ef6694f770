#include "crypto/cert_format.h"
#include "gui/cert_chooser.h"
#include "gui/page_host.h"
#include "gui/signing_page.h"
#include "operations/first_steps.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace telva {

QWidget* SigningPage::createFirstSteps() {
    firstSteps_ = new QFrame(this);
    firstSteps_->setObjectName(QStringLiteral("pnFirstSteps"));
    firstSteps_->setStyleSheet(QStringLiteral("#pnFirstSteps { background: #e4efff; border: 1px "
                                              "solid #9bb8e0; } QLabel { color: #17365d; }"));
    auto* layout = new QGridLayout(firstSteps_);
    layout->setContentsMargins(6, 4, 6, 4);
    auto step = [&](const char* labelName, const char* buttonName, const QString& caption,
                    QAction* action, int row) {
        auto* label = new QLabel(firstSteps_);
        label->setObjectName(QLatin1String(labelName));
        label->setWordWrap(true);
        auto* button = new QPushButton(caption, firstSteps_);
        button->setObjectName(QLatin1String(buttonName));
        connect(button, &QPushButton::clicked, this, [this, action] { host_.execute(action); });
        layout->addWidget(label, row, 0);
        layout->addWidget(button, row, 1, Qt::AlignVCenter);
        return std::pair{label, button};
    };
    std::tie(lbPersonalGap_, btnImportCert_) =
        step("lbPersonalGap", "btnImportCert", QStringLiteral("&Импортировать сертификат…"),
             acImportCert, 0);
    std::tie(lbFundGap_, btnInstallFund_) =
        step("lbFundGap", "btnInstallFund", QStringLiteral("Установить с&ертификаты КВБ"),
             acLoadCert, 1);
    layout->setColumnStretch(0, 1);
    firstSteps_->hide();
    return firstSteps_;
}

void SigningPage::showFirstSteps() {
    const QList<SigningGap> gaps = SigningGaps(host_.ctx.settings);
    QString personal;
    for (SigningGap gap : gaps)
        if (gap != SigningGap::FundCertificate)
            personal = signingGapText(gap);
    const bool fund = gaps.contains(SigningGap::FundCertificate);
    lbPersonalGap_->setText(personal);
    lbPersonalGap_->setVisible(!personal.isEmpty());
    btnImportCert_->setVisible(!personal.isEmpty());
    lbFundGap_->setText(fund ? signingGapText(SigningGap::FundCertificate) : QString());
    lbFundGap_->setVisible(fund);
    btnInstallFund_->setVisible(fund);
    firstSteps_->setVisible(!gaps.isEmpty());
    const std::optional<QString> owner = chosenPersonalText(host_.ctx.settings);
    lbPrivCertOwner_->setText(owner.value_or(QString()));
    lbPrivCertOwner_->setVisible(owner.has_value());
}

void SigningPage::acImportCertExecute() {
    const std::optional<CertificateFiles> files = askCertificateFiles(this);
    if (!files)
        return;
    host_.showOutcome(ImportPersonalCertificate(host_.ctx, files->certificate, files->key));
    showCertificateLabels();
}

} // namespace telva
