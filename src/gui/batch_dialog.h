#pragma once

#include "app/result.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace telva {

// Several reports at once: each file is detected and signed when the table opens, and on
// "Отправить все" the signed ones are sent one after another (the gateway's spacing holds
// between them). A failure is written in its row (the whole text in its tooltip) and the next
// file goes on; a file sent once is never sent again, nor one whose repeat the person
// declined; "Отмена" stops before the next file. Under the table a line counts the outcome.
class BatchDialog : public QDialog {
    Q_OBJECT
public:
    struct Steps {
        // The kind's name and the encrypted file's path, or why the file is no report.
        std::function<Result<std::pair<QString, QString>>(const QString& source)> detect;
        std::function<Status(const QString& source, const QString& encrypted)> sign;
        // The identifier the gateway gave, or the error text (code kSendDeclined: the person
        // declined to send a repeat).
        std::function<Result<QString>(const QString& source, const QString& encrypted)> send;
    };

    BatchDialog(Steps steps, const QStringList& files, QWidget* parent = nullptr);

    // Detects and signs every file, row by row.
    void prepare();
    void sendAll();

    enum Column { ColFile, ColKind, ColState, ColResult };

    // A file is being signed or sent.
    bool busy() const { return busy_; }

    // Escape or the window's close button while a file is being signed or sent: the table
    // closes once that step has ended, never under it.
    void reject() override;

    // The line under the table: "отправлено N, ошибок M" (and the repeats not sent).
    QString summary() const;

Q_SIGNALS:
    void fileSent(int row);

private:
    enum class State { Waiting, Signed, Failed, SendFailed, Declined, Sent };
    struct Item {
        QString source;
        QString encrypted;
        State state = State::Waiting;
    };

    void showRow(int row, State state, const QString& stateText, const QString& result);
    void cancelOrClose();
    void showSummary();

    Steps steps_;
    std::vector<Item> items_;
    QTableWidget* table_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    QLabel* summary_ = nullptr;
    bool busy_ = false; // signing or sending: the table must outlive the step
    bool sending_ = false;
    bool cancelled_ = false;
    bool closeWanted_ = false;
};

} // namespace telva
