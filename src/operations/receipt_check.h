#pragma once

#include "app/result.h"
#include "crypto/certificate.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace telva {
struct AppContext;
}

namespace telva::crypto {

// A receipt that passed the check.
struct CheckedReceipt {
    QString archivePath;  // the receipt archive written beside the receipt (123.zip)
    QByteArray pageBytes; // its receipt page (123.htm) as stored; empty when there is none
    QString page;         // the page as text
    QString signer;       // who signed it: name, and organisation when known
    Certificate signerCert;
    QDateTime checkedAt;
};

// The receipt check: reads the receipt file once, decrypting it with a key held for a
// certificate in any of the eight stores and writing the signed content (a ZIP archive)
// beside the receipt file with the extension ".zip" as it goes, in bounded memory whatever
// the size; the archive is kept only when the first signer verifies with the certificate
// installed for that signer. Then reads the receipt page from the archive.
// Every failure has been shown when this returns (one status text, or the error box for
// a damaged archive); on success nothing is shown and the status line stays as it was.
// An archive name that would be the receipt itself (a receipt named "123.p7e.zip") is refused
// with derivedOverSourceText() before anything is written.
[[nodiscard]] Result<CheckedReceipt> CheckReceipt(AppContext& ctx, const QString& receiptPath);

// How a check ended, for a caller that decides what becomes of the receipt.
enum class ReceiptVerdict {
    Verified,   // decrypted, and its signer verified: the receipt is the signer's word
    Rejected,   // not decrypted, or the signer not found or not verified: it proves nothing
    NotChecked, // the file, the stores, the person's key or the disk failed: not judged
};

// The check of a receipt that lies at `from` until it is kept as receiptPath (a download):
// the archive and the page are named after receiptPath. verdict tells how it ended; a
// verified receipt whose archive holds no readable page fails all the same.
[[nodiscard]] Result<CheckedReceipt> CheckReceiptAs(AppContext& ctx, const QString& from,
                                                    const QString& receiptPath,
                                                    ReceiptVerdict& verdict);

QString derivedOverSourceText(const QString& receiptPath, const QString& archivePath);

} // namespace telva::crypto
