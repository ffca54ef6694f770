#include "gui/signing_page.h"

#include "app/report_kind.h"
#include "crypto/cert_format.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"
#include "crypto/gost_engine.h"
#include "crypto/provider_list.h"
#include "crypto/sign_encrypt.h"
#include "gui/cert_chooser.h"
#include "gui/gui_frontend.h"
#include "gui/icons.h"
#include "gui/page_controls.h"
#include "gui/page_host.h"
#include "operations/install_certificate.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace telva {

namespace {

// How long before its end a personal certificate is warned of.
constexpr int kSoonDays = 30;

} // namespace

SigningPage::SigningPage(PageHost& host, QAction* proxyAction, QWidget* parent)
    : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("tsSign"));
    createActions();
    createControls(proxyAction);
    acDoUpdate();
}

void SigningPage::createActions() {
    acDo = makeAction(this, "acDo", QStringLiteral("Подписать и &зашифровать"),
                      QStringLiteral("Подписать и зашифровать выбранный файл"));
    acSend = makeAction(this, "acSend", QStringLiteral("Отп&равить в КВБ"),
                        QStringLiteral("Отправить успешно подписанный и зашифрованный отчет на "
                                       "шлюз приема отчетности КВБ"));
    acLoadCert = makeAction(
        this, "acLoadCert", QStringLiteral("&Установить сертификат уполномоченного лица КВБ"),
        QStringLiteral("Загрузить с сайта КВБ (%1) сертификат уполномоченного лица КВБ и "
                       "установить его")
            .arg(host_.ctx.settings.hosts.kvbSite));
    acLoadCert->setIcon(installCertificateIcon());
    acImportCert = makeAction(this, "acImportCert", QStringLiteral("Импортировать сертификат…"),
                              QStringLiteral("Импортировать личный сертификат с закрытым ключом "
                                             "и выбрать его для подписи"));
    acSend->setEnabled(false);
    host_.bind(acDo, [this] { acDoExecute(); });
    // Sending asks the gateway: a background ask gives way to it.
    host_.bind(
        acSend, [this] { acSendExecute(); }, true);
    host_.bind(acLoadCert, [this] { acLoadCertExecute(); });
    host_.bind(acImportCert, [this] { acImportCertExecute(); });
    host_.setUpdateRule(acDo, [this] { acDoUpdate(); });
}

void SigningPage::createControls(QAction* proxyAction) {
    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const QString& label, QWidget* control, QWidget* beside) {
        auto* caption = new QLabel(label, this);
        caption->setBuddy(control);
        grid->addWidget(caption, row, 0);
        grid->addWidget(control, row, 1);
        if (beside)
            grid->addWidget(beside, row, 2);
        ++row;
    };
    cbProv_ = new QComboBox(this);
    cbProv_->setObjectName(QStringLiteral("cbProv"));
    ePrivCert_ = lineEdit(this, "ePrivCert");
    ePubCert_ = lineEdit(this, "ePubCert");
    eFileIn_ = lineEdit(this, "eFileIn");
    eKindDoc_ = lineEdit(this, "eKindDoc");
    eKindDoc_->setReadOnly(true);
    eKindDoc_->setFrame(false);
    eKindDoc_->setStyleSheet(QStringLiteral("QLineEdit { background: palette(button); }"));
    eFileOut_ = lineEdit(this, "eFileOut");
    auto* sbPrivCert = smallButton(this, "sbPrivCert");
    auto* sbPubCert = smallButton(this, "sbPubCert");
    auto* sbSelFile = smallButton(this, "sbSelFile");
    addRow(QStringLiteral("Криптопровайдер"), cbProv_, nullptr);
    addRow(QStringLiteral("Личный сертификат"), ePrivCert_, sbPrivCert);
    // The field shows the organisation; whose certificate it is and until when, here.
    lbPrivCertOwner_ = new QLabel(this);
    lbPrivCertOwner_->setObjectName(QStringLiteral("lbPrivCertOwner"));
    lbPrivCertOwner_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(lbPrivCertOwner_, row++, 1);
    addRow(QStringLiteral("Сертификат уполномоченного лица КВБ"), ePubCert_, sbPubCert);
    addRow(QStringLiteral("Файл для подписи и шифрования"), eFileIn_, sbSelFile);
    addRow(QStringLiteral("Вид подписываемого документа"), eKindDoc_, nullptr);
    addRow(QStringLiteral("Выходной файл"), eFileOut_, nullptr);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QGridLayout;
    buttons->addWidget(actionButton(this, acLoadCert), 0, 0);
    buttons->addWidget(actionButton(this, proxyAction), 1, 0, Qt::AlignLeft);
    buttons->setColumnStretch(1, 1);
    buttons->addWidget(actionButton(this, acSend), 0, 2);
    buttons->addWidget(actionButton(this, acDo), 0, 3);

    lbCertWarning_ = new QLabel(this);
    lbCertWarning_->setObjectName(QStringLiteral("lbCertWarning"));
    lbCertWarning_->setStyleSheet(
        QStringLiteral("QLabel { background: #fff3c4; color: #7a4b00; padding: 3px; }"));
    lbCertWarning_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbCertWarning_);
    layout->addWidget(createFirstSteps());
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(sbSelFile, &QToolButton::clicked, this, &SigningPage::sbSelFileClick);
    connect(eFileIn_, &QLineEdit::textEdited, this, &SigningPage::eFileInEdited);
    connect(eFileIn_, &QLineEdit::editingFinished, this, &SigningPage::eFileInEditingFinished);
    connect(sbPrivCert, &QToolButton::clicked, this, &SigningPage::sbPrivCertClick);
    connect(sbPubCert, &QToolButton::clicked, this, &SigningPage::sbPubCertClick);
    for (QLineEdit* e : {ePrivCert_, ePubCert_, eFileIn_, eFileOut_})
        connect(e, &QLineEdit::textChanged, this, &SigningPage::acDoUpdate);
    connect(cbProv_, &QComboBox::currentIndexChanged, this, &SigningPage::acDoUpdate);
    connect(cbProv_, &QComboBox::currentTextChanged, this, &SigningPage::acDoUpdate);
}

