#include "gui/sent_reports_page.h"

#include "archive/report_export.h"
#include "gui/icons.h"
#include "gui/page_controls.h"
#include "gui/page_host.h"
#include "operations/report_actions.h"
#include "operations/send_recovery.h"

#include <QAction>
#include <QCheckBox>
#include <QDate>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace telva {

SentReportsPage::SentReportsPage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("tsReports"));
    createActions();
    createControls();
    connect(&host_, &PageHost::wayWanted, this, &SentReportsPage::stopFollowUp);
    acShowFinalXmlUpdate();
}

void SentReportsPage::createActions() {
    acGreedRefresh = makeAction(this, "acGreedRefresh", QString(), QStringLiteral("Обновить"));
    acGreedRefresh->setShortcut(QKeySequence::Refresh);
    acLoadKvit = makeAction(this, "acLoadKvit", QStringLiteral("Обновить &информацию об отчете"),
                            QStringLiteral("Обновляет информацию по выделенной строке в списке "
                                           "отправленных отчетов."));
    acLoadKvit->setIcon(refreshReportIcon());
    acShowSrc = makeAction(this, "acShowSrc", QStringLiteral("Показать исходный &файл"),
                           QStringLiteral("Показать исходный файл"));
    acShowSrc->setIcon(showSourceIcon());
    acShowFinalXml = makeAction(this, "acShowFinalXml", QStringLiteral("Показать прин&ятый отчет"));
    acDelCurRec = makeAction(this, "acDelCurRec", QStringLiteral("&Удалить выделенный отчет"));
    acExport = makeAction(this, "acExport", QStringLiteral("&Экспорт архива"),
                          QStringLiteral("Записать папки выделенных отчетов в один ZIP-архив"));
    // Those that ask the gateway or write into a report's folder make a background ask give
    // way, so that they neither wait for its answer nor write beside it.
    host_.bind(acGreedRefresh, [this] { acGreedRefreshExecute(); });
    host_.bind(
        acLoadKvit, [this] { acLoadKvitExecute(); }, true);
    host_.bind(acShowSrc, [this] { acShowSrcExecute(); });
    host_.bind(
        acShowFinalXml, [this] { acShowFinalXmlExecute(); }, true);
    host_.bind(
        acDelCurRec, [this] { acDelCurRecExecute(); }, true);
    host_.bind(
        acExport, [this] { acExportExecute(); }, true);
    host_.setUpdateRule(acShowFinalXml, [this] { acShowFinalXmlUpdate(); });
}

void SentReportsPage::createControls() {
    gRep_ = new QTableWidget(1, ReportColumnCount, this);
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
            &SentReportsPage::sortReportList);
    const int widths[] = {127, 131, 136, 92, 130, 71};
    for (int c = 0; c < 6; ++c)
        gRep_->setColumnWidth(c, widths[c]);
    gRep_->setContextMenuPolicy(Qt::CustomContextMenu);
    pmRep_ = new QMenu(gRep_);
    pmRep_->setObjectName(QStringLiteral("pmRep"));
    pmRep_->addAction(acDelCurRec);
    connect(gRep_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmRep_->popup(gRep_->viewport()->mapToGlobal(at)); });
    connect(gRep_, &QTableWidget::cellDoubleClicked, this, [this] { host_.execute(acLoadKvit); });
    // Enter on a row does what a double click does, so the list needs no mouse.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* enter = new QShortcut(key, gRep_, nullptr, nullptr, Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, [this] { host_.execute(acLoadKvit); });
    }
    connect(gRep_, &QTableWidget::currentCellChanged, this, &SentReportsPage::acShowFinalXmlUpdate);

    cbAutoRefresh_ = new QCheckBox(QStringLiteral("Обновлять состояние автоматически"), this);
    cbAutoRefresh_->setObjectName(QStringLiteral("cbAutoRefresh"));
    connect(cbAutoRefresh_, &QCheckBox::toggled, this, [this](bool on) {
        host_.ctx.settings.autoRefresh = on;
        host_.keepSettings();
    });
    lbReportCounts_ = new QLabel(this);
    lbReportCounts_->setObjectName(QStringLiteral("lbReportCounts"));
    // A line of its own: beside the buttons it would widen the window past small screens.
    eReportFilter_ = lineEdit(this, "eReportFilter");
    eReportFilter_->setPlaceholderText(QStringLiteral("Отбор: идентификатор, организация, файл"));
    eReportFilter_->setClearButtonEnabled(true);
    connect(eReportFilter_, &QLineEdit::textChanged, this, &SentReportsPage::filterReportList);
    auto* info = new QHBoxLayout;
    info->addWidget(lbReportCounts_);
    info->addStretch(1);
    info->addWidget(cbAutoRefresh_);
    auto* bar = new QHBoxLayout;
    bar->addWidget(actionButton(this, acExport));
    bar->addStretch(1);
    bar->addWidget(actionButton(this, acShowFinalXml));
    bar->addWidget(actionButton(this, acShowSrc));
    bar->addWidget(actionButton(this, acLoadKvit));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(eReportFilter_);
    layout->addWidget(gRep_, 1);
    layout->addLayout(info);
    layout->addLayout(bar);
}

