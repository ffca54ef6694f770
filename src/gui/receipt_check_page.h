#pragma once

#include "app/result.h"
#include "operations/receipt_check.h"

#include <QWidget>
#include <optional>

class QAction;
class QLineEdit;

namespace telva {

class PageHost;
class ReceiptView;

// "Проверить квитанцию": the receipt file, its check, and the receipt shown, printed and
// saved as PDF.
class ReceiptCheckPage : public QWidget {
    Q_OBJECT
public:
    ReceiptCheckPage(PageHost& host, QWidget* parent);

    // Checks the named receipt, as "Проверить" does.
    void check(const QString& file);
    // A receipt downloaded for a report: shown with its check when it had one, checked now
    // otherwise.
    void showDownloaded(const QString& file,
                        const std::optional<Result<crypto::CheckedReceipt>>& checked);

private:
    void acCheckSignUpdate();
    void acCheckSignExecute();
    void acSavePdfExecute();
    void sbSelKvitClick();
    // The receipt shown (nothing after a failed check): printing and saving it.
    void showCheckedReceipt(std::optional<crypto::CheckedReceipt> receipt);
    // The outcome of a check: the receipt and who signed it (a failure has been shown by the
    // check).
    void showCheckOutcome(Result<crypto::CheckedReceipt> receipt);

    PageHost& host_;
    std::optional<crypto::CheckedReceipt> shownReceipt_;
    QLineEdit* eFileSigned_ = nullptr;
    ReceiptView* receiptView_ = nullptr;
    QAction* acCheckSign = nullptr;
    QAction* acPrint = nullptr;
    QAction* acSavePdf = nullptr;
};

} // namespace telva
