// The objects behind CryptoAPI handles: a provider context, a SHA-1 hash
// object and a derived triple-DES key, each a pal handle.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "pal/base/handles.h"
#include "pal/crypto/crypto.h"

struct evp_md_ctx_st;

namespace pal {

class CCryptProvider : public CKernelObject {
public:
    explicit CCryptProvider(DWORD nType) : m_nType(nType) {}
    DWORD Type() const { return m_nType; }

private:
    DWORD m_nType;
};

class CCryptHash : public CKernelObject {
public:
    static constexpr DWORD kSize = 20;

    CCryptHash();
    ~CCryptHash() override;
    CCryptHash(const CCryptHash&) = delete;
    CCryptHash& operator=(const CCryptHash&) = delete;

    bool Update(const BYTE* pData, DWORD nLen);
    // Finishes the hash on first use; later data is refused, as on Windows.
    const std::array<BYTE, kSize>& Value();
    bool IsFinished() const { return m_bFinished; }

private:
    evp_md_ctx_st* m_pCtx = nullptr;
    bool m_bFinished = false;
    std::array<BYTE, kSize> m_value{};
};

class CCryptKey : public CKernelObject {
public:
    static constexpr DWORD kBlock = 8;
    static constexpr size_t kKeyLen = 24;

    explicit CCryptKey(const std::array<BYTE, CCryptHash::kSize>& hash);
    ~CCryptKey() override;

    // CBC over whole blocks; the chaining value carries across non-final calls.
    bool Cbc(bool bEncrypt, BYTE* pData, DWORD nLen);
    void ResetChain() { m_iv.fill(0); }

private:
    std::array<BYTE, kKeyLen> m_key{};
    std::array<BYTE, kBlock> m_iv{};
};

template <class T> std::shared_ptr<T> FindCryptObject(ULONG_PTR handle, HRESULT nUnknownError)
{
    auto object = handle ? FindHandleOf<T>(reinterpret_cast<HANDLE>(handle)) : nullptr;
    if (!object)
        SetLastError(static_cast<DWORD>(nUnknownError));
    return object;
}

} // namespace pal
