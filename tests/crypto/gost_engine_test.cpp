#include "crypto/gost_engine.h"
#include "crypto/ossl.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

using namespace telva::crypto;

TEST(GostEngine, LoadsAndDigestsGostR341194) {
    ASSERT_TRUE(ensureGostEngine().ok());
    ASSERT_NE(gostEngine(), nullptr);
    // GOST R 34.11-94 (CryptoPro parameters) of the empty message, as openssl dgst gives it.
    const EVP_MD* md = EVP_get_digestbyname("md_gost94");
    ASSERT_NE(md, nullptr);
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    ASSERT_EQ(EVP_Digest("", 0, out, &len, md, nullptr), 1);
    EXPECT_EQ(len, 32u);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(out), len).toHex(),
              QByteArray("3f25bc1fbbce27ca10fb1958f319473ae7e17482c3b53ecf47a7e2de8aabe4c8"));
}
