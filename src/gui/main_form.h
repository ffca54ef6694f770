#pragma once

#include "app/context.h"
#include "app/file_stamp.h"
#include "app/recent_places.h"
#include "gui/background_ask.h"
#include "gui/gui_frontend.h"
#include "gui/status_panel.h"
#include "operations/receipt_check.h"
#include "operations/report_status.h"
#include "operations/submission.h"

#include "archive/follow_up.h"
#include "archive/report_list.h"

#include <QHash>
#include <QMainWindow>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QMenu;
class QTabWidget;
class QTableWidget;
class QTimer;
class QToolButton;

namespace telva {

class DesktopNotifier;
class HttpClient;
class ReceiptView;

// The program's window: three pages, the named actions, the status bar. It owns the
// run's state and hands it to the core operations.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(const QStringList& arguments, QWidget* parent = nullptr);
    ~TMainForm() override;

    AppContext& context() { return ctx_; }

    // Writes the status line: the text, and a failure's readable text in parentheses (which
    // makes it a failure's line).
    void ShowStatus(const QString& text, const QString& errorText = QString(),
                    StatusKind kind = StatusKind::Info);
    // An operation's text on the status line, coloured by its kind; an empty one (an aborted
    // step) leaves the line as it is.
    void showOutcome(const QString& text, StatusKind kind = StatusKind::Info);
    // An operation's outcome: its text, a success's or a failure's.
    void showOutcome(const Result<QString>& result);
    // Runs an action as a control would: its update rule first, then the action if enabled.
    void execute(QAction* action);

    // What the input-file dialog does with a confirmed choice.
    void InputFileChosen(const QString& file);
    // Arguments of a later start of the program: the window comes to the front and checks
    // the receipt named there, once no dialog of its waits for an answer.
    void takeArguments(const QStringList& arguments);
    // Why this window does not take a later start's arguments; empty when it does.
    QString refusalFor(const QStringList& arguments) const;

    // Asks about the report in processing whose turn has come, when nothing else happens
    // (run by a timer while the window is open). The ask runs on a thread of its own and
    // opens nothing; its outcome comes back to the list, the journal and a notification.
    void followUp();
    // An ask of followUp's is under way.
    bool followUpRunning() const;
    // Brings the window to the front on the sent-reports page with that report's row chosen.
    void showReport(const QString& reportId);
    // Several report files at once (dropped or chosen together): the batch table.
    void openBatch(const QStringList& files);
    // What "Экспорт архива" does once the person has named the ZIP: the chosen rows' folders.
    void exportReportsTo(const QString& zipPath);

    // Pages, in tab order.
    enum Page { SignPage = 0, ReportsPage = 1, ReceiptPage = 2 };

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Building the window.
    void createActions();
    void createSignPage(QWidget* page);
    void createReportsPage(QWidget* page);
    void createReceiptPage(QWidget* page);
    void createStatusBar();
    // What is still missing for a first signing, each with the button that mends it.
    QWidget* createFirstSteps(QWidget* page);
    void showFirstSteps();
    QToolButton* actionButton(QAction* action);

    // Start and exit.
    void FormCreate(const QStringList& arguments);
    // Puts the window where the settings say, whole on a screen (centred at a first start).
    void placeWindow(bool centred);
    // Once the window manager has framed the window: its title bar and border on the screen.
    void keepWindowOnScreen();
    void FormShow();
    void FormActivate();
    void watchFocus();
    void showNetworkActions(bool shown);
    void FormDestroy();
    // An operation of the person's, or a batch table's, is under way.
    bool busy() const;
    void keepSettings();
    // Brings the window to the front; false while one of its dialogs waits for an answer.
    bool cameToFront();
    void startFollowUp();
    void takePendingArguments();
    bool requestWouldWait() const;
    // The person's operation on the gateway or the archive comes first: an ask under way is
    // cancelled (it ends within a second) and made again a minute later.
    void stopFollowUp();
    void takeBackgroundAsk();
    // A background ask that learned nothing new: the row's tip, the journal and, once per
    // trouble, a notification.
    void noteFollowUp(const QString& reportId, const QString& sourceFile, const QString& text);
    static QString notificationSummary(const QString& reportId, const QString& sourceFile);
    void tellOutcome(const QString& reportId, const QString& sourceFile,
                     const RefreshOutcome& outcome);
    // A send's outcome on the status line; a send that could not reach the gateway turns the
    // connection icon to "not connected", one the gateway answered to "connected".
    void showSendOutcome(const Result<SentReport>& sent);
    // The receipt shown on its page (nothing after a failed check): printing and saving it.
    void showCheckedReceipt(std::optional<crypto::CheckedReceipt> receipt);
    // The outcome of a receipt check on its page: the receipt and who signed it (a failure
    // has been shown by the check).
    void showCheckOutcome(Result<crypto::CheckedReceipt> receipt);
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

    // Update rules.
    void acDoUpdate();
    void acCheckSignUpdate();
    void acShowFinalXmlUpdate();
    void runUpdate(QAction* action);

