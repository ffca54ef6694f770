#include "crypto/certificate.h"

#include "app/texts.h"
#include "crypto/gost_engine.h"
#include "crypto/oids.h"
#include "crypto/ossl.h"

#include <QCryptographicHash>
#include <QHash>
#include <QTimeZone>

#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/pem.h>

namespace telva::crypto {

namespace {

constexpr int kMaxRenderedChars = 1023;

// Short keys of the X.500 text form, by attribute OID.
QString shortKey(const QByteArray& oid) {
    static const QHash<QByteArray, QString> keys{
        {"2.5.4.3", QStringLiteral("CN")},
        {"2.5.4.7", QStringLiteral("L")},
        {"2.5.4.10", QStringLiteral("O")},
        {"2.5.4.11", QStringLiteral("OU")},
        {"1.2.840.113549.1.9.1", QStringLiteral("E")},
        {"2.5.4.6", QStringLiteral("C")},
        {"2.5.4.8", QStringLiteral("S")},
        {"2.5.4.9", QStringLiteral("STREET")},
        {"2.5.4.12", QStringLiteral("T")},
        {"2.5.4.42", QStringLiteral("G")},
        {"2.5.4.43", QStringLiteral("I")},
        {"2.5.4.4", QStringLiteral("SN")},
        {"0.9.2342.19200300.100.1.25", QStringLiteral("DC")},
        {"2.5.4.5", QStringLiteral("SERIALNUMBER")},
        {"2.5.4.13", QStringLiteral("Description")},
        {"2.5.4.17", QStringLiteral("PostalCode")},
        {"2.5.4.18", QStringLiteral("POBox")},
        {"2.5.4.20", QStringLiteral("Phone")},
        {"2.5.4.23", QStringLiteral("X21Address")},
        {"2.5.4.46", QStringLiteral("dnQualifier")},
    };
    return keys.value(oid);
}

QByteArray dottedOid(const ASN1_OBJECT* object) {
    char buffer[128];
    const int n = OBJ_obj2txt(buffer, sizeof buffer, object, 1);
    return n > 0 && n < int(sizeof buffer) ? QByteArray(buffer, n) : QByteArray();
}

QString valueText(const ASN1_STRING* value) {
    switch (ASN1_STRING_type(value)) {
    case V_ASN1_UTF8STRING:
    case V_ASN1_PRINTABLESTRING:
    case V_ASN1_IA5STRING:
    case V_ASN1_T61STRING:
    case V_ASN1_BMPSTRING:
    case V_ASN1_UNIVERSALSTRING:
    case V_ASN1_NUMERICSTRING:
    case V_ASN1_VISIBLESTRING: {
        unsigned char* utf8 = nullptr;
        const int n = ASN1_STRING_to_UTF8(&utf8, value);
        if (n < 0)
            return {};
        const QString text = QString::fromUtf8(reinterpret_cast<char*>(utf8), n);
        OPENSSL_free(utf8);
        return text;
    }
    default: {
        const QByteArray raw(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                             ASN1_STRING_length(value));
        return QLatin1Char('#') + QString::fromLatin1(raw.toHex().toUpper());
    }
    }
}

bool needsQuotes(const QString& value) {
    if (value.isEmpty())
        return false;
    if (value.front().isSpace() || value.back().isSpace())
        return true;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case ',':
        case '+':
        case '=':
        case '"':
        case '\r':
        case '\n':
        case '<':
        case '>':
        case '#':
        case ';':
            return true;
        default:
            break;
        }
    }
    return false;
}

QString quoted(const QString& value) {
    if (!needsQuotes(value))
        return value;
    QString text = value;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QDateTime fromAsn1Time(const ASN1_TIME* time) {
    struct tm t {};
    if (!time || ASN1_TIME_to_tm(time, &t) != 1)
        return {};
    return QDateTime(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday),
                     QTime(t.tm_hour, t.tm_min, t.tm_sec), Qt::UTC);
}

} // namespace

Result<Certificate> Certificate::fromDer(const QByteArray& der) {
    // GOST public keys are decoded while parsing: the engine must be there first.
    if (Status engine = ensureGostEngine(); !engine)
        return Result<Certificate>(engine.error());
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    X509* cert = d2i_X509(nullptr, &p, der.size());
    if (!cert || p != reinterpret_cast<const unsigned char*>(der.constData()) + der.size()) {
        X509_free(cert);
        takeOpenSslError();
        return Result<Certificate>::fail(certOpenFailedText());
    }
    return certificateOf(cert);
}

Result<Certificate> Certificate::fromAnyEncoding(const QByteArray& bytes) {
    if (bytes.contains("-----BEGIN")) {
        if (Status engine = ensureGostEngine(); !engine)
            return Result<Certificate>(engine.error());
        BioPtr bio = memBio(bytes);
        X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
        takeOpenSslError();
        if (cert)
            return certificateOf(cert);
        return Result<Certificate>::fail(certOpenFailedText());
    }
    Result<Certificate> der = fromDer(bytes);
    if (der)
        return der;
    const QByteArray decoded = QByteArray::fromBase64(
        bytes.simplified(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded.isEmpty())
        return fromDer(decoded);
    return der;
}

QByteArray Certificate::der() const {
    if (!cert_)
        return {};
    unsigned char* out = nullptr;
    const int n = i2d_X509(x509Of(*this), &out);
    if (n <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<char*>(out), n);
    OPENSSL_free(out);
    return bytes;
}

QByteArray Certificate::pem() const {
    if (!cert_)
        return {};
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), x509Of(*this));
    return bioBytes(bio.get());
}

