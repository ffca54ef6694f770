#pragma once

#include "crypto/certificate.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace telva::crypto {

// What a certificate of the fund is taken for.
enum class FundKeyUse {
    Signing,     // the fund's signature on a receipt: digitalSignature or nonRepudiation
    KeyExchange, // the recipient of every report: keyAgreement or keyEncipherment
};

// Why a certificate does not speak for the fund, from the least to the most telling: a
// certificate that chains but is refused for its dates or its key usage says more about
// what went wrong than a stranger.
enum class TrustProblem { None, NotChained, NotValidThen, KeyUsage };

struct FundTrust {
    TrustProblem problem = TrustProblem::None;
    QString why; // Russian, about "сертификат" without naming it; empty when trusted
    bool trusted() const { return problem == TrustProblem::None; }
};

// Whether the certificate speaks for the fund at the moment `at`: it chains to one of the
// roots (the fund's root the person confirmed), through the untrusted certificates where
// needed, with every certificate of the chain valid at that moment (OpenSSL's chain
// verification with the GOST engine); and its key usage, when the certificate restricts
// it, allows the use. momentText names the moment in a refusal ("время подписи ...").
FundTrust CheckFundCertificate(const Certificate& cert, const QList<Certificate>& roots,
                               const QList<Certificate>& untrusted, const QDateTime& at,
                               FundKeyUse use, const QString& momentText);

} // namespace telva::crypto
