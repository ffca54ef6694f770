#pragma once

#include "app/result.h"
#include "crypto/certificate.h"
#include "crypto/ossl.h"

#include <QByteArray>
#include <functional>

namespace telva::crypto {

// The DER signed-data around a content that is streamed through it: prefix, the content
// bytes as they are, suffix. One signer (issuer and serial number, version 1), the digest
// of the signer's key (GOST R 34.11-94 for GOST R 34.10-2001, Streebog-256 or -512 for GOST R
// 34.10-2012), no signed or unsigned attributes, the signer's certificate as the only
// certificate. Every length is known before the content is read, because a signature of
// these key types has a fixed size (64 or 128 bytes); so the prefix and the suffix's size come
// first, the content is hashed as it passes, and the suffix (holding the signature) comes last.
class SignedDataWriter {
public:
    // Prepares the structure for contentSize bytes, signed with the signer's key.
    static Result<SignedDataWriter> begin(const Certificate& signer, EVP_PKEY* key,
                                          quint64 contentSize);

    const QByteArray& prefix() const { return prefix_; }
    qsizetype suffixSize() const { return suffixSize_; }
    // Hashes the next content piece; false on a digest failure.
    bool update(const char* data, qsizetype size);
    // Signs the digest of everything hashed and gives the suffix, exactly suffixSize() bytes.
    Result<QByteArray> finish();

private:
    SignedDataWriter() = default;

    CmsPtr cms_;
    CMS_SignerInfo* signer_ = nullptr; // owned by cms_
    PKeyPtr key_;
    MdCtxPtr digest_;
    QByteArray prefix_;
    qsizetype suffixSize_ = 0;
};

// An enveloped-data for one key-transport recipient (issuer and serial number), content
// encryption GOST 28147-89 with the CryptoPro-A parameter set, whose encrypted content is
// written as it is produced: header() first, then the ciphertext of exactly the announced
// number of plaintext bytes (the cipher keeps the length).
class EnvelopeWriter {
public:
    ~EnvelopeWriter();
    EnvelopeWriter(EnvelopeWriter&& other) noexcept;
    EnvelopeWriter(const EnvelopeWriter&) = delete;
    EnvelopeWriter& operator=(const EnvelopeWriter&) = delete;
    EnvelopeWriter& operator=(EnvelopeWriter&&) = delete;

    // Prepares the content key, its transport to the recipient and the DER header for a
    // plaintext of plaintextSize bytes.
    static Result<EnvelopeWriter> begin(const Certificate& recipient, quint64 plaintextSize);

    const QByteArray& header() const { return header_; }
    // Encrypts the next plaintext piece into out (same size); false on a cipher failure.
    bool encrypt(const char* in, qsizetype size, char* out);
    // Completes the cipher; false on failure or when the sizes do not add up.
    bool finish();

private:
    EnvelopeWriter() = default;

    CmsPtr cms_;
    BIO* chain_ = nullptr;
    EVP_CIPHER_CTX* cipher_ = nullptr; // owned by chain_
    QByteArray header_;
    quint64 expected_ = 0;
    quint64 done_ = 0;
};

} // namespace telva::crypto
