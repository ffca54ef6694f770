#include "gui/help_page.h"
#include "gui/icons.h"
#include "gui/main_form.h"
#include "gui/receipt_view.h"
#include "gui/status_panel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace telva {

namespace {

QAction* makeAction(QObject* parent, const char* name, const QString& caption,
                    const QString& hint = QString()) {
    auto* action = new QAction(caption, parent);
    action->setObjectName(QLatin1String(name));
    // The caption's "&" marks its key (Alt+letter); the buttons show it, as the icon text,
    // and a tooltip shows the plain text.
    action->setIconText(caption);
    action->setToolTip(hint.isEmpty() ? QString(caption).remove(QLatin1Char('&')) : hint);
    action->setStatusTip(hint);
    return action;
}

QToolButton* smallButton(QWidget* parent, const char* name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(QStringLiteral("…"));
    return button;
}

QLineEdit* edit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

} // namespace

void TMainForm::createActions() {
    acDo = makeAction(this, "acDo", QStringLiteral("Подписать и &зашифровать"),
                      QStringLiteral("Подписать и зашифровать выбранный файл"));
    acSend = makeAction(this, "acSend", QStringLiteral("Отп&равить в КВБ"),
                        QStringLiteral("Отправить успешно подписанный и зашифрованный отчет на "
                                       "шлюз приема отчетности КВБ"));
    acLoadCert = makeAction(
        this, "acLoadCert", QStringLiteral("&Установить сертификат уполномоченного лица КВБ"),
        QStringLiteral("Загрузить с сайта КВБ (%1) сертификат уполномоченного лица КВБ и "
                       "установить его")
            .arg(ctx_.settings.hosts.kvbSite));
    acLoadCert->setIcon(installCertificateIcon());
    acProxy = makeAction(this, "acProxy", QStringLiteral("&Настройки прокси-сервера"));
    acTestConn = makeAction(this, "acTestConn", QStringLiteral("&Тестировать подключение"));
    acGreedRefresh = makeAction(this, "acGreedRefresh", QString(), QStringLiteral("Обновить"));
    acGreedRefresh->setShortcut(QKeySequence::Refresh);
    addAction(acGreedRefresh);
    acLoadKvit = makeAction(this, "acLoadKvit", QStringLiteral("Обновить &информацию об отчете"),
                            QStringLiteral("Обновляет информацию по выделенной строке в списке "
                                           "отправленных отчетов."));
    acLoadKvit->setIcon(refreshReportIcon());
    acShowSrc = makeAction(this, "acShowSrc", QStringLiteral("Показать исходный &файл"),
                           QStringLiteral("Показать исходный файл"));
    acShowSrc->setIcon(showSourceIcon());
    acShowFinalXml = makeAction(this, "acShowFinalXml", QStringLiteral("Показать прин&ятый отчет"));
    acDelCurRec = makeAction(this, "acDelCurRec", QStringLiteral("&Удалить выделенный отчет"));
    acCheckSign = makeAction(this, "acCheckSign", QStringLiteral("Прове&рить"));
    acPrint = makeAction(this, "acPrint", QStringLiteral("П&ечать"));
    acSavePdf =
        makeAction(this, "acSavePdf", QStringLiteral("Сохранить &PDF"),
                   QStringLiteral("Сохранить квитанцию в папку документов одним файлом PDF"));
    acExport = makeAction(this, "acExport", QStringLiteral("&Экспорт архива"),
                          QStringLiteral("Записать папки выделенных отчетов в один ZIP-архив"));
    acSend->setEnabled(false);
    acPrint->setEnabled(false);
    acSavePdf->setEnabled(false);
    acOpenLog = makeAction(this, "acOpenLog", QStringLiteral("Открыть &журнал"));
    connect(acOpenLog, &QAction::triggered, this, [this] {
        if (!openJournal(frontend_))
            frontend_.showError(QStringLiteral("Не удалось открыть журнал."));
    });
    acImportCert = makeAction(this, "acImportCert", QStringLiteral("Импортировать сертификат…"),
                              QStringLiteral("Импортировать личный сертификат с закрытым ключом "
                                             "и выбрать его для подписи"));
    auto* help = makeAction(this, "acHelp", QStringLiteral("Справка"));
    help->setShortcut(QKeySequence::HelpContents);
    addAction(help);
    connect(help, &QAction::triggered, this, [this] { HelpPage(ctx_, this).exec(); });
    auto* quit = makeAction(this, "acQuit", QStringLiteral("Выход"));
    quit->setShortcut(QKeySequence::Quit);
    addAction(quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    const std::pair<QAction*, void (TMainForm::*)()> handlers[] = {
        {acDo, &TMainForm::acDoExecute},
        {acSend, &TMainForm::acSendExecute},
        {acLoadCert, &TMainForm::acLoadCertExecute},
        {acProxy, &TMainForm::acProxyExecute},
        {acTestConn, &TMainForm::acTestConnExecute},
        {acGreedRefresh, &TMainForm::acGreedRefreshExecute},
        {acLoadKvit, &TMainForm::acLoadKvitExecute},
        {acShowSrc, &TMainForm::acShowSrcExecute},
        {acShowFinalXml, &TMainForm::acShowFinalXmlExecute},
        {acDelCurRec, &TMainForm::acDelCurRecExecute},
        {acCheckSign, &TMainForm::acCheckSignExecute},
        {acPrint, &TMainForm::acPrintExecute},
        {acSavePdf, &TMainForm::acSavePdfExecute},
        {acExport, &TMainForm::acExportExecute},
        {acImportCert, &TMainForm::acImportCertExecute},
    };
    // Actions that ask the gateway or write into a report's folder: a background ask gives way
    // to them, so that they neither wait for its answer nor write beside it.
    const QList<QAction*> beforeAsks{acSend,         acLoadKvit,  acDelCurRec,
                                     acShowFinalXml, acCheckSign, acExport};
    for (const auto& entry : handlers) {
        QAction* action = entry.first;
        void (TMainForm::*handler)() = entry.second;
        const bool stopsAsk = beforeAsks.contains(action);
        connect(action, &QAction::triggered, this, [this, action, handler, stopsAsk] {
            // A control's trigger runs the update rule again, as every execution does.
            runUpdate(action);
            const int paints = frontend_.paintCount();
            ++running_;
            if (action->isEnabled() && stopsAsk)
                stopFollowUp();
            if (action->isEnabled())
                (this->*handler)();
            --running_;
            keepSettings();
            // Clicks and keys that came while a long step ran are dropped here, not run
            // afterwards.
            if (frontend_.paintCount() != paints)
                frontend_.processEvents();
        });
    }
}

QToolButton* TMainForm::actionButton(QAction* action) {
    auto* button = new QToolButton(this);
    button->setObjectName(QStringLiteral("btn_") + action->objectName());
    button->setDefaultAction(action);
    button->setToolButtonStyle(action->icon().isNull() ? Qt::ToolButtonTextOnly
                                                       : Qt::ToolButtonTextBesideIcon);
    button->setMinimumHeight(25);
    return button;
}

void TMainForm::createSignPage(QWidget* page) {
    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const QString& label, QWidget* control, QWidget* beside) {
        auto* caption = new QLabel(label, page);
        caption->setBuddy(control);
        grid->addWidget(caption, row, 0);
        grid->addWidget(control, row, 1);
        if (beside)
            grid->addWidget(beside, row, 2);
        ++row;
    };
    cbProv_ = new QComboBox(page);
    cbProv_->setObjectName(QStringLiteral("cbProv"));
    ePrivCert_ = edit(page, "ePrivCert");
    ePubCert_ = edit(page, "ePubCert");
    eFileIn_ = edit(page, "eFileIn");
    eKindDoc_ = edit(page, "eKindDoc");
    eKindDoc_->setReadOnly(true);
    eKindDoc_->setFrame(false);
    eKindDoc_->setStyleSheet(QStringLiteral("QLineEdit { background: palette(button); }"));
    eFileOut_ = edit(page, "eFileOut");
    auto* sbPrivCert = smallButton(page, "sbPrivCert");
    auto* sbPubCert = smallButton(page, "sbPubCert");
    auto* sbSelFile = smallButton(page, "sbSelFile");
    addRow(QStringLiteral("Криптопровайдер"), cbProv_, nullptr);
    addRow(QStringLiteral("Личный сертификат"), ePrivCert_, sbPrivCert);
    // The field shows the organisation; whose certificate it is and until when, here.
    lbPrivCertOwner_ = new QLabel(page);
    lbPrivCertOwner_->setObjectName(QStringLiteral("lbPrivCertOwner"));
    lbPrivCertOwner_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(lbPrivCertOwner_, row++, 1);
    addRow(QStringLiteral("Сертификат уполномоченного лица КВБ"), ePubCert_, sbPubCert);
    addRow(QStringLiteral("Файл для подписи и шифрования"), eFileIn_, sbSelFile);
    addRow(QStringLiteral("Вид подписываемого документа"), eKindDoc_, nullptr);
    addRow(QStringLiteral("Выходной файл"), eFileOut_, nullptr);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QGridLayout;
    buttons->addWidget(actionButton(acLoadCert), 0, 0);
    buttons->addWidget(actionButton(acProxy), 1, 0, Qt::AlignLeft);
    buttons->setColumnStretch(1, 1);
    buttons->addWidget(actionButton(acSend), 0, 2);
    buttons->addWidget(actionButton(acDo), 0, 3);

    lbCertWarning_ = new QLabel(page);
    lbCertWarning_->setObjectName(QStringLiteral("lbCertWarning"));
    lbCertWarning_->setStyleSheet(
        QStringLiteral("QLabel { background: #fff3c4; color: #7a4b00; padding: 3px; }"));
    lbCertWarning_->hide();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(lbCertWarning_);
    layout->addWidget(createFirstSteps(page));
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(sbSelFile, &QToolButton::clicked, this, &TMainForm::sbSelFileClick);
    connect(eFileIn_, &QLineEdit::textEdited, this, &TMainForm::eFileInEdited);
    connect(eFileIn_, &QLineEdit::editingFinished, this, &TMainForm::eFileInEditingFinished);
    connect(sbPrivCert, &QToolButton::clicked, this, &TMainForm::sbPrivCertClick);
    connect(sbPubCert, &QToolButton::clicked, this, &TMainForm::sbPubCertClick);
    for (QLineEdit* e : {ePrivCert_, ePubCert_, eFileIn_, eFileOut_})
        connect(e, &QLineEdit::textChanged, this, &TMainForm::acDoUpdate);
    connect(cbProv_, &QComboBox::currentIndexChanged, this, &TMainForm::acDoUpdate);
    connect(cbProv_, &QComboBox::currentTextChanged, this, &TMainForm::acDoUpdate);
}

