#pragma once

#include "test_pki.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace telva::test {

// Runs a program to its end; its exit status, or -1 when it could not start. Standard
// output and error are kept in *output when asked for.
int runProgram(const QString& program, const QStringList& args, const QString& workDir = {},
               QByteArray* output = nullptr);

// A ZIP archive made by Info-ZIP's zip from the given files (path inside the archive ->
// content), written below workDir; options go to zip as they are ("-0" stores). Returns
// the archive's bytes, empty when zip failed.
QByteArray makeZipWithInfoZip(const QString& workDir,
                              const QList<QPair<QString, QByteArray>>& files,
                              const QStringList& options = {});

// The fund's side of a receipt, made with the openssl command and the GOST engine:
// signs content (DER, binary, attached) with certPem/keyPem; withAttributes false adds
// -noattr; withCert false leaves the signer's certificate out of the message; extra
// options are passed on.
QByteArray opensslSign(const QString& workDir, const QByteArray& content, const QString& certPem,
                       const QString& keyPem, bool withAttributes, bool withCert = true,
                       const QStringList& extra = {});
// Encrypts content (DER, binary) for the recipient certificate with GOST 28147-89; extra
// options are passed on.
QByteArray opensslEncrypt(const QString& workDir, const QByteArray& content,
                          const QString& recipientCertPem, const QStringList& extra = {});
// Decrypts with the openssl command; empty when it fails.
QByteArray opensslDecrypt(const QString& workDir, const QByteArray& message, const QString& certPem,
                          const QString& keyPem);

// A receipt as the fund sends it, made with the openssl command: the archive signed by
// signer (DER, attached) and encrypted for recipient.
QByteArray makeReceipt(const QString& workDir, const QByteArray& archive,
                       const TestPki::Item& signer, const TestPki::Item& recipient,
                       bool withAttributes = true);

// The same, signed at a chosen moment: the signing time among the signed attributes is
// signedAt (openssl cms always writes the current time).
QByteArray makeReceiptSignedAt(const QString& workDir, const QByteArray& archive,
                               const TestPki::Item& signer, const TestPki::Item& recipient,
                               const QDateTime& signedAt);

// A receipt archive made by Info-ZIP's zip: the page as RECEIPTS/<BASE>.HTM (a folder and
// upper case) and the accepted report as <base>.p7m.
QByteArray makeReceiptArchive(const QString& workDir, const QString& base, const QByteArray& page,
                              const QByteArray& acceptedReport, const QStringList& options = {});

} // namespace telva::test
