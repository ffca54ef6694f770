#pragma once

#include "fund_pki.h"

#include <httplib.h>
#include <memory>
#include <string>

namespace sim {

// The suites a GOST server offers: TLS 1.2 with GOST R 34.10-2012 keys.
inline constexpr const char* kGostTlsCiphers =
    "GOST2012-KUZNYECHIK-KUZNYECHIKOMAC:GOST2012-MAGMA-MAGMAOMAC:GOST2012-GOST8912-GOST8912";

// An HTTPS server with the PKI's TLS certificate and key: GOST suites only (TLS 1.2), or,
// with an RSA certificate, OpenSSL's usual ones. Null with a text in error when it cannot be
// set up.
std::unique_ptr<httplib::Server> makeTlsServer(const FundPki& pki, bool rsa, std::string& error);

} // namespace sim
