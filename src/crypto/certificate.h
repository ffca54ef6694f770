#pragma once

#include "app/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace telva::crypto {

// The two text forms of a name: short keys ("CN", "OU", ...) or dotted OIDs throughout.
enum class NameStyle { X500 = 3, Oid = 2 };
enum class WhichName { Subject, Issuer };

// An X.509 certificate as a value (copies share the decoded certificate).
class Certificate {
public:
    Certificate() = default;

    // One DER certificate filling the bytes whole; "Не удалось открыть сертификат." otherwise.
    static Result<Certificate> fromDer(const QByteArray& der);
    // DER, PEM ("-----BEGIN CERTIFICATE-----") or bare Base64 of the DER.
    static Result<Certificate> fromAnyEncoding(const QByteArray& bytes);

    bool isNull() const { return !cert_; }
    QByteArray der() const;
    QByteArray pem() const;

    // The name as the stores' text form renders it: attributes in encoded order, ", "
    // between them, " + " inside a multi-valued RDN, quoted values where needed; at most
    // 1023 characters.
    QString renderName(WhichName which, NameStyle style) const;
    // The content bytes of the serial number INTEGER, most significant first, a leading
    // zero byte included when the encoding has one.
    QByteArray serialBytes() const;
    // Upper-case hexadecimal of serialBytes(); nothing when the serial has no bytes.
    std::optional<QString> serialHex() const;
    QDateTime notBefore() const; // UTC
    QDateTime notAfter() const;  // UTC
    QByteArray sha1() const;     // of the DER
    QString sha1Hex() const;     // lower-case, as key files are named
    QString signatureAlgorithmOid() const;
    // Signed with GOST R 34.10-2001 (GOST R 34.11-94) or GOST R 34.10-2012 (Streebog).
    bool isGost() const;
    // Same DER bytes.
    bool operator==(const Certificate& other) const;

private:
    // The decoded OpenSSL certificate; only the crypto module reaches it, through
    // crypto/ossl.h, so no other module sees an OpenSSL type.
    friend struct CertificateX509;
    std::shared_ptr<void> cert_;
};

// The rendered name of a certificate; empty when the name renders empty.
QString RenderName(const Certificate& cert, WhichName which, NameStyle style);
// The value of the first "key=" in a rendered name (case-sensitive, anywhere in the text):
// up to the next quote when it starts with a quote, else up to ", "; empty when absent.
QString GetRdnValue(const QString& rendered, const QString& key);
// The serial number as upper-case hex, most significant byte first; nothing when empty.
std::optional<QString> SerialToHex(const Certificate& cert);
// The integer blob of a serial text, least significant byte first; a trailing odd digit
// is ignored.
QByteArray HexToSerial(const QString& text);
// Two least-significant-first integer blobs compared as integers (leading 0x00 of a
// positive and 0xFF of a negative number do not count).
bool CompareIntegerBlob(const QByteArray& a, const QByteArray& b);

} // namespace telva::crypto