void SentReportsPage::settingsLoaded() {
    const QSignalBlocker quiet(cbAutoRefresh_);
    cbAutoRefresh_->setChecked(host_.ctx.settings.autoRefresh);
}

void SentReportsPage::refresh() {
    host_.execute(acGreedRefresh);
}

QList<QAction*> SentReportsPage::networkActions() const {
    return {acLoadKvit};
}

void SentReportsPage::acShowFinalXmlUpdate() {
    const ReportRow* row = selectedReport();
    acShowFinalXml->setEnabled(row && CanShowAcceptedReport(host_.ctx, *row));
}

const ReportRow* SentReportsPage::selectedReport() const {
    const std::optional<size_t> index = reportAt(gRep_->currentRow());
    return index ? &reports_[*index] : nullptr;
}

void SentReportsPage::acGreedRefreshExecute() {
    RecoverSends(host_.ctx);
    reports_ = FillReportList(host_.ctx);
    fillReportGrid();
    paintReportList();
    gRep_->setCurrentCell(0, 0);
    acShowFinalXmlUpdate();
    watchReportFolders();
}

void SentReportsPage::acLoadKvitExecute() {
    const ReportRow* row = selectedReport();
    if (!row)
        return;
    // A send without an identifier has nothing to ask the gateway about; the row says why.
    if (!row->detail.isEmpty()) {
        host_.ShowStatus(row->detail);
        return;
    }
    const size_t index = size_t(row - reports_.data());
    followUp_.restart(row->id(), host_.ctx.clock.ticks());
    followUpNotes_.remove(row->id());
    toldFailures_.remove(row->id());
    const Result<RefreshOutcome> refreshed = RefreshReportState(host_.ctx, host_.http, *row);
    if (!refreshed) {
        host_.showOutcome(refreshed.text(), StatusKind::Error);
        return;
    }
    const RefreshOutcome& outcome = *refreshed;
    if (outcome.status)
        host_.ShowStatus(*outcome.status);
    if (outcome.newState)
        setReportState(index, *outcome.newState);
    acShowFinalXmlUpdate();
    if (!outcome.receiptToCheck.isEmpty())
        Q_EMIT receiptDownloaded(outcome.receiptToCheck, outcome.checked);
}

void SentReportsPage::acShowSrcExecute() {
    if (const ReportRow* row = selectedReport())
        ShowSourceFile(host_.ctx, *row);
}

void SentReportsPage::acShowFinalXmlExecute() {
    if (const ReportRow* row = selectedReport())
        if (const Status shown = ShowAcceptedReport(host_.ctx, *row); !shown)
            host_.showOutcome(shown.text(), StatusKind::Error);
}

void SentReportsPage::acDelCurRecExecute() {
    const ReportRow* row = selectedReport();
    if (!row)
        return;
    const Result<QString> deleted = DeleteReport(host_.ctx, *row);
    host_.showOutcome(deleted);
    if (deleted)
        host_.execute(acGreedRefresh);
}

void SentReportsPage::acExportExecute() {
    const QString zip = QFileDialog::getSaveFileName(
        this, QStringLiteral("Экспорт архива"),
        PageHost::documentsFolder() + QStringLiteral("/Отчеты_") +
            QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".zip"),
        QStringLiteral("ZIP (*.zip)"));
    if (!zip.isEmpty())
        exportReportsTo(zip);
}

void SentReportsPage::exportReportsTo(const QString& zipPath) {
    QStringList ids;
    for (const QModelIndex& chosen : gRep_->selectionModel()->selectedRows()) {
        const std::optional<size_t> index = reportAt(chosen.row());
        if (index && !reports_[*index].id().isEmpty() && !gRep_->isRowHidden(chosen.row()))
            ids.append(reports_[*index].id());
    }
    if (ids.isEmpty()) {
        host_.ShowStatus(QStringLiteral("Выделите отчеты для экспорта."));
        return;
    }
    const Status written = exportReports(host_.ctx.archiveBaseFolder, ids, zipPath);
    host_.showOutcome(written ? Result<QString>(QStringLiteral("Архив отчетов сохранен: %1 "
                                                               "(отчетов: %2)")
                                                    .arg(zipPath)
                                                    .arg(ids.size()))
                              : Result<QString>(written.error()));
}

} // namespace telva
