#pragma once

#include "ossl_util.h"

#include <string>

namespace sim {

// The subject of a personal certificate issued under the demo root.
struct PersonalSubject {
    std::string commonName = "Иванова Мария Петровна";
    std::string organization = "ООО Ромашка (демонстрация)";
    std::string unit = "Бухгалтерия";
    // The fund's registration attributes of the subject (1.2.643.3.141.1.1 and .2).
    std::string registrationNumber = "7701000001";
    std::string registrationCode = "770101";
};

// The demo fund's keys: its root certificate and the authorised person, the one recipient
// of every report and the signer of every receipt. GOST R 34.10-2001, or GOST R 34.10-2012
// with a 256-bit key; parameter set A either way.
class FundPki {
public:
    // Loads the keys and certificates of that kind from dir, generating them there on first
    // use; each kind has its own folder.
    bool loadOrCreate(const std::string& dir, bool gost2012, std::string& error);

    X509* rootCert() const { return rootCert_.get(); }
    X509* apCert() const { return apCert_.get(); }
    EVP_PKEY* apKey() const { return apKey_.get(); }
    X509* tlsCert() const { return tlsCert_.get(); }
    EVP_PKEY* tlsKey() const { return tlsKey_.get(); }

    // Issues a fresh server certificate for TLS, for the host and loopback: a GOST R
    // 34.10-2012 key (256 bits, parameter set A), or RSA 2048. Its issuer is the demo site
    // authority of that kind, tls/ca-gost.cer or tls/ca-rsa.cer in the state folder, made
    // there on first use; a client trusts that.
    bool issueTlsServer(const std::string& stateDir, const std::string& host, bool rsa,
                        std::string& error);

    // Issues a personal certificate with a new key under the demo root and writes
    // personal.key (PKCS#8 PEM), personal.cer (DER) and personal.pem into outDir.
    bool issuePersonal(const PersonalSubject& subject, const std::string& outDir,
                       std::string& error) const;

private:
    bool gost2012_ = false;
    PkeyPtr rootKey_;
    X509Ptr rootCert_;
    PkeyPtr apKey_;
    X509Ptr apCert_;
    PkeyPtr tlsKey_;
    X509Ptr tlsCert_;
};

} // namespace sim