QList<QAction*> SigningPage::networkActions() const {
    return {acLoadCert, acSend};
}

void SigningPage::start() {
    // Without the engine the list stays empty; the person learns why and what to install.
    if (const Status engine = crypto::ensureGostEngine(); !engine)
        host_.ctx.frontend.showError(engine.text());
    const crypto::ProviderList providers = crypto::FillProviderList(host_.ctx.settings.provName);
    cbProv_->clear();
    for (const crypto::ProviderEntry& entry : providers.entries)
        cbProv_->addItem(entry.name, entry.type);
    cbProv_->setCurrentIndex(providers.selected);
    showCertificateLabels();
}

void SigningPage::showCertificateLabels() {
    const Settings& s = host_.ctx.settings;
    ePrivCert_->setText(crypto::identityLabel(s.priv));
    ePubCert_->setText(crypto::identityLabel(s.pub));
    showCertificateTips();
}

void SigningPage::showCertificateTips() {
    // The field shows the organisation only; two people of one organisation differ here.
    // A certificate that will not sign is told of now, not when signing fails.
    const struct {
        QLineEdit* field;
        const CertIdentity* identity;
        QString whose;
        int soonDays;
    } fields[] = {
        {ePrivCert_, &host_.ctx.settings.priv, QStringLiteral("личного сертификата"), kSoonDays},
        {ePubCert_, &host_.ctx.settings.pub, QStringLiteral("сертификата уполномоченного лица КВБ"),
         0},
    };
    QStringList warnings;
    const QDateTime now = host_.ctx.clock.now();
    for (const auto& f : fields) {
        QString tip;
        if (Result<crypto::CertStore> store = crypto::CertStore::open(f.identity->store)) {
            if (const std::optional<crypto::Certificate> cert =
                    crypto::FindCertByIdentity(*store, f.identity->issuer, f.identity->sernum)) {
                tip = crypto::certSummary(*cert, now);
                if (QString warning = crypto::certWarning(*cert, f.whose, now, f.soonDays);
                    !warning.isEmpty())
                    warnings.append(warning);
            }
        }
        f.field->setToolTip(tip);
    }
    lbCertWarning_->setText(warnings.join(QLatin1Char('\n')));
    lbCertWarning_->setVisible(!warnings.isEmpty());
    showFirstSteps();
}

void SigningPage::takeProvider() {
    host_.ctx.settings.provName = cbProv_->currentText();
    host_.ctx.settings.provType = cbProv_->currentData().toInt();
}

void SigningPage::acDoUpdate() {
    acDo->setEnabled(cbProv_->currentIndex() >= 0 && !cbProv_->currentText().isEmpty() &&
                     !ePrivCert_->text().isEmpty() && !ePubCert_->text().isEmpty() &&
                     !eFileIn_->text().isEmpty() && !eFileOut_->text().isEmpty());
}

