#pragma once

#include "app/context.h"
#include "gui/gui_frontend.h"
#include "gui/status_panel.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QMenu;
class QTabWidget;
class QTimer;

namespace telva {

class HttpClient;
class PageHost;
class ReceiptCheckPage;
class SentReportsPage;
class SigningPage;

// The program's window: the frame around its three pages (signing, sent reports, receipt),
// the window's own actions, the status bar, the connection check at activation, the
// hand-over of a later start, the window's place and the settings kept. The pages own their
// controls, actions and state; the window wires them together.
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

    // The follow-up of reports in processing (see SentReportsPage::followUp).
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
    void createPages();
    void createStatusBar();

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
    // Brings the window to the front; false while one of its dialogs waits for an answer.
    bool cameToFront();
    void takePendingArguments();
    // The named receipt checked on its page.
    void checkReceipt(const QString& file);

    void acProxyExecute();
    void acTestConnExecute();
    void pcMainChange(int index);
    void showConnectionMenu();

    GuiFrontend frontend_;
    AppContext ctx_;
    std::unique_ptr<HttpClient> http_;
    PageHost* host_ = nullptr;
    bool shownOnce_ = false;
    bool framed_ = false;
    // The person closed the window while an operation ran: it closes once that has ended.
    QTimer* closeWhenDone_ = nullptr;

    // Where the focus was before the window became active: the check runs when it comes
    // from another window of the program (or at start), not from a window of the check
    // itself, nor from another program.
    enum class FocusFrom { Start, OwnWindow, CheckWindow, OtherProgram };
    FocusFrom focusFrom_ = FocusFrom::Start;
    // The user cancelled the proxy dialog: later checks do not offer it again until the user
    // turns to the connection menu.
    bool proxyDialogDeclined_ = false;
    // Arguments handed over while a dialog was open, taken when it closes.
    QList<QStringList> pendingArguments_;
    QTimer* pendingTimer_ = nullptr;

    QTabWidget* pcMain_ = nullptr;
    SigningPage* signPage_ = nullptr;
    SentReportsPage* reportsPage_ = nullptr;
    ReceiptCheckPage* receiptPage_ = nullptr;
    StatusPanel* statusPanel_ = nullptr;
    QMenu* pmCon_ = nullptr;

    QAction* acProxy = nullptr;
    QAction* acTestConn = nullptr;
    QAction* acOpenLog = nullptr;
};

} // namespace telva
