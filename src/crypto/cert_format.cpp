#include "crypto/cert_format.h"

#include "crypto/cert_identity.h"
#include "crypto/cert_rows.h"

namespace telva::crypto {

QStringList certColumnHeaders() {
    return {QStringLiteral("Выдан(кому)"),    QStringLiteral("Организация"),
            QStringLiteral("РНС КВБ"),        QStringLiteral("Выдан(кем)"),
            QStringLiteral("Действителен с"), QStringLiteral("Действителен по"),
            QStringLiteral("Серийный номер")};
}

QStringList certRow(const Certificate& cert) {
    QStringList row(CertColumnCount);
    const QString subject = cert.renderName(WhichName::Subject, NameStyle::X500);
    if (!subject.isEmpty()) {
        row[ColSubject] = GetRdnValue(subject, QStringLiteral("CN"));
        row[ColOrg] = GetRdnValue(subject, QStringLiteral("OU")) + QLatin1Char(' ') +
                      GetRdnValue(subject, QStringLiteral("O"));
    }
    row[ColRegNumber] = registrationNumberOf(cert);
    if (!cert.renderName(WhichName::Issuer, NameStyle::X500).isEmpty())
        row[ColIssuer] = issuerTextOf(cert);
    row[ColValidFrom] = validityText(cert.notBefore());
    row[ColValidTo] = validityText(cert.notAfter());
    if (const std::optional<QString> serial = cert.serialHex())
        row[ColSerial] = *serial;
    return row;
}

CertIdentity identityFromRow(int store, const QStringList& row) {
    CertIdentity identity;
    identity.store = store;
    if (row.size() < CertColumnCount)
        return identity;
    identity.subject = row[ColSubject];
    identity.org = row[ColOrg];
    identity.issuer = row[ColIssuer];
    identity.sernum = row[ColSerial];
    return identity;
}

QString identityLabel(const CertIdentity& identity) {
    // A row's org is "OU O", a lone blank when the subject has neither.
    return identity.org.trimmed().isEmpty() ? identity.subject : identity.org;
}

QString ownerName(const Certificate& cert) {
    CertIdentity identity;
    IdentityFromCert(cert, identity);
    if (identity.org.trimmed().isEmpty() || identity.org == identity.subject)
        return identity.subject;
    return identity.subject + QStringLiteral(", ") + identity.org;
}

QString chosenCertText(const Certificate& cert) {
    const QDateTime end = cert.notAfter().toUTC();
    if (!end.isValid())
        return ownerName(cert);
    return QStringLiteral("%1, действителен по %2")
        .arg(ownerName(cert), end.date().toString(QStringLiteral("dd.MM.yyyy")));
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

} // namespace telva::crypto
