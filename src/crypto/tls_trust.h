#pragma once

#include <QByteArray>
#include <QString>

namespace telva::crypto {

// What the HTTPS transport needs from OpenSSL, behind a header that names no OpenSSL type:
// libcurl uses the same OpenSSL as the rest of the program, so loading the GOST engine here
// gives TLS its GOST cipher suites and server keys.

// Loads the GOST engine for TLS once per process. An engine that cannot be loaded leaves
// TLS with the usual suites only; the failure is written to the journal once.
void prepareTls();

// Readies an SSL_CTX that libcurl is about to use for a connection to host: adds the
// certificates of the store "Root" (the fund's root that the program installed, among others)
// to its trust, beside the system's authorities, and has OpenSSL check the server's name (a
// DNS name or an IP address) itself, so that a wrong name has its own verification result.
void prepareServerCheck(void* sslContext, const QByteArray& host);

// Why a server certificate failed its check, from OpenSSL's verification result, as a
// Russian clause ("срок действия сертификата сервера истек"); empty when the result says
// the certificate itself passed (then the name did not match).
QString serverCertificateProblem(long verifyResult);
// OpenSSL's own text of the result, for the journal.
QString verifyResultDetail(long verifyResult);

} // namespace telva::crypto
