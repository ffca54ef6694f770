#pragma once

#include "test_pki.h"

#include <QProcess>
#include <QTemporaryDir>

namespace telva::test {

// Certificates for local TLS servers, made once per test process: a GOST R 34.10-2012 CA and
// server certificates issued by it (GOST R 34.10-2012 keys, names 127.0.0.1 and localhost
// unless said otherwise), and an RSA one.
struct TlsCerts {
    TestPki::Item ca;        // "CN=Test TLS CA", a CA by its basic constraints
    TestPki::Item server;    // valid now
    TestPki::Item expired;   // valid 2015..2020
    TestPki::Item otherHost; // for other.example only
    TestPki::Item rsaServer; // RSA 2048, self-signed

    static const TlsCerts& instance();
};

// The suites a GOST peer offers.
inline constexpr const char* kGostServerCiphers =
    "GOST2012-KUZNYECHIK-KUZNYECHIKOMAC:GOST2012-MAGMA-MAGMAOMAC:GOST2012-GOST8912-GOST8912";

// `openssl s_server -www` as an independent TLS peer on a free loopback port: with a GOST
// certificate it loads the GOST engine and offers only the GOST suites over TLS 1.2. Its page
// names the suite it negotiated ("Cipher is ...").
class OpensslServer {
public:
    ~OpensslServer();
    // False with errorText() when it does not listen.
    bool start(const TestPki::Item& cert, bool gost = true);
    quint16 port() const { return port_; }
    QString url(const QString& host = QStringLiteral("127.0.0.1")) const {
        return QStringLiteral("https://%1:%2/").arg(host).arg(port_);
    }
    QString errorText() const { return error_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};

} // namespace telva::test
