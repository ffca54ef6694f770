#include "crypto/cert_rows.h"

#include "crypto/cert_identity.h"
#include "crypto/cert_store.h"

namespace telva::crypto {

namespace {

const QString kRegNumberOid = QStringLiteral("1.2.643.3.141.1.1");
const QString kRegCodeOid = QStringLiteral("1.2.643.3.141.1.2");

} // namespace

QStringList certColumnHeaders() {
    return {QStringLiteral("Выдан(кому)"),    QStringLiteral("Организация"),
            QStringLiteral("РНС КВБ"),        QStringLiteral("Выдан(кем)"),
            QStringLiteral("Действителен с"), QStringLiteral("Действителен по"),
            QStringLiteral("Серийный номер")};
}

bool IsKvbCompliant(const Certificate& cert) {
    const QString subject = cert.renderName(WhichName::Subject, NameStyle::Oid);
    if (subject.isEmpty())
        return false;
    return !GetRdnValue(subject, kRegNumberOid).isEmpty() &&
           !GetRdnValue(subject, kRegCodeOid).isEmpty();
}

QString validityText(const QDateTime& utc) {
    if (!utc.isValid())
        return {};
    const QDateTime t = utc.toUTC();
    return QStringLiteral("%1.%2.%3 %4:%5:%6")
        .arg(t.date().day(), 2, 10, QLatin1Char('0'))
        .arg(t.date().month(), 2, 10, QLatin1Char('0'))
        .arg(t.date().year())
        .arg(t.time().hour(), 2, 10, QLatin1Char('0'))
        .arg(t.time().minute(), 2, 10, QLatin1Char('0'))
        .arg(t.time().second(), 2, 10, QLatin1Char('0'));
}

Validity validityAt(const Certificate& cert, const QDateTime& moment) {
    if (cert.notAfter().isValid() && moment > cert.notAfter())
        return Validity::Expired;
    if (cert.notBefore().isValid() && moment < cert.notBefore())
        return Validity::NotYetValid;
    return Validity::Valid;
}

QString certSummary(const Certificate& cert, const QDateTime& moment) {
    QString text = cert.renderName(WhichName::Subject, NameStyle::X500) +
                   QStringLiteral("\nДействителен с %1 по %2 (UTC)")
                       .arg(validityText(cert.notBefore()), validityText(cert.notAfter()));
    switch (validityAt(cert, moment)) {
    case Validity::Expired:
        text += QStringLiteral("\nСрок действия сертификата истек.");
        break;
    case Validity::NotYetValid:
        text += QStringLiteral("\nСрок действия сертификата еще не наступил.");
        break;
    case Validity::Valid:
        break;
    }
    return text;
}

QString certWarning(const Certificate& cert, const QString& whose, const QDateTime& moment,
                    int soonDays) {
    const QString day = QStringLiteral("dd.MM.yyyy");
    switch (validityAt(cert, moment)) {
    case Validity::Expired:
        return QStringLiteral("Срок действия %1 истек %2.")
            .arg(whose, cert.notAfter().toUTC().toString(day));
    case Validity::NotYetValid:
        return QStringLiteral("Срок действия %1 начнется %2.")
            .arg(whose, cert.notBefore().toUTC().toString(day));
    case Validity::Valid:
        break;
    }
    const qint64 left = moment.toUTC().date().daysTo(cert.notAfter().toUTC().date());
    if (left > soonDays)
        return {};
    return QStringLiteral("Срок действия %1 истекает %2, осталось дней: %3.")
        .arg(whose, cert.notAfter().toUTC().toString(day))
        .arg(left);
}

QStringList certRow(const Certificate& cert) {
    QStringList row(CertColumnCount);
    const QString subject = cert.renderName(WhichName::Subject, NameStyle::X500);
    if (!subject.isEmpty()) {
        row[ColSubject] = GetRdnValue(subject, QStringLiteral("CN"));
        row[ColOrg] = GetRdnValue(subject, QStringLiteral("OU")) + QLatin1Char(' ') +
                      GetRdnValue(subject, QStringLiteral("O"));
    }
    const QString oidSubject = cert.renderName(WhichName::Subject, NameStyle::Oid);
    if (!oidSubject.isEmpty())
        row[ColRegNumber] = GetRdnValue(oidSubject, kRegNumberOid);
    if (!cert.renderName(WhichName::Issuer, NameStyle::X500).isEmpty())
        row[ColIssuer] = issuerTextOf(cert);
    row[ColValidFrom] = validityText(cert.notBefore());
    row[ColValidTo] = validityText(cert.notAfter());
    if (const std::optional<QString> serial = cert.serialHex())
        row[ColSerial] = *serial;
    return row;
}

CertListing ListCertificates(int storeIndex, bool gostOnly, bool kvbOnly) {
    CertListing listing;
    Result<CertStore> store = CertStore::open(storeIndex);
    if (!store)
        return listing;
    for (const Certificate& cert : store->certificates()) {
        if (gostOnly && !cert.isGost())
            continue;
        if (kvbOnly && !IsKvbCompliant(cert))
            continue;
        listing.certs.append(cert);
        listing.rows.append(certRow(cert));
    }
    return listing;
}

} // namespace telva::crypto