QString Certificate::renderName(WhichName which, NameStyle style) const {
    if (!cert_)
        return {};
    const X509_NAME* name = which == WhichName::Subject ? X509_get_subject_name(x509Of(*this))
                                                        : X509_get_issuer_name(x509Of(*this));
    QString text;
    int previousSet = -1;
    for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
        const QByteArray oid = dottedOid(X509_NAME_ENTRY_get_object(entry));
        QString key = style == NameStyle::X500 ? shortKey(oid) : QString();
        if (key.isEmpty())
            key = QString::fromLatin1(oid);
        const int set = X509_NAME_ENTRY_set(entry);
        if (i > 0)
            text += set == previousSet ? QLatin1String(" + ") : QLatin1String(", ");
        previousSet = set;
        text += key + QLatin1Char('=') + quoted(valueText(X509_NAME_ENTRY_get_data(entry)));
        if (text.size() > kMaxRenderedChars)
            break;
    }
    return text.left(kMaxRenderedChars);
}

QByteArray Certificate::serialBytes() const {
    if (!cert_)
        return {};
    const ASN1_INTEGER* serial = X509_get0_serialNumber(x509Of(*this));
    unsigned char* out = nullptr;
    const int n = i2d_ASN1_INTEGER(serial, &out);
    if (n <= 0)
        return {};
    const QByteArray encoded(reinterpret_cast<char*>(out), n);
    OPENSSL_free(out);
    int headerLen = 2;
    if (static_cast<quint8>(encoded.at(1)) & 0x80)
        headerLen += encoded.at(1) & 0x7F;
    return encoded.mid(headerLen);
}

std::optional<QString> Certificate::serialHex() const {
    const QByteArray bytes = serialBytes();
    if (bytes.isEmpty())
        return std::nullopt;
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QDateTime Certificate::notBefore() const {
    return cert_ ? fromAsn1Time(X509_get0_notBefore(x509Of(*this))) : QDateTime();
}

QDateTime Certificate::notAfter() const {
    return cert_ ? fromAsn1Time(X509_get0_notAfter(x509Of(*this))) : QDateTime();
}

QByteArray Certificate::sha1() const {
    return QCryptographicHash::hash(der(), QCryptographicHash::Sha1);
}

QString Certificate::sha1Hex() const {
    return QString::fromLatin1(sha1().toHex());
}

QString Certificate::signatureAlgorithmOid() const {
    if (!cert_)
        return {};
    const X509_ALGOR* alg = nullptr;
    X509_get0_signature(nullptr, &alg, x509Of(*this));
    const ASN1_OBJECT* object = nullptr;
    X509_ALGOR_get0(&object, nullptr, nullptr, alg);
    return QString::fromLatin1(dottedOid(object));
}

bool Certificate::isGost() const {
    const QString signature = signatureAlgorithmOid();
    return signature == QLatin1String(oid::kGost2001Signature) ||
           signature == QLatin1String(oid::kGost2012Signature256) ||
           signature == QLatin1String(oid::kGost2012Signature512);
}

bool Certificate::operator==(const Certificate& other) const {
    if (!cert_ || !other.cert_)
        return !cert_ && !other.cert_;
    return X509_cmp(x509Of(*this), x509Of(other)) == 0;
}

QString RenderName(const Certificate& cert, WhichName which, NameStyle style) {
    return cert.renderName(which, style);
}

QString GetRdnValue(const QString& rendered, const QString& key) {
    const qsizetype at = rendered.indexOf(key + QLatin1Char('='));
    if (at < 0)
        return {};
    const QString rest = rendered.mid(at + key.size() + 1, 10000);
    if (rest.startsWith(QLatin1Char('"'))) {
        const qsizetype end = rest.indexOf(QLatin1Char('"'), 1);
        return end < 0 ? rest.mid(1) : rest.mid(1, end - 1);
    }
    const qsizetype end = rest.indexOf(QLatin1String(", "));
    return end < 0 ? rest : rest.left(end);
}

std::optional<QString> SerialToHex(const Certificate& cert) {
    return cert.serialHex();
}

QByteArray HexToSerial(const QString& text) {
    const qsizetype n = text.size() / 2;
    QByteArray blob(n, '\0');
    for (qsizetype i = 0; i < n; ++i) {
        bool ok = false;
        const uint byte = QStringView(text).mid(2 * i, 2).toUInt(&ok, 16);
        blob[n - 1 - i] = static_cast<char>(ok ? byte : 0);
    }
    return blob;
}

namespace {

qsizetype significantBytes(const QByteArray& blob) {
    qsizetype n = blob.size();
    const auto* p = reinterpret_cast<const quint8*>(blob.constData());
    while (n > 1) {
        if (p[n - 1] == 0x00 && p[n - 2] <= 0x7F)
            --n;
        else if (p[n - 1] == 0xFF && p[n - 2] >= 0x80)
            --n;
        else
            break;
    }
    return n;
}

} // namespace

bool CompareIntegerBlob(const QByteArray& a, const QByteArray& b) {
    const qsizetype n = significantBytes(a);
    return n == significantBytes(b) && a.left(n) == b.left(n);
}

} // namespace telva::crypto
