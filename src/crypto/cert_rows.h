#pragma once

#include "crypto/certificate.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace telva::crypto {

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

// Carries both registration attributes of the fund in its subject.
bool IsKvbCompliant(const Certificate& cert);

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

// The cells of one certificate's row; cells whose source is empty stay empty.
QStringList certRow(const Certificate& cert);

struct CertListing {
    QList<Certificate> certs;
    QList<QStringList> rows; // one per certificate, same order
};
// The certificates of the store that pass the filters, in the store's order; empty when
// the store cannot be opened.
CertListing ListCertificates(int storeIndex, bool gostOnly, bool kvbOnly);

} // namespace telva::crypto