void SigningPage::acDoExecute() {
    takeProvider();
    const Result<QString> done =
        crypto::SignAndEncrypt(host_.ctx, eFileIn_->text(), eFileOut_->text());
    host_.showOutcome(done);
    signed_.reset();
    if (done)
        signed_ = {FileStamp::of(eFileIn_->text()), FileStamp::of(eFileOut_->text())};
    acSend->setEnabled(done.ok());
}

void SigningPage::acSendExecute() {
    // A source moved or changed, or an output written over since signing, is not what the
    // person signed: nothing goes out, and signing again is the way on.
    if (!signed_ || FileStamp::of(eFileIn_->text()) != signed_->first ||
        FileStamp::of(eFileOut_->text()) != signed_->second) {
        signed_.reset();
        acSend->setEnabled(false);
        host_.ShowStatus(QStringLiteral("Файлы изменились после подписи или перемещены. "
                                        "Подпишите отчет заново."),
                         QString(), StatusKind::Error);
        return;
    }
    sending_ = true;
    const Result<SentReport> sent = SubmitReport(
        host_.ctx, host_.http, {eFileOut_->text(), eFileIn_->text(), ePrivCert_->text()});
    sending_ = false;
    showSendOutcome(sent);
}

void SigningPage::showSendOutcome(const Result<SentReport>& outcome) {
    const bool declined = !outcome && outcome.error().code == kSendDeclined;
    host_.showOutcome(outcome ? outcome->text : outcome.text(), outcome    ? StatusKind::Success
                                                                : declined ? StatusKind::Info
                                                                           : StatusKind::Error);
    if (declined)
        return;
    // Followed from the moment it went out, whichever page is open.
    if (outcome)
        Q_EMIT sent(outcome->id);
    if (outcome || outcome.kind() == ErrorKind::Unreachable)
        host_.setConnected(outcome.ok());
}

void SigningPage::acLoadCertExecute() {
    const Result<QString> installed = crypto::LoadFundCertificates(host_.ctx, host_.http);
    host_.showOutcome(installed);
    showCertificateLabels();
}

void SigningPage::sbSelFileClick() {
    const QString ext = host_.ctx.settings.srcExt;
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QString(), dialogStartFolder(eFileIn_->text(), host_.places.reportFolder),
        ext + QStringLiteral(" (*.") + ext + ')');
    if (files.size() == 1)
        InputFileChosen(files.first());
    else if (files.size() > 1)
        openBatch(files);
}

void SigningPage::eFileInEdited() {
    // Until the typed path is read, the kind and output name of the previous file would
    // write over that report's output.
    signed_.reset();
    acSend->setEnabled(false);
    eKindDoc_->clear();
    eFileOut_->clear();
}

void SigningPage::eFileInEditingFinished() {
    const QString typed = eFileIn_->text().trimmed();
    if (eFileOut_->text().isEmpty() && QFileInfo(typed).isFile())
        InputFileChosen(typed);
}

void SigningPage::InputFileChosen(const QString& file) {
    signed_.reset();
    acSend->setEnabled(false);
    eFileIn_->setText(file);
    host_.places.inputFile = file;
    host_.places.reportFolder = QFileInfo(file).absolutePath();
    host_.places.save();
    const Result<const ReportKind*> kind = detectKindOfFile(file);
    if (!kind) {
        // The earlier kind and output name belong to another file: signing with them would
        // write this file over that report's output.
        eKindDoc_->clear();
        eFileOut_->clear();
        host_.frontend.messageBox(kindErrorText(kind.text()), QStringLiteral("Внимание"),
                                  Frontend::Icon::Information);
        return;
    }
    host_.ctx.settings.encExt = (*kind)->encExt;
    host_.keepSettings();
    eKindDoc_->setText((*kind)->displayName);
    eFileOut_->setText(outputFileName(eFileIn_->text(), (*kind)->encExt));
}

void SigningPage::sbPrivCertClick() {
    CertIdentity& identity = host_.ctx.settings.priv;
    if (!ChooseCertificate(this, identity, &host_.frontend))
        return;
    ePrivCert_->setText(crypto::identityLabel(identity));
    showCertificateTips();
    host_.keepSettings();
}

void SigningPage::sbPubCertClick() {
    CertIdentity& identity = host_.ctx.settings.pub;
    if (!ChooseCertificate(this, identity, &host_.frontend))
        return;
    ePubCert_->setText(crypto::identityLabel(identity));
    showCertificateTips();
    host_.keepSettings();
}

} // namespace telva