void TMainForm::createReportsPage(QWidget* page) {
    gRep_ = new QTableWidget(1, ReportColumnCount, page);
    gRep_->setObjectName(QStringLiteral("gRep"));
    const auto& headers = reportListHeaders();
    gRep_->setHorizontalHeaderLabels(QStringList(headers.begin(), headers.end()));
    gRep_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several rows are chosen for an export; the other actions take the current row.
    gRep_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    gRep_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gRep_->setShowGrid(true);
    gRep_->verticalHeader()->hide();
    gRep_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    gRep_->horizontalHeader()->setStretchLastSection(true);
    gRep_->horizontalHeader()->setSectionsClickable(true);
    connect(gRep_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TMainForm::sortReportList);
    const int widths[] = {127, 131, 136, 92, 130, 71};
    for (int c = 0; c < 6; ++c)
        gRep_->setColumnWidth(c, widths[c]);
    gRep_->setContextMenuPolicy(Qt::CustomContextMenu);
    pmRep_ = new QMenu(gRep_);
    pmRep_->setObjectName(QStringLiteral("pmRep"));
    pmRep_->addAction(acDelCurRec);
    connect(gRep_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmRep_->popup(gRep_->viewport()->mapToGlobal(at)); });
    connect(gRep_, &QTableWidget::cellDoubleClicked, this, [this] { execute(acLoadKvit); });
    // Enter on a row does what a double click does, so the list needs no mouse.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* enter = new QShortcut(key, gRep_, nullptr, nullptr, Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, [this] { execute(acLoadKvit); });
    }
    connect(gRep_, &QTableWidget::currentCellChanged, this, &TMainForm::acShowFinalXmlUpdate);

    cbAutoRefresh_ = new QCheckBox(QStringLiteral("Обновлять состояние автоматически"), page);
    cbAutoRefresh_->setObjectName(QStringLiteral("cbAutoRefresh"));
    lbReportCounts_ = new QLabel(page);
    lbReportCounts_->setObjectName(QStringLiteral("lbReportCounts"));
    // A line of its own: beside the buttons it would widen the window past small screens.
    eReportFilter_ = edit(page, "eReportFilter");
    eReportFilter_->setPlaceholderText(QStringLiteral("Отбор: идентификатор, организация, файл"));
    eReportFilter_->setClearButtonEnabled(true);
    connect(eReportFilter_, &QLineEdit::textChanged, this, &TMainForm::filterReportList);
    auto* info = new QHBoxLayout;
    info->addWidget(lbReportCounts_);
    info->addStretch(1);
    info->addWidget(cbAutoRefresh_);
    auto* bar = new QHBoxLayout;
    bar->addWidget(actionButton(acExport));
    bar->addStretch(1);
    bar->addWidget(actionButton(acShowFinalXml));
    bar->addWidget(actionButton(acShowSrc));
    bar->addWidget(actionButton(acLoadKvit));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(eReportFilter_);
    layout->addWidget(gRep_, 1);
    layout->addLayout(info);
    layout->addLayout(bar);
}

