#include "channel/C3DESEncode.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "support/Format.h"
#include "support/LittleEndian.h"
#include "support/Logging.h"

namespace {

constexpr DWORD kRandomBytes = 96;
constexpr uint32_t kWorkSlack = C3DESEncode::kDigestLen + 8;
constexpr DWORD kMessageChars = 512;
constexpr size_t kLineChars = 1024;
const WCHAR kDetailPattern[] = W(": \r\n\tvalue: %#X \r\n\tMessage: %s");
const WCHAR kInlinePattern[] = W(": value: %#X; Message: %s");

// The system's text for a code, on one line, in the system's language: its
// messages are installed in that one, not necessarily in the user's.
WString SystemMessage(DWORD nCode)
{
    WCHAR buffer[kMessageChars + 1] = {};
    const DWORD nLen =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, nCode,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), buffer, kMessageChars, nullptr);
    WString sText(buffer, nLen);
    for (auto& c : sText)
        if (c == W('\r') || c == W('\n'))
            c = W(' ');
    while (!sText.empty() && sText.back() == W(' '))
        sText.pop_back();
    return sText;
}

void LogCallError(const WCHAR* pszCall, DWORD nCode, const WCHAR* pszPattern = kDetailPattern)
{
    if (!IsErrorEnabled())
        return;
    WString sLine =
        WString(W("Error during ")) + pszCall + Format(pszPattern, nCode, SystemMessage(nCode));
    if (sLine.size() > kLineChars)
        sLine.resize(kLineChars);
    LogError(sLine.c_str());
}

void LogLastError(const WCHAR* pszCall) { LogCallError(pszCall, GetLastError()); }

void LogCritical(const WCHAR* pszText)
{
    if (IsErrorEnabled())
        LogError(pszText);
}

bool IsBadKeyset(DWORD nCode) { return nCode == static_cast<DWORD>(NTE_BAD_KEYSET); }

uint32_t SeedFromRandom(const BYTE* pRandom)
{
    uint32_t nSeed = pRandom[0];
    for (DWORD i = 0; i < kRandomBytes; ++i) {
        const BYTE b = pRandom[i];
        nSeed += static_cast<uint32_t>(std::pow(static_cast<double>(b), b % 5));
    }
    return nSeed;
}

// Acquires a verify-only context, creating the key set when the provider
// reports none; logs each failed attempt with the caller's pattern.
bool AcquireVerifyContext(HCRYPTPROV& hProv, DWORD nProvType, const WCHAR* pszPattern,
                          const WCHAR* pszProvider = nullptr)
{
    if (CryptAcquireContextW(&hProv, nullptr, pszProvider, nProvType, CRYPT_VERIFYCONTEXT))
        return true;
    const DWORD nCode = GetLastError();
    LogCallError(W("CryptAcquireContext"), nCode, pszPattern);
    if (!IsBadKeyset(nCode))
        return false;
    if (CryptAcquireContextW(&hProv, nullptr, pszProvider, nProvType,
                             CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET))
        return true;
    LogCallError(W("CryptAcquireContext"), GetLastError(), pszPattern);
    hProv = 0;
    return false;
}

} // namespace

uint32_t C3DESEncode::GenerateSeed()
{
    HCRYPTPROV hProv = 0;
    if (!AcquireVerifyContext(hProv, PROV_DH_SCHANNEL, kInlinePattern))
        return 0;
    uint32_t nSeed = 0;
    std::vector<BYTE> random(kRandomBytes);
    if (CryptGenRandom(hProv, kRandomBytes, random.data()))
        nSeed = SeedFromRandom(random.data());
    else
        LogCallError(W("CryptGenRandom"), GetLastError(), kInlinePattern);
    if (!CryptReleaseContext(hProv, 0))
        LogLastError(W("CryptReleaseContext"));
    return nSeed;
}

bool C3DESEncode::Serialize(const CMyByteArray& input, CMyByteArray& output)
{
    output.RemoveAll();
    if (input.IsEmpty())
        return false;
    return SerializeWithSeed(input, output, GenerateSeed());
}

