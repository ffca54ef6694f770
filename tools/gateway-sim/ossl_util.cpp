#include "ossl_util.h"

#include "app/safe_file.h"

#include <cerrno>
#include <fstream>
#include <sys/stat.h>

#include <openssl/err.h>
#include <openssl/pem.h>

namespace sim {

BioPtr memoryBio(const std::string& bytes) {
    return BioPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

BioPtr emptyBio() {
    return BioPtr(BIO_new(BIO_s_mem()));
}

std::string bioBytes(BIO* bio) {
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    if (size <= 0 || !data)
        return {};
    return std::string(data, static_cast<size_t>(size));
}

std::string opensslError() {
    std::string text;
    unsigned long code = 0;
    while ((code = ERR_get_error()) != 0) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.empty())
            text += "; ";
        text += buffer;
    }
    return text.empty() ? std::string("unknown OpenSSL error") : text;
}

std::string certToDer(X509* cert) {
    unsigned char* out = nullptr;
    int size = i2d_X509(cert, &out);
    if (size <= 0)
        return {};
    std::string der(reinterpret_cast<char*>(out), static_cast<size_t>(size));
    OPENSSL_free(out);
    return der;
}

X509Ptr certFromDer(const std::string& der) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

std::string certToPem(X509* cert) {
    BioPtr bio = emptyBio();
    if (!PEM_write_bio_X509(bio.get(), cert))
        return {};
    return bioBytes(bio.get());
}

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeFile(const std::string& path, const std::string& bytes, bool secret) {
    return telva::writeFileReplacing(QString::fromStdString(path), QByteArray::fromStdString(bytes),
                                     secret ? 0600 : 0666)
        .ok();
}

bool makeDirs(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/')
            continue;
        std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

namespace {

// One code point from UTF-8 at pos (advancing it); 0xFFFD for a broken sequence.
char32_t nextCodePoint(const std::string& s, size_t& pos) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char c = byte(pos++);
    if (c < 0x80)
        return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0)
        return 0xFFFD;
    char32_t cp = c & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        if (pos >= s.size() || (byte(pos) & 0xC0) != 0x80)
            return 0xFFFD;
        cp = (cp << 6) | (byte(pos++) & 0x3F);
    }
    return cp;
}

char cp1251Byte(char32_t cp) {
    if (cp < 0x80)
        return static_cast<char>(cp);
    if (cp >= 0x410 && cp <= 0x44F)
        return static_cast<char>(0xC0 + (cp - 0x410));
    switch (cp) {
    case 0x401:
        return static_cast<char>(0xA8);
    case 0x451:
        return static_cast<char>(0xB8);
    case 0x2116:
        return static_cast<char>(0xB9);
    case 0xAB:
        return static_cast<char>(0xAB);
    case 0xBB:
        return static_cast<char>(0xBB);
    case 0xA0:
        return static_cast<char>(0xA0);
    case 0x2013:
        return static_cast<char>(0x96);
    case 0x2014:
        return static_cast<char>(0x97);
    default:
        return '?';
    }
}

} // namespace

std::string toCp1251(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size())
        out += cp1251Byte(nextCodePoint(utf8, pos));
    return out;
}

std::string sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr))
        return {};
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

std::string base64Lines(const std::string& bytes) {
    std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<int>(bytes.size()));
    encoded.resize(static_cast<size_t>(n));
    std::string lines;
    for (size_t i = 0; i < encoded.size(); i += 64)
        lines += encoded.substr(i, 64) + "\r\n";
    return lines;
}

} // namespace sim
