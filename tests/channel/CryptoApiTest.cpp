#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Win32.h"

namespace {

using namespace std::string_literals;

// A context with the 3DES key derived from SHA-1(01 02 .. 10).
class CKnownKey {
public:
    CKnownKey()
    {
        BYTE material[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        EXPECT_TRUE(CryptAcquireContextW(&m_hProv, nullptr, nullptr, PROV_DH_SCHANNEL,
                                         CRYPT_VERIFYCONTEXT));
        EXPECT_TRUE(CryptCreateHash(m_hProv, CALG_SHA1, 0, 0, &m_hHash));
        EXPECT_TRUE(CryptHashData(m_hHash, material, sizeof material, 0));
        if (CryptDeriveKey(m_hProv, CALG_3DES, m_hHash, 0, &m_hKey))
            return;
        // As the channel does where this provider derives no key (Wine's): the
        // enhanced RSA provider's key from the same hash must be the same.
        EXPECT_TRUE(CryptDestroyHash(m_hHash) && CryptReleaseContext(m_hProv, 0));
        EXPECT_TRUE(CryptAcquireContextW(&m_hProv, nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                                         CRYPT_VERIFYCONTEXT));
        EXPECT_TRUE(CryptCreateHash(m_hProv, CALG_SHA1, 0, 0, &m_hHash));
        EXPECT_TRUE(CryptHashData(m_hHash, material, sizeof material, 0));
        EXPECT_TRUE(CryptDeriveKey(m_hProv, CALG_3DES, m_hHash, 0, &m_hKey));
    }
    ~CKnownKey()
    {
        EXPECT_TRUE(CryptDestroyKey(m_hKey));
        EXPECT_TRUE(CryptDestroyHash(m_hHash));
        EXPECT_TRUE(CryptReleaseContext(m_hProv, 0));
    }
    HCRYPTKEY Key() const { return m_hKey; }

private:
    HCRYPTPROV m_hProv = 0;
    HCRYPTHASH m_hHash = 0;
    HCRYPTKEY m_hKey = 0;
};

TEST(CryptoApi, DerivedKeyMatchesWindowsKnownAnswer)
{
    CKnownKey key;
    std::vector<BYTE> data(48, 0);
    DWORD nLen = 32;
    ASSERT_TRUE(CryptEncrypt(key.Key(), 0, TRUE, 0, data.data(), &nLen, 48));
    EXPECT_EQ(std::string(data.begin(), data.begin() + nLen),
              "\x83\x8a\xf5\x56\xdb\xce\x25\x32\xe1\x15\xee\x50\xcd\xe4\x64\xf1\xc6\xeb\x99\xec"
              "\xf6\x93\xfd\xd9\x39\x02\x70\x95\x3d\x4c\xfb\x69\x01\xd2\xc7\x42\xc2\xd7\x09\x34"s);
    ASSERT_TRUE(CryptDecrypt(key.Key(), 0, TRUE, 0, data.data(), &nLen));
    EXPECT_EQ(nLen, 32u);
    data.resize(nLen);
    EXPECT_EQ(data, std::vector<BYTE>(32, 0));
}

TEST(CryptoApi, DecryptRejectsBadPaddingAndLength)
{
    CKnownKey key;
    BYTE block[16] = {};
    DWORD nLen = 8;
    ASSERT_TRUE(CryptEncrypt(key.Key(), 0, TRUE, 0, block, &nLen,
                             sizeof block)); // pure padding
    const std::vector<BYTE> good(block, block + 16);
    struct SCase {
        DWORD nLen;
        int nFlip;
    } cases[] = {{16, 15}, {15, -1}, {0, -1}, {16, 3}};
    for (const auto& c : cases) {
        std::vector<BYTE> data = good;
        if (c.nFlip >= 0)
            data[c.nFlip] ^= 0x01;
        DWORD n = c.nLen;
        // A flip in the first block lands in the second block's pad.
        EXPECT_FALSE(CryptDecrypt(key.Key(), 0, TRUE, 0, data.data(), &n))
            << c.nLen << "/" << c.nFlip;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_DATA));
    }
}

TEST(CryptoApi, AcquireHandleAndMessageErrors)
{
    HCRYPTPROV hProv = 0;
    EXPECT_FALSE(CryptAcquireContextW(&hProv, nullptr, nullptr, 1000, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_PROV_TYPE));
    EXPECT_FALSE(CryptAcquireContextW(&hProv, nullptr, nullptr, 999, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF));
    EXPECT_FALSE(CryptAcquireContextW(&hProv, nullptr, nullptr, PROV_DH_SCHANNEL, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEYSET));
    ASSERT_TRUE(CryptAcquireContextW(&hProv, nullptr, nullptr, PROV_DH_SCHANNEL,
                                     CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET));
    BYTE random[32] = {};
    EXPECT_TRUE(CryptGenRandom(hProv, sizeof random, random));
    EXPECT_NE(std::string(32, '\0'), std::string(random, random + 32));
    EXPECT_TRUE(CryptReleaseContext(hProv, 0));
    EXPECT_FALSE(CryptReleaseContext(hProv, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID));
    // NTE_BAD_DATA's text is checked in the log lines of C3DESEncode's tamper test.
    WCHAR buffer[512];
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0xDEADBEEF, 0, buffer, 512, nullptr), 0u);
}

} // namespace
