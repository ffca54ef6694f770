#pragma once

#include "archive/follow_up.h"
#include "archive/report_list.h"
#include "gui/background_ask.h"
#include "operations/receipt_check.h"
#include "operations/report_status.h"

#include <QHash>
#include <QWidget>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QMenu;
class QTableWidget;
class QTimer;

namespace telva {

class DesktopNotifier;
class PageHost;

// "Отправленные отчеты": the sent-reports list with its filter and actions, and the follow-up
// of the reports in processing, asked about in the background.
class SentReportsPage : public QWidget {
    Q_OBJECT
public:
    SentReportsPage(PageHost& host, QWidget* parent);
    ~SentReportsPage() override;

    // What the settings say, once they are read.
    void settingsLoaded();
    // Once the window is shown: the list read, the follow-up and the archive's watch begun.
    void start();
    // The list read again, as "Обновить" does.
    void refresh();
    // A report just sent is followed from the moment it went out.
    void follow(const QString& reportId);
    // Asks about the report in processing whose turn has come, when nothing else happens
    // (run by a timer while the window is open). The ask runs on a thread of its own and
    // opens nothing; its outcome comes back to the list, the journal and a notification.
    void followUp();
    bool followUpRunning() const;
    // The person's operation on the gateway or the archive comes first: an ask under way is
    // cancelled (it ends within a second) and made again a minute later.
    void stopFollowUp();
    // The report's row chosen, with the filter cleared.
    void choose(const QString& reportId);
    // What "Экспорт архива" does once the person has named the ZIP: the chosen rows' folders.
    void exportReportsTo(const QString& zipPath);
    // The refresh action: F5 anywhere in the window.
    QAction* refreshAction() const { return acGreedRefresh; }
    // Actions whose buttons go while the gateway cannot be reached.
    QList<QAction*> networkActions() const;

Q_SIGNALS:
    // A receipt downloaded for a report wants the receipt page.
    void receiptDownloaded(const QString& file,
                           const std::optional<Result<crypto::CheckedReceipt>>& checked);
    // A notification about the report was clicked.
    void reportWanted(const QString& reportId);

private:
    void createActions();
    void createControls();

    void acShowFinalXmlUpdate();
    void acGreedRefreshExecute();
    void acLoadKvitExecute();
    void acShowSrcExecute();
    void acShowFinalXmlExecute();
    void acDelCurRecExecute();
    void acExportExecute();

    // The sent-reports list: a row's state changed in place, the whole list shown, the
    // count per state.
    void setReportState(size_t index, const QString& state);
    void fillReportGrid();
    void paintReportList();
    void fitHeaders();
    // A header click sorts by that column (the date as a date); rows keep their report.
    void sortReportList(int column);
    // The report shown on a row of the grid, and the row showing a report (-1: none).
    std::optional<size_t> reportAt(int gridRow) const;
    int gridRowOf(size_t index) const;
    const ReportRow* selectedReport() const;
    // Shows only the rows whose identifier, organisation, file or state has the filter's text.
    void filterReportList();
    void showReportCounts();
    // Reports the terminal program sends or refreshes show up without reopening the page:
    // the archive is watched, and once it has been quiet for a moment the list is read
    // again with the chosen report kept.
    void watchArchive();
    void watchReportFolders();
    void archiveChanged();
    void reloadReportList();

    bool requestWouldWait() const;
    void takeBackgroundAsk();
    // A background ask that learned nothing new: the row's tip, the journal and, once per
    // trouble, a notification.
    void noteFollowUp(const QString& reportId, const QString& sourceFile, const QString& text);
    static QString notificationSummary(const QString& reportId, const QString& sourceFile);
    void tellOutcome(const QString& reportId, const QString& sourceFile,
                     const RefreshOutcome& outcome);

    PageHost& host_;
    ReportList reports_;
    FollowUpSchedule followUp_;
    std::unique_ptr<BackgroundAsk> asking_;
    int asksStarted_ = 0;
    // What the last background ask about a report ran into, by report; the last one told.
    QHash<QString, QString> followUpNotes_;
    QHash<QString, QString> toldFailures_;
    DesktopNotifier* notifier_ = nullptr;
    QFileSystemWatcher* archiveWatcher_ = nullptr;
    QTimer* archiveSettled_ = nullptr;

    QTableWidget* gRep_ = nullptr;
    QCheckBox* cbAutoRefresh_ = nullptr;
    QLabel* lbReportCounts_ = nullptr;
    QLineEdit* eReportFilter_ = nullptr;
    QMenu* pmRep_ = nullptr;

    QAction* acGreedRefresh = nullptr;
    QAction* acLoadKvit = nullptr;
    QAction* acShowSrc = nullptr;
    QAction* acShowFinalXml = nullptr;
    QAction* acDelCurRec = nullptr;
    QAction* acExport = nullptr;
};

} // namespace telva
