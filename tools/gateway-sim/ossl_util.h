#pragma once

#include <memory>
#include <string>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace sim {

struct BioFree {
    void operator()(BIO* p) const { BIO_free(p); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct X509Free {
    void operator()(X509* p) const { X509_free(p); }
};
struct CmsFree {
    void operator()(CMS_ContentInfo* p) const { CMS_ContentInfo_free(p); }
};

using BioPtr = std::unique_ptr<BIO, BioFree>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, CmsFree>;

// A read-only memory BIO over the bytes (which must outlive it).
BioPtr memoryBio(const std::string& bytes);
// An empty writable memory BIO.
BioPtr emptyBio();
// Everything written to a memory BIO so far.
std::string bioBytes(BIO* bio);

// The last OpenSSL errors as one line (and clears the queue).
std::string opensslError();

std::string certToDer(X509* cert);
X509Ptr certFromDer(const std::string& der);
std::string certToPem(X509* cert);

// Whole-file helpers; false when the file cannot be read or written.
bool readFile(const std::string& path, std::string& bytes);
bool writeFile(const std::string& path, const std::string& bytes, bool secret = false);
bool makeDirs(const std::string& path);

// The text from UTF-8 in windows-1251; characters it lacks become "?".
std::string toCp1251(const std::string& utf8);
// The SHA-256 of the bytes in lower-case hex.
std::string sha256Hex(const std::string& bytes);
// Standard Base64 in lines of 64 characters.
std::string base64Lines(const std::string& bytes);

} // namespace sim
