#include "archive/report_archive.h"
#include "archive/report_list.h"
#include "gui/page_host.h"
#include "gui/sent_reports_page.h"

#include "app/safe_file.h"

#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>

namespace telva {

namespace {

// How long the archive must stay quiet before the list is read again: a report being filed
// changes its folder several times in a row.
constexpr int kArchiveSettleMs = 400;

// Each state in a colour of its own, so that the list reads at a glance.
QColor stateColour(const QString& state) {
    if (state == stateAccepted())
        return QColor(0x00, 0x70, 0x20);
    if (state == stateHasErrors())
        return QColor(0xB0, 0x00, 0x00);
    if (state == stateProcessing())
        return QColor(0x80, 0x50, 0x00);
    if (state == stateUnconfirmed())
        return QColor(0xB0, 0x00, 0x80);
    return {};
}

// The report's place in reports_, kept on the row's first cell: the grid's rows move when
// the person sorts, the list does not.
constexpr int kReportIndexRole = Qt::UserRole;
// The date cell's order key, so that the dates sort as dates, not as "DD-MM-YYYY" texts.
constexpr int kSortKeyRole = Qt::UserRole + 1;

class ReportItem : public QTableWidgetItem {
public:
    using QTableWidgetItem::QTableWidgetItem;
    bool operator<(const QTableWidgetItem& other) const override {
        const QVariant mine = data(kSortKeyRole);
        const QVariant theirs = other.data(kSortKeyRole);
        if (mine.isValid() && theirs.isValid())
            return mine.toLongLong() < theirs.toLongLong();
        return QTableWidgetItem::operator<(other);
    }
};

} // namespace

void SentReportsPage::fillReportGrid() {
    gRep_->clearContents();
    gRep_->setRowCount(static_cast<int>(reports_.size()));
    for (size_t r = 0; r < reports_.size(); ++r) {
        for (int c = 0; c < ReportColumnCount; ++c) {
            auto* item = new ReportItem(reports_[r].cells[c]);
            if (c == ColReportId)
                item->setData(kReportIndexRole, qulonglong(r));
            if (c == ColSendDate)
                item->setData(kSortKeyRole, sendDateSortKey(reports_[r].cells[c]));
            if (c == ColState)
                item->setToolTip(reports_[r].detail.isEmpty()
                                     ? followUpNotes_.value(reports_[r].id())
                                     : reports_[r].detail);
            gRep_->setItem(static_cast<int>(r), c, item);
        }
    }
    QHeaderView* header = gRep_->horizontalHeader();
    if (header->isSortIndicatorShown())
        gRep_->sortItems(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

void SentReportsPage::sortReportList(int column) {
    QHeaderView* header = gRep_->horizontalHeader();
    // The first click sorts upwards, the next ones turn the order round.
    const Qt::SortOrder order = header->isSortIndicatorShown() &&
                                        header->sortIndicatorSection() == column &&
                                        header->sortIndicatorOrder() == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, order);
    const std::optional<size_t> chosen = reportAt(gRep_->currentRow());
    gRep_->sortItems(column, order);
    // Hidden rows are the grid's, not the reports': the filter is applied to the new order.
    filterReportList();
    fitHeaders();
    if (chosen)
        gRep_->setCurrentCell(gridRowOf(*chosen), gRep_->currentColumn());
}

std::optional<size_t> SentReportsPage::reportAt(int gridRow) const {
    const QTableWidgetItem* first = gridRow >= 0 ? gRep_->item(gridRow, ColReportId) : nullptr;
    if (!first)
        return std::nullopt;
    const size_t index = first->data(kReportIndexRole).toULongLong();
    if (index >= reports_.size())
        return std::nullopt;
    return index;
}

int SentReportsPage::gridRowOf(size_t index) const {
    for (int row = 0; row < gRep_->rowCount(); ++row) {
        if (reportAt(row) == index)
            return row;
    }
    return -1;
}

void SentReportsPage::setReportState(size_t index, const QString& state) {
    reports_[index].cells[ColState] = state;
    if (QTableWidgetItem* cell = gRep_->item(gridRowOf(index), ColState)) {
        cell->setText(state);
        if (const QColor colour = stateColour(state); colour.isValid())
            cell->setForeground(colour);
    }
    followUp_.track(reports_, host_.ctx.clock.ticks(), host_.ctx.clock.now());
    showReportCounts();
}

void SentReportsPage::filterReportList() {
    const QString wanted = eReportFilter_->text().trimmed();
    for (int gridRow = 0; gridRow < gRep_->rowCount(); ++gridRow) {
        const std::optional<size_t> index = reportAt(gridRow);
        bool shown = wanted.isEmpty();
        for (int c : {ColReportId, ColOrganisation, ColSourceFile, ColState})
            shown =
                shown || (index && reports_[*index].cells[c].contains(wanted, Qt::CaseInsensitive));
        gRep_->setRowHidden(gridRow, !shown);
    }
}

void SentReportsPage::paintReportList() {
    for (size_t index = 0; index < reports_.size(); ++index)
        setReportState(index, reports_[index].state());
    filterReportList();
    fitHeaders();
}

void SentReportsPage::fitHeaders() {
    // No header is cut short, whatever the widths the list starts with, sort mark included.
    QHeaderView* header = gRep_->horizontalHeader();
    for (int c = 0; c + 1 < gRep_->columnCount(); ++c)
        gRep_->setColumnWidth(c, qMax(gRep_->columnWidth(c), header->sectionSizeHint(c)));
}

void SentReportsPage::showReportCounts() {
    int processing = 0, errors = 0, accepted = 0;
    for (const ReportRow& row : reports_) {
        processing += row.state() == stateProcessing();
        errors += row.state() == stateHasErrors();
        accepted += row.state() == stateAccepted();
    }
    lbReportCounts_->setText(QStringLiteral("Обрабатывается: %1   Обнаружены ошибки: %2   "
                                            "Успешно обработан: %3")
                                 .arg(processing)
                                 .arg(errors)
                                 .arg(accepted));
}

void SentReportsPage::watchArchive() {
    archiveWatcher_ = new QFileSystemWatcher(this);
    archiveSettled_ = new QTimer(this);
    archiveSettled_->setSingleShot(true);
    archiveSettled_->setInterval(kArchiveSettleMs);
    connect(archiveWatcher_, &QFileSystemWatcher::directoryChanged, archiveSettled_,
            qOverload<>(&QTimer::start));
    connect(archiveSettled_, &QTimer::timeout, this, &SentReportsPage::archiveChanged);
    watchReportFolders();
}

// The mode folder (where ARC appears), ARC (reports come and go) and the folders of the
// reports whose state may still change (a receipt or an error page arrives there).
void SentReportsPage::watchReportFolders() {
    if (!archiveWatcher_ || host_.ctx.archiveBaseFolder.isEmpty())
        return;
    QStringList wanted{host_.ctx.archiveBaseFolder};
    if (const QString arc = archiveFolder(host_.ctx.archiveBaseFolder); isRealFolder(arc))
        wanted.append(arc);
    for (const ReportRow& row : reports_) {
        if (!row.id().isEmpty() && row.state() != stateAccepted())
            wanted.append(reportFolder(host_.ctx.archiveBaseFolder, row.id()));
    }
    QStringList gone;
    for (const QString& folder : archiveWatcher_->directories()) {
        if (!wanted.contains(folder))
            gone.append(folder);
    }
    if (!gone.isEmpty())
        archiveWatcher_->removePaths(gone);
    QStringList added;
    for (const QString& folder : wanted) {
        if (!archiveWatcher_->directories().contains(folder))
            added.append(folder);
    }
    if (!added.isEmpty())
        archiveWatcher_->addPaths(added);
}

void SentReportsPage::archiveChanged() {
    // An operation of the person's holds rows of the list; the list waits for its end.
    if (host_.running() > 0) {
        archiveSettled_->start();
        return;
    }
    reloadReportList();
}

void SentReportsPage::reloadReportList() {
    const ReportRow* chosen = selectedReport();
    const QString chosenId = chosen ? chosen->id() : QString();
    const int column = qMax(gRep_->currentColumn(), 0);
    reports_ = FillReportList(host_.ctx);
    fillReportGrid();
    paintReportList();
    int gridRow = 0;
    for (size_t index = 0; index < reports_.size(); ++index) {
        if (!chosenId.isEmpty() && reports_[index].id() == chosenId)
            gridRow = qMax(gridRowOf(index), 0);
    }
    gRep_->setCurrentCell(gridRow, column);
    acShowFinalXmlUpdate();
    watchReportFolders();
}

} // namespace telva
