#pragma once

#include "app/settings.h"
#include "crypto/certificate.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace telva::crypto {

// Every text the program writes about a certificate, for the window and the terminal alike:
// the certificate list's columns and rows, the label of a chosen certificate, its validity
// and what to warn of.

// The seven columns of the certificate list, as the chooser shows them.
enum CertColumn {
    ColSubject = 0, // subject's CN
    ColOrg,         // subject's OU, a blank, subject's O
    ColRegNumber,   // 1.2.643.3.141.1.1 of the subject
    ColIssuer,      // issuer's CN, else OU, else O
    ColValidFrom,   // dd.MM.yyyy hh:mm:ss, UTC
    ColValidTo,
    ColSerial,
    CertColumnCount
};

QStringList certColumnHeaders();

// The cells of one certificate's row; cells whose source is empty stay empty.
QStringList certRow(const Certificate& cert);

// The identity a row of the certificate list stands for, in the given store.
CertIdentity identityFromRow(int store, const QStringList& row);

// The label shown for an identity: org when it holds more than blanks, otherwise subject.
// The same for the personal and the fund's certificate.
QString identityLabel(const CertIdentity& identity);

// Who a certificate belongs to, as the user knows it: the subject's CN, and its OU (or O)
// after a comma when that says something more.
QString ownerName(const Certificate& cert);

// The chosen certificate as the signing page names it: its owner and the last day of its
// validity (UTC).
QString chosenCertText(const Certificate& cert);

// A validity bound as the list writes it: day.month.year hour:minute:second, UTC.
QString validityText(const QDateTime& utc);

// Where a moment lies in a certificate's validity.
enum class Validity { Valid, Expired, NotYetValid };
Validity validityAt(const Certificate& cert, const QDateTime& moment);

// The certificate's whole subject and its validity, for a tooltip; the state when it is
// not valid at that moment.
QString certSummary(const Certificate& cert, const QDateTime& moment);

// What to warn of before signing with the certificate ("личного сертификата" names whose):
// a validity that has ended or not begun, and, when soonDays is given, an end within that many
// days; empty when there is nothing to say.
QString certWarning(const Certificate& cert, const QString& whose, const QDateTime& moment,
                    int soonDays = 0);

} // namespace telva::crypto
