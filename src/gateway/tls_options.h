#pragma once

#include <QByteArray>
#include <QString>

namespace telva {

// The TLS of https requests. Offered: the GOST suites first (GOST R 34.10-2012 server keys,
// Kuznyechik, Magma, GOST 28147-89), then the usual ones, TLS 1.2 or later. The server's
// certificate and name are always checked, against the system's authorities (Debian's
// ca-certificates) plus the store "Root" of the program, where the fund's root goes; there is
// no switch that turns the check off.
inline constexpr const char* kTlsCipherList =
    "GOST2012-KUZNYECHIK-KUZNYECHIKOMAC:GOST2012-MAGMA-MAGMAOMAC:GOST2012-GOST8912-GOST8912:"
    "DEFAULT";

// Sets the TLS options on a libcurl handle (CURL*) for a request to host, which must outlive
// the request. caFile: a PEM file of authorities used instead of the system's (tests of a
// local server); empty for the system's.
void configureTls(void* curl, const QString& caFile, const QByteArray* host);

// Whether a libcurl result is a failure of the secure connection (its handshake or the
// server's certificate) rather than of the network.
bool isTlsFailure(int curlCode);

// "Не удалось установить защищенное соединение с сервером HOST: why." for a TLS failure; the
// technical detail (libcurl's and OpenSSL's texts) goes to the journal.
QString tlsFailureText(int curlCode, void* curl, const QString& host, const QString& detail);

} // namespace telva