bool C3DESEncode::SerializeWithSeed(const CMyByteArray& input, CMyByteArray& output,
                                    uint32_t nSeed)
{
    output.RemoveAll();
    const uint32_t n = input.GetSize();
    // Data, digest and at most one block of padding: all the cipher needs,
    // where twice the data would cost a large image ~100 KB more per message.
    if (n == 0 || n > UINT32_MAX - kHeaderLen - kWorkSlack)
        return false;
    const DWORD nCapacity = n + kWorkSlack;
    CMyByteArray work(nCapacity);
    std::memcpy(work.GetData(), input.GetData(), n);
    DWORD nLen = n;
    {
        StreamSink sink;
        sink.SetSeed(nSeed);
        if (!sink.Encrypt(work.GetData(), nLen, nCapacity))
            return false;
    }
    output.SetSize(nLen + kHeaderLen);
    StoreLE32(output.GetData(), nLen);
    StoreLE32(output.GetData() + 4, nSeed);
    std::memcpy(output.GetData() + kHeaderLen, work.GetData(), nLen);
    work.RemoveAll();
    return true;
}

bool C3DESEncode::Deserialize(const CMyByteArray& input, CMyByteArray& output,
                              EChannelFault* pFault)
{
    EChannelFault eIgnored = EChannelFault::None;
    EChannelFault& eFault = pFault ? *pFault : eIgnored;
    eFault = EChannelFault::None;
    output.RemoveAll();
    const uint32_t nSize = input.GetSize();
    if (nSize < kMinEnvelope) {
        eFault = nSize == 0 ? EChannelFault::Empty : EChannelFault::TooShort;
        return false;
    }
    const uint32_t nLen = LoadLE32(input.GetData());
    // Compared in 64 bits: a length near 2^32 must not wrap into a match.
    if (uint64_t{nLen} + kHeaderLen != nSize) {
        eFault = EChannelFault::LengthField;
        return false;
    }
    const uint32_t nSeed = LoadLE32(input.GetData() + 4);
    output.SetSize(nLen);
    std::memcpy(output.GetData(), input.GetData() + kHeaderLen, nLen);
    DWORD nPlain = nLen;
    StreamSink sink;
    sink.SetSeed(nSeed);
    if (!sink.Decrypt(output.GetData(), nPlain)) {
        // Bytes that failed the digest are withheld from the caller (and wiped).
        output.RemoveAll();
        eFault = EChannelFault::Integrity;
        return false;
    }
    output.SetSize(nPlain);
    return true;
}

C3DESEncode::StreamSink::~StreamSink()
{
    Release();
    if (m_pKeyMaterial)
        std::memset(m_pKeyMaterial.get(), 0xFF, m_nKeyMaterialLen);
}

void C3DESEncode::StreamSink::SetSeed(uint32_t nSeed)
{
    m_pKeyMaterial = std::make_unique<BYTE[]>(kKeyMaterialLen);
    m_nKeyMaterialLen = kKeyMaterialLen;
    CSeedGenerator generator(nSeed);
    for (uint32_t nOffset = 0; nOffset < kKeyMaterialLen; nOffset += 4)
        StoreLE32(m_pKeyMaterial.get() + nOffset, generator.Next());
    if (MakeSessionKey())
        m_bReady = true;
}

bool C3DESEncode::StreamSink::MakeSessionKey()
{
    const EDerived eFirst = _DeriveSessionKey(m_nProvType, nullptr, false);
    if (eFirst != EDerived::NoKey)
        return eFirst == EDerived::Key;
    // Some providers of this type cannot derive a triple-DES key (Wine's
    // cannot). The enhanced RSA provider derives it from the same SHA-1 hash
    // in the same documented way, so the bytes on the wire do not change.
    static std::atomic<bool> s_bFallbackLogged{false};
    if (!s_bFallbackLogged.exchange(true))
        LogDebugLine([] {
            return WString(W("The channel's key provider derives no triple-DES key; using the "
                             "enhanced RSA provider"));
        });
    Release();
    return _DeriveSessionKey(PROV_RSA_FULL, MS_ENHANCED_PROV_W, true) == EDerived::Key;
}

