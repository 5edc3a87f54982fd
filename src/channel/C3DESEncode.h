// Protection of channel payloads: SHA-1 digest plus triple-DES, in an
// envelope carrying the ciphertext length and the seed of the session key.
#pragma once
#include <cstdint>
#include <memory>

#include "channel/ChannelFault.h"
#include "support/CMyByteArray.h"
#include "support/Win32.h"

// The C runtime's rand, ours on every platform: both peers must derive the
// same key material from a seed, whatever their C library.
class CSeedGenerator {
public:
    explicit CSeedGenerator(uint32_t nSeed) : m_nState(nSeed) {}
    uint32_t Next()
    {
        m_nState = m_nState * 214013u + 2531011u;
        return (m_nState >> 16) & 0x7FFFu;
    }

private:
    uint32_t m_nState;
};

class C3DESEncode {
public:
    static constexpr uint32_t kDigestLen = 20;
    static constexpr uint32_t kHeaderLen = 8;
    static constexpr uint32_t kMinEnvelope = 20;

    virtual ~C3DESEncode() = default;

    static bool Serialize(const CMyByteArray& input, CMyByteArray& output);
    // The same under a given seed: reproducible envelopes for tools and tests.
    static bool SerializeWithSeed(const CMyByteArray& input, CMyByteArray& output,
                                  uint32_t nSeed);
    // pFault, when given, receives the reason of a refusal.
    static bool Deserialize(const CMyByteArray& input, CMyByteArray& output,
                            EChannelFault* pFault = nullptr);
    static uint32_t GenerateSeed();

    // The CryptoAPI handles of one operation, released on destruction.
    class StreamSink {
    public:
        static constexpr uint32_t kKeyMaterialLen = 16;

        StreamSink() = default;
        virtual ~StreamSink();
        StreamSink(const StreamSink&) = delete;
        StreamSink& operator=(const StreamSink&) = delete;

        void SetSeed(uint32_t nSeed);
        bool MakeSessionKey();
        bool Encrypt(BYTE* pData, DWORD& nLen, DWORD nCapacity);
        bool Decrypt(BYTE* pData, DWORD& nLen);
        bool Release();

        bool IsReady() const { return m_bReady; }
        const BYTE* GetKeyMaterial() const { return m_pKeyMaterial.get(); }
        uint32_t GetKeyMaterialLen() const { return m_nKeyMaterialLen; }

    private:
        enum class EDerived { Key, NoKey, Failed };
        EDerived _DeriveSessionKey(DWORD nProvType, const WCHAR* pszProvider, bool bLogDerive);
        bool _AppendDigest(BYTE* pData, DWORD& nLen);
        // SHA-1 of the data into pDigest (kDigestLen bytes); false when it cannot be had.
        bool _Digest(const BYTE* pData, DWORD nLen, BYTE* pDigest);

        std::unique_ptr<BYTE[]> m_pKeyMaterial;
        uint32_t m_nKeyMaterialLen = 0;
        bool m_bReady = false;
        HCRYPTPROV m_hProv = 0;
        HCRYPTKEY m_hKey = 0;
        HCRYPTHASH m_hHash = 0;
        ALG_ID m_nCipherAlg = CALG_3DES;
        ALG_ID m_nHashAlg = CALG_SHA1;
        DWORD m_nProvType = PROV_DH_SCHANNEL;
    };
};