    // Execute handlers.
    void acDoExecute();
    void acSendExecute();
    void acLoadCertExecute();
    void acProxyExecute();
    void acTestConnExecute();
    void acGreedRefreshExecute();
    void acLoadKvitExecute();
    void acShowSrcExecute();
    void acShowFinalXmlExecute();
    void acDelCurRecExecute();
    void acCheckSignExecute();
    void acPrintExecute();
    void acSavePdfExecute();
    void acExportExecute();
    void acImportCertExecute();

    // Control handlers.
    void sbSelFileClick();
    // A path typed into the source field: the kind and output name are read anew.
    void eFileInEdited();
    void eFileInEditingFinished();
    void sbSelKvitClick();
    void sbPrivCertClick();
    void sbPubCertClick();
    void pcMainChange(int index);
    void showConnectionMenu();
    void showCertificateLabels();
    void showCertificateTips();

    const ReportRow* selectedReport() const;

    GuiFrontend frontend_;
    AppContext ctx_;
    std::unique_ptr<HttpClient> http_;
    ReportList reports_;
    bool shownOnce_ = false;
    bool framed_ = false;
    RecentPlaces places_;
    // Operations of the person's under way; nothing is asked in the background meanwhile.
    int running_ = 0;
    // A report is being sent (from the signing page or the batch table).
    bool sending_ = false;
    // The person closed the window while an operation ran: it closes once that has ended.
    QTimer* closeWhenDone_ = nullptr;
    FollowUpSchedule followUp_;
    std::unique_ptr<BackgroundAsk> asking_;
    int asksStarted_ = 0;
    // What the last background ask about a report ran into, by report; the last one told.
    QHash<QString, QString> followUpNotes_;
    QHash<QString, QString> toldFailures_;
    DesktopNotifier* notifier_ = nullptr;
    QFileSystemWatcher* archiveWatcher_ = nullptr;
    QTimer* archiveSettled_ = nullptr;
    // The settings as last written; a change is written at once.
    Settings savedSettings_;

    // Where the focus was before the window became active: the check runs when it comes
    // from another window of the program (or at start), not from a window of the check
    // itself, nor from another program.
    enum class FocusFrom { Start, OwnWindow, CheckWindow, OtherProgram };
    FocusFrom focusFrom_ = FocusFrom::Start;
    bool checking_ = false;
    // The user cancelled the proxy dialog: later checks do not offer it again until the user
    // turns to the connection menu.
    bool proxyDialogDeclined_ = false;
    // The last status text of an operation the user started and its kind; the check gives
    // them back.
    QString operationStatus_;
    StatusKind operationKind_ = StatusKind::Info;
    // The kind of the text being shown (texts the core shows on its own are progress).
    StatusKind nextKind_ = StatusKind::Info;
    std::optional<crypto::CheckedReceipt> shownReceipt_;
    // Arguments handed over while a dialog was open, taken when it closes.
    QList<QStringList> pendingArguments_;
    QTimer* pendingTimer_ = nullptr;
    // The source and output of the last signing: "Отправить в КВБ" sends only while both are
    // still the files that were signed.
    std::optional<std::pair<FileStamp, FileStamp>> signed_;

    QTabWidget* pcMain_ = nullptr;
    QComboBox* cbProv_ = nullptr;
    QLineEdit* ePrivCert_ = nullptr;
    QLineEdit* ePubCert_ = nullptr;
    QLineEdit* eFileIn_ = nullptr;
    QLineEdit* eKindDoc_ = nullptr;
    QLineEdit* eFileOut_ = nullptr;
    QTableWidget* gRep_ = nullptr;
    QCheckBox* cbAutoRefresh_ = nullptr;
    QLabel* lbReportCounts_ = nullptr;
    QLineEdit* eReportFilter_ = nullptr;
    QLabel* lbCertWarning_ = nullptr;
    QLabel* lbPrivCertOwner_ = nullptr;
    QWidget* firstSteps_ = nullptr;
    QLabel* lbPersonalGap_ = nullptr;
    QWidget* btnImportCert_ = nullptr;
    QLabel* lbFundGap_ = nullptr;
    QWidget* btnInstallFund_ = nullptr;
    QLineEdit* eFileSigned_ = nullptr;
    ReceiptView* receiptView_ = nullptr;
    StatusPanel* statusPanel_ = nullptr;
    QMenu* pmRep_ = nullptr;
    QMenu* pmCon_ = nullptr;

    QAction* acDo = nullptr;
    QAction* acSend = nullptr;
    QAction* acLoadCert = nullptr;
    QAction* acProxy = nullptr;
    QAction* acTestConn = nullptr;
    QAction* acGreedRefresh = nullptr;
    QAction* acLoadKvit = nullptr;
    QAction* acShowSrc = nullptr;
    QAction* acShowFinalXml = nullptr;
    QAction* acDelCurRec = nullptr;
    QAction* acCheckSign = nullptr;
    QAction* acPrint = nullptr;
    QAction* acSavePdf = nullptr;
    QAction* acExport = nullptr;
    QAction* acOpenLog = nullptr;
    QAction* acImportCert = nullptr;
};

} // namespace telva