C3DESEncode::StreamSink::EDerived
C3DESEncode::StreamSink::_DeriveSessionKey(DWORD nProvType, const WCHAR* pszProvider,
                                           bool bLogDerive)
{
    if (!AcquireVerifyContext(m_hProv, nProvType, kDetailPattern, pszProvider))
        return EDerived::Failed;
    if (!CryptCreateHash(m_hProv, m_nHashAlg, 0, 0, &m_hHash)) {
        m_hHash = 0;
        LogLastError(W("CryptCreateHash"));
        return EDerived::Failed;
    }
    if (!CryptHashData(m_hHash, m_pKeyMaterial.get(), m_nKeyMaterialLen, 0)) {
        LogLastError(W("CryptHashData"));
        return EDerived::Failed;
    }
    if (!CryptDeriveKey(m_hProv, m_nCipherAlg, m_hHash, 0, &m_hKey)) {
        m_hKey = 0;
        if (bLogDerive)
            LogLastError(W("CryptDeriveKey"));
        return EDerived::NoKey;
    }
    m_bReady = true;
    return EDerived::Key;
}

bool C3DESEncode::StreamSink::_AppendDigest(BYTE* pData, DWORD& nLen)
{
    HCRYPTHASH hHash = 0;
    if (!CryptCreateHash(m_hProv, CALG_SHA1, 0, 0, &hHash))
        return false;
    DWORD nDigestLen = kDigestLen;
    bool bOk = CryptHashData(hHash, pData, nLen, 0) != FALSE;
    if (bOk) {
        bOk = CryptGetHashParam(hHash, HP_HASHVAL, pData + nLen, &nDigestLen, 0) != FALSE;
        if (!bOk)
            LogCritical(W("Critical Error occured while encrypting data: can not "
                          "create hash checksum !!!"));
    }
    CryptDestroyHash(hHash);
    if (bOk)
        nLen += kDigestLen;
    return bOk;
}

bool C3DESEncode::StreamSink::Encrypt(BYTE* pData, DWORD& nLen, DWORD nCapacity)
{
    if (!pData || nCapacity == 0 || !m_bReady || uint64_t{nLen} + kDigestLen >= nCapacity)
        return false;
    if (!_AppendDigest(pData, nLen))
        return false;
    if (!CryptEncrypt(m_hKey, 0, TRUE, 0, pData, &nLen, nCapacity)) {
        LogLastError(W("CryptEncrypt"));
        return false;
    }
    return true;
}

bool C3DESEncode::StreamSink::_Digest(const BYTE* pData, DWORD nLen, BYTE* pDigest)
{
    HCRYPTHASH hHash = 0;
    if (!CryptCreateHash(m_hProv, CALG_SHA1, 0, 0, &hHash))
        return false;
    DWORD nDigestLen = kDigestLen;
    const bool bHashed = CryptHashData(hHash, pData, nLen, 0) &&
                         CryptGetHashParam(hHash, HP_HASHVAL, pDigest, &nDigestLen, 0);
    CryptDestroyHash(hHash);
    return bHashed;
}

bool C3DESEncode::StreamSink::Decrypt(BYTE* pData, DWORD& nLen)
{
    if (!pData || nLen == 0 || !m_bReady)
        return false;
    if (!CryptDecrypt(m_hKey, 0, TRUE, 0, pData, &nLen)) {
        LogLastError(W("CryptDecrypt"));
        return false;
    }
    if (nLen < kDigestLen)
        return false;
    // Only two digests that were both had can be said to differ.
    BYTE digest[kDigestLen] = {};
    if (!_Digest(pData, nLen - kDigestLen, digest))
        return false;
    nLen -= kDigestLen;
    if (std::memcmp(digest, pData + nLen, kDigestLen) != 0) {
        LogCritical(W("Critical Error occured while decrypting data: stream is "
                      "tampered, hash "
                      "checksums are not identical !!!"));
        return false;
    }
    return true;
}

bool C3DESEncode::StreamSink::Release()
{
    m_bReady = false;
    bool bResult = true;
    if (m_hKey) {
        bResult = CryptDestroyKey(m_hKey) != FALSE;
        if (bResult)
            m_hKey = 0;
        else
            LogLastError(W("CryptDestroyKey"));
    }
    if (m_hHash) {
        bResult = CryptDestroyHash(m_hHash) != FALSE;
        if (bResult)
            m_hHash = 0;
        else
            LogLastError(W("CryptDestroyHash"));
    }
    if (m_hProv) {
        bResult = CryptReleaseContext(m_hProv, 0) != FALSE;
        if (bResult)
            m_hProv = 0;
        else
            LogLastError(W("CryptReleaseContext"));
    }
    return bResult;
}
