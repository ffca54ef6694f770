#include "tls_server.h"

#include <openssl/ssl.h>

namespace sim {

std::unique_ptr<httplib::Server> makeTlsServer(const FundPki& pki, bool rsa, std::string& error) {
    auto server = std::make_unique<httplib::SSLServer>([&](SSL_CTX& ctx) {
        if (SSL_CTX_use_certificate(&ctx, pki.tlsCert()) != 1 ||
            SSL_CTX_use_PrivateKey(&ctx, pki.tlsKey()) != 1 || SSL_CTX_check_private_key(&ctx) != 1)
            return false;
        SSL_CTX_set_min_proto_version(&ctx, TLS1_2_VERSION);
        if (rsa)
            return true;
        // OpenSSL has the GOST suites for TLS 1.2 only.
        return SSL_CTX_set_max_proto_version(&ctx, TLS1_2_VERSION) == 1 &&
               SSL_CTX_set_cipher_list(&ctx, kGostTlsCiphers) == 1;
    });
    if (!server->is_valid()) {
        error = "cannot set up TLS: " + opensslError();
        return nullptr;
    }
    return server;
}

} // namespace sim
