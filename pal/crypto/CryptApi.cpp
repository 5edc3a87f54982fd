#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <cstring>

#include "pal/base/settings.h"
#include "pal/crypto/CCryptObjects.h"

using pal::CCryptHash;
using pal::CCryptKey;
using pal::CCryptProvider;
using pal::FindCryptObject;

namespace {

BOOL Fail(HRESULT nError)
{
    SetLastError(static_cast<DWORD>(nError));
    return FALSE;
}

template <class T> ULONG_PTR Insert(std::shared_ptr<T> object)
{
    return reinterpret_cast<ULONG_PTR>(pal::InsertHandle(std::move(object)));
}

bool KnownProvider(DWORD nType)
{
    return nType == PROV_DH_SCHANNEL || nType == PROV_RSA_FULL || nType == PROV_RSA_AES;
}

// A provider that breaks: the functions VESK_CRYPT_FAIL names fail with NTE_FAIL.
bool Broken(const char* pszFunction) { return pal::SettingListHas("VESK_CRYPT_FAIL", pszFunction); }

// "CryptDeriveKey:PROV_DH_SCHANNEL" in VESK_CRYPT_FAIL: that type's provider
// derives no key while the others still do, as Wine's does.
bool NoDerivation(DWORD nProvType)
{
    return nProvType == PROV_DH_SCHANNEL &&
           pal::SettingListHas("VESK_CRYPT_FAIL", "CryptDeriveKey:PROV_DH_SCHANNEL");
}

// OpenSSL frees its state in an exit handler of its own, registered at its
// first use: a thread that still seals a message while the process exits (a
// capture the library's detach is waiting for) would find it gone. Every use
// here starts with a context, and the first one keeps OpenSSL to the end.
bool KeepOpenSslToTheEnd()
{
    static const bool bInitialized = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;
    return bInitialized;
}

DWORD PaddedLength(DWORD nLen) { return (nLen / CCryptKey::kBlock + 1) * CCryptKey::kBlock; }

} // namespace

// Only ephemeral contexts exist: no key container is ever stored, so opening
// a named or default container finds none unless one is "created".
BOOL WINAPI CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR, DWORD dwProvType,
                                 DWORD dwFlags)
{
    if (Broken("CryptAcquireContextW") || !KeepOpenSslToTheEnd())
        return Fail(NTE_FAIL);
    if (!phProv)
        return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags & ~(CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET))
        return Fail(NTE_BAD_FLAGS);
    // Types run from 1 to 999; one in that range without a provider is undefined.
    if (!KnownProvider(dwProvType))
        return Fail(dwProvType == 0 || dwProvType > 999 ? NTE_BAD_PROV_TYPE : NTE_PROV_TYPE_NOT_DEF);
    if (szContainer && (dwFlags & CRYPT_VERIFYCONTEXT))
        return Fail(NTE_BAD_FLAGS);
    if (!(dwFlags & (CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET)))
        return Fail(NTE_BAD_KEYSET);
    *phProv = Insert(std::make_shared<CCryptProvider>(dwProvType));
    return TRUE;
}

BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags)
{
    if (!FindCryptObject<CCryptProvider>(hProv, NTE_BAD_UID))
        return FALSE;
    if (dwFlags)
        return Fail(NTE_BAD_FLAGS);
    pal::RemoveHandle(reinterpret_cast<HANDLE>(hProv));
    return TRUE;
}

BOOL WINAPI CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer)
{
    if (Broken("CryptGenRandom"))
        return Fail(NTE_FAIL);
    if (!FindCryptObject<CCryptProvider>(hProv, NTE_BAD_UID))
        return FALSE;
    if (dwLen == 0)
        return TRUE;
    if (!pbBuffer)
        return Fail(ERROR_INVALID_PARAMETER);
    return RAND_bytes(pbBuffer, static_cast<int>(dwLen)) == 1 ? TRUE : Fail(NTE_FAIL);
}

BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                            HCRYPTHASH* phHash)
{
    if (Broken("CryptCreateHash"))
        return Fail(NTE_FAIL);
    if (!FindCryptObject<CCryptProvider>(hProv, NTE_BAD_UID))
        return FALSE;
    if (!phHash)
        return Fail(ERROR_INVALID_PARAMETER);
    if (Algid != CALG_SHA1)
        return Fail(NTE_BAD_ALGID);
    if (hKey)
        return Fail(NTE_BAD_KEY);
    if (dwFlags)
        return Fail(NTE_BAD_FLAGS);
    *phHash = Insert(std::make_shared<CCryptHash>());
    return TRUE;
}

BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags)
{
    if (Broken("CryptHashData"))
        return Fail(NTE_FAIL);
    const auto hash = FindCryptObject<CCryptHash>(hHash, NTE_BAD_HASH);
    if (!hash)
        return FALSE;
    if (dwFlags)
        return Fail(NTE_BAD_FLAGS);
    if (!pbData && dwDataLen)
        return Fail(ERROR_INVALID_PARAMETER);
    return hash->Update(pbData, dwDataLen) ? TRUE : Fail(NTE_BAD_HASH_STATE);
}

namespace {

// Win32 size rules: a null buffer asks for the size, a short one gets
// ERROR_MORE_DATA and the size; either way the size is reported.
BOOL CopyParam(const void* pValue, DWORD nSize, BYTE* pbData, DWORD* pdwDataLen)
{
    const DWORD nCapacity = *pdwDataLen;
    *pdwDataLen = nSize;
    if (!pbData)
        return TRUE;
    if (nCapacity < nSize)
        return Fail(ERROR_MORE_DATA);
    std::memcpy(pbData, pValue, nSize);
    return TRUE;
}

} // namespace

BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                              DWORD dwFlags)
{
    if (Broken("CryptGetHashParam"))
        return Fail(NTE_FAIL);
    const auto hash = FindCryptObject<CCryptHash>(hHash, NTE_BAD_HASH);
    if (!hash)
        return FALSE;
    if (!pdwDataLen)
        return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags)
        return Fail(NTE_BAD_FLAGS);
    const DWORD nAlg = CALG_SHA1;
    const DWORD nSize = CCryptHash::kSize;
    switch (dwParam) {
    case HP_ALGID:
        return CopyParam(&nAlg, sizeof nAlg, pbData, pdwDataLen);
    case HP_HASHSIZE:
        return CopyParam(&nSize, sizeof nSize, pbData, pdwDataLen);
    case HP_HASHVAL:
        // Asking for the size alone leaves the hash open, as on Windows.
        if (!pbData)
            return CopyParam(nullptr, nSize, nullptr, pdwDataLen);
        return CopyParam(hash->Value().data(), nSize, pbData, pdwDataLen);
    default:
        return Fail(NTE_BAD_TYPE);
    }
}

BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash)
{
    if (!FindCryptObject<CCryptHash>(hHash, NTE_BAD_HASH))
        return FALSE;
    pal::RemoveHandle(reinterpret_cast<HANDLE>(hHash));
    return TRUE;
}

BOOL WINAPI CryptDeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData, DWORD dwFlags,
                           HCRYPTKEY* phKey)
{
    if (Broken("CryptDeriveKey"))
        return Fail(NTE_FAIL);
    const auto provider = FindCryptObject<CCryptProvider>(hProv, NTE_BAD_UID);
    if (!provider)
        return FALSE;
    if (NoDerivation(provider->Type()))
        return Fail(NTE_BAD_ALGID);
    const auto hash = FindCryptObject<CCryptHash>(hBaseData, NTE_BAD_HASH);
    if (!hash)
        return FALSE;
    if (!phKey)
        return Fail(ERROR_INVALID_PARAMETER);
    if (Algid != CALG_3DES)
        return Fail(NTE_BAD_ALGID);
    if (dwFlags)
        return Fail(NTE_BAD_FLAGS);
    *phKey = Insert(std::make_shared<CCryptKey>(hash->Value()));
    return TRUE;
}

BOOL WINAPI CryptDestroyKey(HCRYPTKEY hKey)
{
    if (!FindCryptObject<CCryptKey>(hKey, NTE_BAD_KEY))
        return FALSE;
    pal::RemoveHandle(reinterpret_cast<HANDLE>(hKey));
    return TRUE;
}

namespace {

std::shared_ptr<CCryptHash> OptionalHash(HCRYPTHASH hHash, bool& bOk)
{
    bOk = true;
    if (!hHash)
        return nullptr;
    auto hash = FindCryptObject<CCryptHash>(hHash, NTE_BAD_HASH);
    bOk = hash != nullptr;
    return hash;
}

} // namespace

BOOL WINAPI CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData,
                         DWORD* pdwDataLen, DWORD dwBufLen)
{
    if (Broken("CryptEncrypt"))
        return Fail(NTE_FAIL);
    const auto key = FindCryptObject<CCryptKey>(hKey, NTE_BAD_KEY);
    bool bHashOk = false;
    const auto hash = OptionalHash(hHash, bHashOk);
    if (!key || !bHashOk)
        return FALSE;
    if (!pdwDataLen)
        return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags)
        return Fail(NTE_BAD_FLAGS);
    const DWORD nLen = *pdwDataLen;
    if (!Final && nLen % CCryptKey::kBlock)
        return Fail(NTE_BAD_LEN);
    const DWORD nOut = Final ? PaddedLength(nLen) : nLen;
    *pdwDataLen = nOut;
    if (!pbData)
        return TRUE;
    if (dwBufLen < nOut)
        return Fail(ERROR_MORE_DATA);
    if (hash && !hash->Update(pbData, nLen))
        return Fail(NTE_BAD_HASH_STATE);
    const BYTE nPad = static_cast<BYTE>(nOut - nLen);
    std::memset(pbData + nLen, nPad, nPad);
    const bool bOk = key->Cbc(true, pbData, nOut);
    if (Final)
        key->ResetChain();
    return bOk ? TRUE : Fail(NTE_FAIL);
}

BOOL WINAPI CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData,
                         DWORD* pdwDataLen)
{
    if (Broken("CryptDecrypt"))
        return Fail(NTE_FAIL);
    const auto key = FindCryptObject<CCryptKey>(hKey, NTE_BAD_KEY);
    bool bHashOk = false;
    const auto hash = OptionalHash(hHash, bHashOk);
    if (!key || !bHashOk)
        return FALSE;
    if (!pdwDataLen || (!pbData && *pdwDataLen))
        return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags)
        return Fail(NTE_BAD_FLAGS);
    const DWORD nLen = *pdwDataLen;
    if (nLen % CCryptKey::kBlock || (Final && nLen == 0))
        return Fail(NTE_BAD_DATA);
    const bool bOk = key->Cbc(false, pbData, nLen);
    if (Final)
        key->ResetChain();
    if (!bOk)
        return Fail(NTE_FAIL);
    DWORD nPlain = nLen;
    if (Final) {
        const BYTE nPad = pbData[nLen - 1];
        if (nPad == 0 || nPad > CCryptKey::kBlock)
            return Fail(NTE_BAD_DATA);
        for (DWORD i = nLen - nPad; i < nLen; ++i)
            if (pbData[i] != nPad)
                return Fail(NTE_BAD_DATA);
        nPlain -= nPad;
    }
    if (hash && !hash->Update(pbData, nPlain))
        return Fail(NTE_BAD_HASH_STATE);
    *pdwDataLen = nPlain;
    return TRUE;
}
