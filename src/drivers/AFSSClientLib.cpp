#include "drivers/AFSSClientLib.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

#include "drivers/AFSSClient.h"
#include "support/Win32.h"

namespace AuthenTec {
namespace AFSSClientLib {

namespace {

bool IsLiveBlock(void* pBlock) { return pBlock && GlobalFlags(pBlock) != GMEM_INVALID_HANDLE; }

// Zeroed; std::bad_alloc on exhaustion, as the library's allocator does.
void* AllocateBlock(size_t nBytes)
{
    void* const pBlock = GlobalAlloc(GPTR, nBytes);
    if (!pBlock)
        throw std::bad_alloc();
    return pBlock;
}

// A new block holding nBytes from pData; null when either is 0.
uint8_t* CopyBlock(const void* pData, uint32_t nBytes)
{
    if (!pData || !nBytes)
        return nullptr;
    auto* const pCopy = static_cast<uint8_t*>(AllocateBlock(nBytes));
    std::memcpy(pCopy, pData, nBytes);
    return pCopy;
}

// The whole block as the heap knows it is wiped, so that a byte count the
// client library wrote can neither leave data behind nor reach past it.
void WipeAndRelease(void* pBlock)
{
    if (!IsLiveBlock(pBlock))
        return;
    volatile uint8_t* pByte = static_cast<volatile uint8_t*>(pBlock);
    for (SIZE_T n = GlobalSize(pBlock); n > 0; --n)
        *pByte++ = 0;
    GlobalFree(pBlock);
}

}  // namespace

// The client library reads these objects by offset: on 32-bit builds every
// field is where its own build puts it. (Offsets into classes with virtual
// operations are conditionally supported; GCC gives them for single
// inheritance.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct AFSSLayout {
    static constexpr bool kCheck = sizeof(void*) == 4;
    static_assert(!kCheck || sizeof(AFSSUserObjectBase) == 4);
    static_assert(!kCheck || (sizeof(AFSSBuffer) == 16 && offsetof(AFSSBuffer, m_pData) == 4 &&
                              offsetof(AFSSBuffer, m_nBytes) == 8 &&
                              offsetof(AFSSBuffer, m_nValue) == 12));
    static_assert(!kCheck || (sizeof(AFSSNode) == 8 && offsetof(AFSSNode, m_pNext) == 4));
    static_assert(!kCheck || (sizeof(AFSSPayload) == 24 && offsetof(AFSSPayload, m_nType) == 8 &&
                              offsetof(AFSSPayload, m_nFlag) == 12 &&
                              offsetof(AFSSPayload, m_pData) == 16 &&
                              offsetof(AFSSPayload, m_nBytes) == 20));
    static_assert(!kCheck || (sizeof(AFSSList) == 12 && offsetof(AFSSList, m_pHead) == 4 &&
                              offsetof(AFSSList, m_nCount) == 8));
    static_assert(!kCheck ||
                  (sizeof(AFSSSensorImage) == 28 && offsetof(AFSSSensorImage, m_nFormat) == 24));
    static_assert(!kCheck || sizeof(AFSSSensorDescriptorList) == 12);
    static_assert(!kCheck || (sizeof(AFSSSoftwareVersionInfo) == 20 &&
                              offsetof(AFSSSoftwareVersionInfo, m_aNumbers) == 4));
    static_assert(!kCheck || (sizeof(AFSSSoftwareVersions) == 64 &&
                              offsetof(AFSSSoftwareVersions, m_aEntries) == 4));
    // The client library's own objects, as the drivers read them.
    static_assert(!kCheck || (offsetof(AFSSSensorDescriptor, m_nSensorType) == 8 &&
                              offsetof(AFSSSensorDescriptor, m_nSensorIndex) == 12 &&
                              offsetof(AFSSSensorDescriptor, m_name) == 16 &&
                              offsetof(AFSSSensorDescriptor, m_serialNumber) == 32 &&
                              offsetof(AFSSSensorDescriptor, m_devicePath) == 48 &&
                              offsetof(AFSSSensorDescriptor, m_firmware) == 64 &&
                              offsetof(AFSSSensorDescriptor, m_hardware) == 132 &&
                              offsetof(AFSSSensorDescriptor, m_bAvailable) == 148 &&
                              offsetof(AFSSSensorDescriptor, m_bSwipeSensor) == 152));
    static_assert(!kCheck || (offsetof(AFSSEvent, m_nType) == 12 &&
                              offsetof(AFSSEvent, m_nCode) == 24 &&
                              offsetof(AFSSEvent, m_payloads) == 32));
};
#pragma GCC diagnostic pop

AFSSUserObjectBase* AFSSUserObjectBase::Destroy(unsigned int nFlags) { return DestroyAs(this, nFlags); }

AFSSUserObjectBase& AFSSUserObjectBase::operator=(const AFSSUserObjectBase&) { return *this; }

uint32_t AFSSUserObjectBase::ObjectSize() const { return sizeof(*this); }

void* AFSSUserObjectBase::operator new(size_t nBytes) { return AllocateBlock(nBytes); }

void AFSSUserObjectBase::operator delete(void* pObject)
{
    if (IsLiveBlock(pObject))
        GlobalFree(pObject);
}

AFSSBuffer::AFSSBuffer(const void* pData, uint32_t nBytes, uint32_t nValue)
    : m_pData(CopyBlock(pData, nBytes)), m_nBytes(m_pData ? nBytes : 0), m_nValue(nValue)
{
}

AFSSBuffer::AFSSBuffer(const AFSSBuffer& other) : AFSSBuffer(other.m_pData, other.m_nBytes, other.m_nValue) {}

AFSSBuffer::~AFSSBuffer() { WipeAndRelease(m_pData); }

AFSSBuffer& AFSSBuffer::operator=(const AFSSBuffer& other)
{
    if (&other == this)
        return *this;
    uint8_t* const pCopy = CopyBlock(other.m_pData, other.m_nBytes);
    WipeAndRelease(m_pData);
    m_pData = pCopy;
    m_nBytes = pCopy ? other.m_nBytes : 0;
    m_nValue = other.m_nValue;
    return *this;
}

AFSSNode& AFSSNode::operator=(const AFSSNode& other)
{
    m_pNext = other.m_pNext;
    return *this;
}

AFSSPayload::AFSSPayload(uint32_t nType, uint8_t nFlag, const void* pData, uint32_t nBytes)
    : m_nType(nType), m_nFlag(nFlag)
{
    _CopyData(pData, nBytes);
}

AFSSPayload::AFSSPayload(const AFSSPayload& other)
    : AFSSNode(), m_nType(other.m_nType), m_nFlag(other.m_nFlag)
{
    _CopyData(other.m_pData, other.m_nBytes);
}

AFSSPayload::~AFSSPayload() { WipeAndRelease(m_pData); }

AFSSPayload* AFSSPayload::Clone() const { return new AFSSPayload(*this); }

AFSSPayload& AFSSPayload::operator=(const AFSSPayload& other)
{
    if (&other == this)
        return *this;
    _CopyData(other.m_pData, other.m_nBytes);
    m_nType = other.m_nType;
    m_nFlag = other.m_nFlag;
    return *this;
}

void AFSSPayload::_CopyData(const void* pData, uint32_t nBytes)
{
    uint8_t* const pCopy = CopyBlock(pData, nBytes);
    WipeAndRelease(m_pData);
    m_pData = pCopy;
    m_nBytes = pCopy ? nBytes : 0;
}

AFSSList::AFSSList(const AFSSList& other) : AFSSUserObjectBase(other) { _AppendClonesOf(other); }

AFSSList::~AFSSList() { Clear(); }

AFSSList& AFSSList::operator=(const AFSSList& other)
{
    if (&other == this)
        return *this;
    Clear();
    _AppendClonesOf(other);
    return *this;
}

void AFSSList::Append(AFSSNode* pNode)
{
    if (!pNode)
        return;
    pNode->SetNext(nullptr);
    if (!m_pHead) {
        m_pHead = pNode;
    } else {
        AFSSNode* pTail = m_pHead;
        while (pTail->Next())
            pTail = pTail->Next();
        pTail->SetNext(pNode);
    }
    ++m_nCount;
}

void AFSSList::Clear()
{
    AFSSNode* pNode = std::exchange(m_pHead, nullptr);
    m_nCount = 0;
    while (pNode) {
        AFSSNode* const pNext = pNode->Next();
        pNode->Destroy(kReleaseMemory);
        pNode = pNext;
    }
}

void AFSSList::_AppendClonesOf(const AFSSList& other)
{
    // The nodes' own links decide, not the other list's count.
    for (const AFSSNode* pNode = other.m_pHead; pNode; pNode = pNode->Next())
        Append(static_cast<const AFSSPayload*>(pNode)->Clone());
}

AFSSSensorImage& AFSSSensorImage::operator=(const AFSSSensorImage& other)
{
    AFSSPayload::operator=(other);
    m_nFormat = other.m_nFormat;
    return *this;
}

AFSSSensorDescriptorList& AFSSSensorDescriptorList::operator=(const AFSSSensorDescriptorList& other)
{
    AFSSList::operator=(other);
    return *this;
}

AFSSSoftwareVersionInfo& AFSSSoftwareVersionInfo::operator=(const AFSSSoftwareVersionInfo& other)
{
    std::copy(other.m_aNumbers, other.m_aNumbers + kNumbers, m_aNumbers);
    return *this;
}

AFSSSoftwareVersions& AFSSSoftwareVersions::operator=(const AFSSSoftwareVersions& other)
{
    for (int i = 0; i < kEntries; ++i) {
        AFSSSoftwareVersionInfo& entry = m_aEntries[i];
        entry = other.m_aEntries[i];
    }
    return *this;
}

}  // namespace AFSSClientLib
}  // namespace AuthenTec
