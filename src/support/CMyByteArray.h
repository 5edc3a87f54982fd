// The library's one growable byte buffer: exactly one heap block whose length
// always equals the size, so GetSize() is the block length. Records are built
// by sizing it and copying fields to fixed offsets.
#pragma once
#include <cstdint>
#include <memory>
#include <utility>

class CMyByteArray {
public:
    explicit CMyByteArray(uint32_t nSize = 0);
    CMyByteArray(const CMyByteArray& other);
    CMyByteArray& operator=(const CMyByteArray& other);
    // Kept virtual: the array has always been a polymorphic type and records
    // may be held through base pointers by callers.
    virtual ~CMyByteArray() = default;

    // Reallocates to exactly nSize bytes; 0 wipes the bytes first. On
    // allocation failure (std::bad_alloc) the array is unchanged.
    void SetSize(uint32_t nSize);
    void RemoveAll() { SetSize(0); }

    uint32_t GetSize() const { return m_nSize; }
    uint8_t* GetData() { return m_pData.get(); }
    const uint8_t* GetData() const { return m_pData.get(); }
    bool IsEmpty() const { return m_nSize == 0; }
    // No bounds check: nIndex must be below GetSize().
    uint8_t& ElementAt(uint32_t nIndex) { return m_pData[nIndex]; }
    const uint8_t& ElementAt(uint32_t nIndex) const { return m_pData[nIndex]; }

    CMyByteArray operator+(const CMyByteArray& tail) const;
    // Exchanges the blocks without copying: hands over a finished buffer.
    void Swap(CMyByteArray& other) noexcept
    {
        std::swap(m_nSize, other.m_nSize);
        m_pData.swap(other.m_pData);
    }

private:
    uint32_t m_nSize = 0;
    std::unique_ptr<uint8_t[]> m_pData;  // null exactly when m_nSize is 0
};
