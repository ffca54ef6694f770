#include "receipt_maker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace telva::test {

using namespace telva::crypto;

namespace {

bool writeAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// openssl with the GOST engine and the legacy content-encryption parameters that the
// fund's side uses.
QByteArray runOpenssl(const QString& workDir, const QStringList& args, const QByteArray& input) {
    QTemporaryDir dir(workDir + QStringLiteral("/openssl-XXXXXX"));
    const QString in = dir.filePath(QStringLiteral("in"));
    const QString out = dir.filePath(QStringLiteral("out"));
    if (!writeAll(in, input))
        return {};
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CRYPT_PARAMS"),
               QStringLiteral("id-Gost28147-89-CryptoPro-A-ParamSet"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Options first: the recipient certificate at the end ends option parsing.
    QStringList all = args;
    const qsizetype optionsEnd = args.first() == QLatin1String("cms") ? 2 : 0;
    all.insert(optionsEnd, out);
    all.insert(optionsEnd, QStringLiteral("-out"));
    all.insert(optionsEnd, in);
    all.insert(optionsEnd, QStringLiteral("-in"));
    process.start(QStringLiteral("openssl"), all);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning("openssl %s failed: %s", qPrintable(args.join(QLatin1Char(' '))),
                 process.readAll().constData());
        return {};
    }
    return readAll(out);
}

} // namespace

int runProgram(const QString& program, const QStringList& args, const QString& workDir,
               QByteArray* output) {
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(120000))
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray makeZipWithInfoZip(const QString& workDir,
                              const QList<QPair<QString, QByteArray>>& files,
                              const QStringList& options) {
    QTemporaryDir dir(workDir + QStringLiteral("/zip-XXXXXX"));
    QStringList names;
    for (const auto& [name, content] : files) {
        if (!writeAll(dir.filePath(QStringLiteral("src/") + name), content))
            return {};
        names << name;
    }
    const QString archive = dir.filePath(QStringLiteral("out.zip"));
    QByteArray output;
    const int rc = runProgram(QStringLiteral("zip"),
                              QStringList(options) << QStringLiteral("-q") << archive << names,
                              dir.filePath(QStringLiteral("src")), &output);
    if (rc != 0) {
        qWarning("zip failed: %s", output.constData());
        return {};
    }
    return readAll(archive);
}

QByteArray opensslSign(const QString& workDir, const QByteArray& content, const QString& certPem,
                       const QString& keyPem, bool withAttributes, bool withCert,
                       const QStringList& extra) {
    QStringList args{QStringLiteral("cms"),      QStringLiteral("-sign"),
                     QStringLiteral("-engine"),  QStringLiteral("gost"),
                     QStringLiteral("-binary"),  QStringLiteral("-nodetach"),
                     QStringLiteral("-outform"), QStringLiteral("DER"),
                     QStringLiteral("-signer"),  certPem,
                     QStringLiteral("-inkey"),   keyPem};
    if (!withAttributes)
        args << QStringLiteral("-noattr");
    if (!withCert)
        args << QStringLiteral("-nocerts");
    args << extra;
    return runOpenssl(workDir, args, content);
}

QByteArray opensslEncrypt(const QString& workDir, const QByteArray& content,
                          const QString& recipientCertPem, const QStringList& extra) {
    return runOpenssl(workDir,
                      QStringList{QStringLiteral("cms"), QStringLiteral("-encrypt"),
                                  QStringLiteral("-engine"), QStringLiteral("gost"),
                                  QStringLiteral("-binary"), QStringLiteral("-outform"),
                                  QStringLiteral("DER"), QStringLiteral("-gost89")}
                          << extra << recipientCertPem,
                      content);
}

QByteArray opensslDecrypt(const QString& workDir, const QByteArray& message, const QString& certPem,
                          const QString& keyPem) {
    return runOpenssl(workDir,
                      {QStringLiteral("cms"), QStringLiteral("-decrypt"), QStringLiteral("-engine"),
                       QStringLiteral("gost"), QStringLiteral("-debug_decrypt"),
                       QStringLiteral("-binary"), QStringLiteral("-inform"), QStringLiteral("DER"),
                       QStringLiteral("-recip"), certPem, QStringLiteral("-inkey"), keyPem},
                      message);
}

QByteArray makeReceipt(const QString& workDir, const QByteArray& archive,
                       const TestPki::Item& signer, const TestPki::Item& recipient,
                       bool withAttributes) {
    QTemporaryDir dir(workDir + QStringLiteral("/pki-XXXXXX"));
    const PkiFiles signerFiles = writePkiFiles(signer, dir.path(), QStringLiteral("signer"));
    const PkiFiles recipientFiles =
        writePkiFiles(recipient, dir.path(), QStringLiteral("recipient"));
    const QByteArray signedData =
        opensslSign(workDir, archive, signerFiles.certPem, signerFiles.keyPem, withAttributes);
    if (signedData.isEmpty())
        return {};
    return opensslEncrypt(workDir, signedData, recipientFiles.certPem);
}

QByteArray makeReceiptSignedAt(const QString& workDir, const QByteArray& archive,
                               const TestPki::Item& signer, const TestPki::Item& recipient,
                               const QDateTime& signedAt) {
    constexpr unsigned kFlags = CMS_BINARY | CMS_PARTIAL;
    const BioPtr content = memBio(archive);
    const CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, kFlags));
    CMS_SignerInfo* info =
        cms ? CMS_add1_signer(cms.get(), x509Of(signer.cert), signer.pkey(), nullptr, kFlags)
            : nullptr;
    std::unique_ptr<ASN1_TIME, decltype(&ASN1_TIME_free)> time(
        ASN1_TIME_set(nullptr, time_t(signedAt.toSecsSinceEpoch())), ASN1_TIME_free);
    const BioPtr out(BIO_new(BIO_s_mem()));
    if (!info || !time ||
        CMS_signed_add1_attr_by_NID(info, NID_pkcs9_signingTime, time->type, time.get(), -1) != 1 ||
        CMS_final(cms.get(), content.get(), nullptr, CMS_BINARY) != 1 ||
        i2d_CMS_bio(out.get(), cms.get()) != 1) {
        qWarning("signing at a chosen time failed");
        return {};
    }
    QTemporaryDir dir(workDir + QStringLiteral("/pki-XXXXXX"));
    const PkiFiles recipientFiles =
        writePkiFiles(recipient, dir.path(), QStringLiteral("recipient"));
    return opensslEncrypt(workDir, bioBytes(out.get()), recipientFiles.certPem);
}

QByteArray makeReceiptArchive(const QString& workDir, const QString& base, const QByteArray& page,
                              const QByteArray& acceptedReport, const QStringList& options) {
    return makeZipWithInfoZip(
        workDir,
        {{QStringLiteral("RECEIPTS/") + base.toUpper() + QStringLiteral(".HTM"), page},
         {base + QStringLiteral(".p7m"), acceptedReport}},
        options);
}

} // namespace telva::test
