#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Win32.h"

namespace {

std::string Hex(const BYTE* p, DWORD n)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (DWORD i = 0; i < n; ++i) {
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
    }
    return s;
}

// A context with the 3DES key derived from SHA-1(01 02 .. 10).
class CKnownKey {
public:
    CKnownKey()
    {
        BYTE material[16];
        for (BYTE i = 0; i < 16; ++i)
            material[i] = static_cast<BYTE>(i + 1);
        EXPECT_TRUE(CryptAcquireContextW(&m_hProv, nullptr, nullptr, PROV_DH_SCHANNEL,
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
    EXPECT_EQ(Hex(data.data(), nLen), "838af556dbce2532e115ee50cde464f1c6eb99ecf6"
                                      "93fdd9390270953d4cfb6901d2c742c2d70934");
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

TEST(CryptoApi, AcquireAndHandleErrors)
{
    HCRYPTPROV hProv = 0;
    EXPECT_FALSE(CryptAcquireContextW(&hProv, nullptr, nullptr, 999, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_PROV_TYPE));
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
}

// NTE_BAD_DATA's text is checked in the log lines of C3DESEncode's tamper test.
TEST(CryptoApi, UnknownCodesHaveNoSystemMessage)
{
    WCHAR buffer[512];
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0xDEADBEEF, 0, buffer, 512, nullptr), 0u);
}

} // namespace
