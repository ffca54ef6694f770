#include "gui/cert_chooser.h"

#include "app/clock.h"
#include "app/frontend.h"
#include "app/program.h"
#include "app/safe_file.h"
#include "app/texts.h"
#include "crypto/cert_format.h"
#include "crypto/cert_identity.h"
#include "crypto/cert_import.h"
#include "crypto/cert_rows.h"
#include "crypto/cert_store.h"
#include "crypto/key_files.h"
#include "gui/cert_viewer.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace telva {

using namespace telva::crypto;

namespace {

const QColor kUnusableColor(0xB0, 0x00, 0x00);
constexpr int kWidestColumn = 200;

QCheckBox* boldCheckBox(const QString& caption, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    QFont font = box->font();
    font.setBold(true);
    box->setFont(font);
    box->setChecked(true);
    return box;
}

} // namespace

TGetCertDlg::TGetCertDlg(QWidget* parent, Frontend* frontend)
    : QDialog(parent), frontend_(frontend) {
    FormCreate();
}

void TGetCertDlg::FormCreate() {
    setObjectName(QStringLiteral("TGetCertDlg"));
    setWindowTitle(QStringLiteral("Выбор сертификата"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setMinimumSize(647, 355);
    resize(860, 400);
    setSizeGripEnabled(true);

    tab = new QTabBar(this);
    tab->setObjectName(QStringLiteral("tab"));
    tab->setExpanding(false);
    tab->setUsesScrollButtons(true);
    for (const StoreInfo& store : kStores)
        tab->addTab(QString::fromUtf8(store.caption));

    grid = new QTableWidget(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setColumnCount(CertColumnCount);
    grid->setHorizontalHeaderLabels(certColumnHeaders());
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->horizontalHeader()->setDefaultSectionSize(150);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);

    cbGost = boldCheckBox(QStringLiteral("Только ГОСТ Р 34.11/34.10-2001"), "cbGost", this);
    cbKVB = boldCheckBox(QStringLiteral("Удовлетворяющие требованиям КВБ РФ"), "cbKVB", this);
    Button3 = new QPushButton(QStringLiteral("ОК"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setDefault(true);
    Button1 = new QPushButton(QStringLiteral("Отмена"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    btnImport = new QPushButton(QStringLiteral("Импорт…"), this);
    btnImport->setObjectName(QStringLiteral("btnImport"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QStringLiteral("Показать сертификат"));
    N1->setObjectName(QStringLiteral("N1"));
    N2 = PopupMenu1->addAction(QStringLiteral("Проверить закрытый ключ"));
    N2->setObjectName(QStringLiteral("N2"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(cbGost);
    filters->addWidget(cbKVB);
    filters->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnImport);
    buttons->addStretch();
    buttons->addWidget(Button3);
    buttons->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(tab);
    layout->addWidget(grid, 1);
    layout->addSpacing(6);
    layout->addLayout(filters);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    connect(tab, &QTabBar::currentChanged, this, [this](int index) {
        if (shown_)
            FillCertGrid(index);
    });
    connect(cbGost, &QCheckBox::clicked, this, [this] { FillCertGrid(currentTab()); });
    connect(cbKVB, &QCheckBox::clicked, this, [this] { FillCertGrid(currentTab()); });
    connect(grid, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    connect(grid->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this, &QDialog::accept);
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(grid->viewport()->mapToGlobal(at)); });
    connect(N1, &QAction::triggered, this, &TGetCertDlg::N1Click);
    connect(N2, &QAction::triggered, this, &TGetCertDlg::N2Click);
    connect(Button3, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnImport, &QPushButton::clicked, this, &TGetCertDlg::btnImportClick);
}

void TGetCertDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shown_)
        return;
    const QSignalBlocker block(tab);
    tab->setCurrentIndex(startTab_);
    shown_ = true;
    FillCertGrid(currentTab());
}

int TGetCertDlg::currentTab() const {
    return tab->currentIndex();
}

void TGetCertDlg::FillCertGrid(int tabIndex) {
    grid->clearContents();
    grid->setRowCount(1);
    const CertListing listing = ListCertificates(tabIndex, cbGost->isChecked(), cbKVB->isChecked());
    grid->setRowCount(qMax<qsizetype>(1, listing.rows.size()));
    const QDateTime now = Clock::system().now();
    for (qsizetype r = 0; r < listing.rows.size(); ++r) {
        const Certificate& cert = listing.certs[r];
        // A certificate that cannot be used now stands out before anyone picks it.
        const bool unusable = validityAt(cert, now) != Validity::Valid;
        const QString tip = certSummary(cert, now);
        for (int c = 0; c < CertColumnCount; ++c) {
            auto* item = new QTableWidgetItem(listing.rows[r][c]);
            item->setToolTip(tip);
            if (unusable)
                item->setForeground(kUnusableColor);
            grid->setItem(int(r), c, item);
        }
    }
    // Narrow columns where the text allows, so that the validity is in sight at once.
    grid->resizeColumnsToContents();
    for (int c = 0; c < CertColumnCount; ++c)
        grid->setColumnWidth(c, qMin(grid->columnWidth(c), kWidestColumn));
    // The certificate chosen before is the current row when it is listed; an empty list has
    // no current row, so that nothing blank stands highlighted.
    int current = listing.rows.isEmpty() ? -1 : 0;
    for (qsizetype r = 0; r < listing.rows.size(); ++r) {
        const CertIdentity row = identityFromRow(tabIndex, listing.rows[r]);
        if (!startIdentity_.sernum.isEmpty() && row.issuer == startIdentity_.issuer &&
            row.sernum == startIdentity_.sernum)
            current = int(r);
    }
    grid->setCurrentCell(current, current < 0 ? -1 : 0);
    if (current >= 0)
        grid->scrollToItem(grid->item(current, 0));
}

CertIdentity TGetCertDlg::currentIdentity() const {
    const int row = grid->currentRow();
    QStringList cells;
    for (int column = 0; column < CertColumnCount; ++column) {
        const QTableWidgetItem* item = row >= 0 ? grid->item(row, column) : nullptr;
        cells.append(item ? item->text() : QString());
    }
    return identityFromRow(currentTab(), cells);
}

std::optional<Certificate> TGetCertDlg::currentCertificate() const {
    Result<CertStore> store = CertStore::open(currentTab());
    if (!store)
        return std::nullopt;
    const CertIdentity row = currentIdentity();
    return FindCertByIdentity(*store, row.issuer, row.sernum);
}

void TGetCertDlg::tell(const QString& text) {
    if (messageSink) {
        messageSink(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, programTitle(), text, QMessageBox::Ok, this);
    box.exec();
}

void TGetCertDlg::N1Click() {
    const std::optional<Certificate> cert = currentCertificate();
    if (!cert)
        return;
    TCertViewer viewer(*cert, this);
    viewer.exec();
}

void TGetCertDlg::N2Click() {
    const std::optional<Certificate> cert = currentCertificate();
    if (!cert)
        return;
    tell(HasPrivateKey(*cert) ? QStringLiteral("Есть закрытый ключ.") : noPrivateKeyText());
}

QString TGetCertDlg::importFiles(const QString& path, const QString& keyPath) {
    const Result<Certificate> cert = ImportCertificateFiles(currentTab(), path, keyPath, frontend_);
    FillCertGrid(currentTab());
    if (!cert)
        return cert.text();
    return QStringLiteral("Сертификат импортирован.");
}

void TGetCertDlg::btnImportClick() {
    if (const std::optional<CertificateFiles> files = askCertificateFiles(this))
        tell(importFiles(files->certificate, files->key));
}

std::optional<CertificateFiles> askCertificateFiles(QWidget* parent) {
    const QString path = QFileDialog::getOpenFileName(
        parent, QStringLiteral("Импорт сертификата"), QString(),
        QStringLiteral(
            "Сертификаты и PKCS#12 (*.cer *.crt *.der *.pem *.p12 *.pfx);;Все файлы (*)"));
    if (path.isEmpty())
        return std::nullopt;
    QString keyPath;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && !looksLikePkcs12(file.read(kSmallFileLimit)) &&
        QMessageBox::question(parent, programTitle(),
                              QStringLiteral("Импортировать закрытый ключ этого сертификата?")) ==
            QMessageBox::Yes) {
        keyPath = QFileDialog::getOpenFileName(
            parent, QStringLiteral("Закрытый ключ"), QString(),
            QStringLiteral("Ключи (*.pem *.key *.der);;Все файлы (*)"));
        if (keyPath.isEmpty())
            return std::nullopt;
    }
    return CertificateFiles{path, keyPath};
}

bool ChooseCertificate(QWidget* parent, CertIdentity& identity, Frontend* frontend) {
    TGetCertDlg dialog(parent, frontend);
    dialog.setStartTab(identity.store);
    dialog.setStartIdentity(identity);
    dialog.cbKVB->setChecked(identity.store == toIndex(Store::My));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    identity = dialog.currentIdentity();
    return true;
}

} // namespace telva
