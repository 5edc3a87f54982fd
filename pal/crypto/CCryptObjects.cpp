#include "pal/crypto/CCryptObjects.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace pal {

CCryptHash::CCryptHash() : m_pCtx(EVP_MD_CTX_new())
{
    if (!m_pCtx || EVP_DigestInit_ex(m_pCtx, EVP_sha1(), nullptr) != 1)
        throw std::bad_alloc();
}

CCryptHash::~CCryptHash() { EVP_MD_CTX_free(m_pCtx); }

bool CCryptHash::Update(const BYTE* pData, DWORD nLen)
{
    return !m_bFinished && EVP_DigestUpdate(m_pCtx, pData, nLen) == 1;
}

const std::array<BYTE, CCryptHash::kSize>& CCryptHash::Value()
{
    if (!m_bFinished) {
        unsigned int nLen = 0;
        EVP_DigestFinal_ex(m_pCtx, m_value.data(), &nLen);
        m_bFinished = true;
    }
    return m_value;
}

namespace {

std::array<BYTE, CCryptHash::kSize> PaddedSha1(const std::array<BYTE, CCryptHash::kSize>& hash,
                                               BYTE nPad)
{
    BYTE block[64];
    std::memset(block, nPad, sizeof block);
    for (size_t i = 0; i < hash.size(); ++i)
        block[i] ^= hash[i];
    std::array<BYTE, CCryptHash::kSize> out{};
    unsigned int nLen = 0;
    EVP_Digest(block, sizeof block, out.data(), &nLen, EVP_sha1(), nullptr);
    return out;
}

} // namespace

// CryptoAPI stretches a hash shorter than the key through the HMAC pads:
// SHA-1(ipad ^ H) || SHA-1(opad ^ H), truncated to the key length.
CCryptKey::CCryptKey(const std::array<BYTE, CCryptHash::kSize>& hash)
{
    const auto inner = PaddedSha1(hash, 0x36);
    const auto outer = PaddedSha1(hash, 0x5C);
    std::copy(inner.begin(), inner.end(), m_key.begin());
    std::copy(outer.begin(), outer.begin() + (kKeyLen - inner.size()),
              m_key.begin() + inner.size());
}

CCryptKey::~CCryptKey() { std::fill(m_key.begin(), m_key.end(), BYTE{0}); }

bool CCryptKey::Cbc(bool bEncrypt, BYTE* pData, DWORD nLen)
{
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    if (!ctx ||
        EVP_CipherInit_ex(ctx.get(), EVP_des_ede3_cbc(), nullptr, m_key.data(), m_iv.data(),
                          bEncrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1)
        return false;
    if (nLen == 0)
        return true;
    // The next chaining value is the last ciphertext block, before or after.
    BYTE next[kBlock];
    if (!bEncrypt)
        std::memcpy(next, pData + nLen - kBlock, kBlock);
    int nOut = 0;
    if (EVP_CipherUpdate(ctx.get(), pData, &nOut, pData, static_cast<int>(nLen)) != 1)
        return false;
    if (bEncrypt)
        std::memcpy(next, pData + nLen - kBlock, kBlock);
    std::memcpy(m_iv.data(), next, kBlock);
    return true;
}

} // namespace pal