void TMainForm::createReceiptPage(QWidget* page) {
    eFileSigned_ = edit(page, "eFileSigned");
    auto* sbSelKvit = smallButton(page, "sbSelKvit");
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Подписанный файл"), page));
    top->addWidget(eFileSigned_, 1);
    top->addWidget(sbSelKvit);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(actionButton(acPrint));
    buttons->addWidget(actionButton(acSavePdf));
    buttons->addWidget(actionButton(acCheckSign));
    buttons->addStretch(1);
    receiptView_ = new ReceiptView(page);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->addWidget(receiptView_, 1);
    connect(sbSelKvit, &QToolButton::clicked, this, &TMainForm::sbSelKvitClick);
    connect(eFileSigned_, &QLineEdit::textChanged, this, &TMainForm::acCheckSignUpdate);
}

void TMainForm::createStatusBar() {
    statusPanel_ = new StatusPanel(this);
    pmCon_ = new QMenu(this);
    pmCon_->setObjectName(QStringLiteral("pmCon"));
    pmCon_->addAction(acTestConn);
    pmCon_->addAction(acProxy);
    pmCon_->addAction(acOpenLog);
    connect(statusPanel_, &StatusPanel::iconMenuRequested, this, &TMainForm::showConnectionMenu);
}

} // namespace telva
