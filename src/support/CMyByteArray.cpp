#include "support/CMyByteArray.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace {

// Exact-size, uncleared block; throws std::bad_alloc before anything changes.
std::unique_ptr<uint8_t[]> AllocateBlock(uint32_t nSize)
{
    return std::unique_ptr<uint8_t[]>(new uint8_t[nSize]);
}

// A wipe the optimiser may not drop although the block dies right after.
void WipeBlock(uint8_t* pData, uint32_t nSize)
{
    std::memset(pData, 0, nSize);
    __asm__ __volatile__("" : : "r"(pData) : "memory");
}

}  // namespace

CMyByteArray::CMyByteArray(uint32_t nSize)
{
    if (nSize != 0) {
        m_pData = AllocateBlock(nSize);
        m_nSize = nSize;
    }
}

CMyByteArray::CMyByteArray(const CMyByteArray& other) : CMyByteArray(other.m_nSize)
{
    if (m_nSize != 0)
        std::memcpy(m_pData.get(), other.m_pData.get(), m_nSize);
}

CMyByteArray& CMyByteArray::operator=(const CMyByteArray& other)
{
    if (this == &other)
        return *this;
    if (other.IsEmpty()) {
        m_pData.reset();
        m_nSize = 0;
        return *this;
    }
    std::unique_ptr<uint8_t[]> pBlock = AllocateBlock(other.m_nSize);
    std::memcpy(pBlock.get(), other.m_pData.get(), other.m_nSize);
    m_pData = std::move(pBlock);
    m_nSize = other.m_nSize;
    return *this;
}

void CMyByteArray::SetSize(uint32_t nSize)
{
    if (nSize == 0) {
        if (m_pData)
            WipeBlock(m_pData.get(), m_nSize);
        m_pData.reset();
        m_nSize = 0;
        return;
    }
    if (nSize == m_nSize)
        return;
    std::unique_ptr<uint8_t[]> pBlock = AllocateBlock(nSize);
    if (m_nSize != 0)
        std::memcpy(pBlock.get(), m_pData.get(), nSize < m_nSize ? nSize : m_nSize);
    m_pData = std::move(pBlock);
    m_nSize = nSize;
}

CMyByteArray CMyByteArray::operator+(const CMyByteArray& tail) const
{
    if (tail.IsEmpty())
        return *this;
    if (!m_pData || m_nSize == 0)
        return tail;
    // A sum past 32 bits is as unobtainable as memory that is not there.
    if (tail.m_nSize > UINT32_MAX - m_nSize)
        throw std::bad_alloc();
    CMyByteArray work(*this);
    work.SetSize(m_nSize + tail.m_nSize);
    std::memcpy(work.GetData() + m_nSize, tail.GetData(), tail.m_nSize);
    return work;
}
