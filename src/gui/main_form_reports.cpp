#include "archive/report_list.h"
#include "gui/main_form.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

namespace telva {

namespace {

// Each state in a colour of its own, so that the list reads at a glance.
QColor stateColour(const QString& state) {
    if (state == stateAccepted())
        return QColor(0x00, 0x70, 0x20);
    if (state == stateHasErrors())
        return QColor(0xB0, 0x00, 0x00);
    if (state == stateProcessing())
        return QColor(0x80, 0x50, 0x00);
    return {};
}

} // namespace

void TMainForm::setReportState(size_t index, const QString& state) {
    reports_[index].cells[ColState] = state;
    if (QTableWidgetItem* cell = gRep_->item(int(index), ColState)) {
        cell->setText(state);
        if (const QColor colour = stateColour(state); colour.isValid())
            cell->setForeground(colour);
    }
    followUp_.track(reports_, ctx_.clock.now());
    showReportCounts();
}

void TMainForm::filterReportList() {
    const QString wanted = eReportFilter_->text().trimmed();
    for (size_t index = 0; index < reports_.size(); ++index) {
        const ReportRow& row = reports_[index];
        bool shown = wanted.isEmpty();
        for (int c : {ColReportId, ColOrganisation, ColSourceFile, ColState})
            shown = shown || row.cells[c].contains(wanted, Qt::CaseInsensitive);
        gRep_->setRowHidden(int(index), !shown);
    }
}

void TMainForm::paintReportList() {
    for (size_t index = 0; index < reports_.size(); ++index)
        setReportState(index, reports_[index].state());
    filterReportList();
    // No header is cut short, whatever the widths the list starts with.
    QHeaderView* header = gRep_->horizontalHeader();
    for (int c = 0; c + 1 < gRep_->columnCount(); ++c)
        gRep_->setColumnWidth(c, qMax(gRep_->columnWidth(c), header->sectionSizeHint(c)));
}

void TMainForm::showReportCounts() {
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

} // namespace telva
