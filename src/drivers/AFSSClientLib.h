// The object classes that the driver and AuthenTec's service client library
// exchange in place. The client library reads, writes, clones and destroys
// them through their tables of virtual operations, so the slot order, field
// order, field widths and object sizes below are an interface: on 32-bit
// builds the sizes are 4, 16, 8, 24, 12, 28, 12, 20 and 64 bytes
// (static-asserted in the .cpp); on 64-bit builds pointers are 8 bytes and
// nothing else changes.
//
// Slot 0 of every class is the destructor in the shape the client library
// calls it: Destroy(flags) ends the object and, when bit 0 of flags is set,
// releases its memory. A C++ virtual destructor would take two slots with
// GCC, so the classes have none: an object on the heap is destroyed with
// Destroy(kReleaseMemory), never with delete. (On 32-bit Windows member
// functions are thiscall with GCC and MSVC alike, so either side can call
// the other's slots.)
//
// Heap objects and every data block they own come from GlobalAlloc (zeroed)
// and go back through GlobalFree; a handle that GlobalFlags reports invalid
// is left alone, and owned data is overwritten with zeros before release.
#pragma once
#include <cstddef>
#include <cstdint>

namespace AuthenTec {
namespace AFSSClientLib {

struct AFSSLayout;  // the 32-bit layout checks

class AFSSUserObjectBase {
public:
    static constexpr unsigned int kReleaseMemory = 1;

    // Slot 0.
    virtual AFSSUserObjectBase* Destroy(unsigned int nFlags);
    // Slot 1: assignment from the base does nothing.
    virtual AFSSUserObjectBase& operator=(const AFSSUserObjectBase& other);
    // Slot 2: the object's size in bytes.
    virtual uint32_t ObjectSize() const;

    // GlobalAlloc'ed and zeroed; std::bad_alloc on exhaustion.
    static void* operator new(size_t nBytes);
    // GlobalFree, skipped for a handle GlobalFlags reports invalid.
    static void operator delete(void* pObject);

protected:
    AFSSUserObjectBase() = default;
    AFSSUserObjectBase(const AFSSUserObjectBase&) = default;
    ~AFSSUserObjectBase() = default;

    // Ends *pObject as its own class and releases it when asked.
    template <class T>
    static AFSSUserObjectBase* DestroyAs(T* pObject, unsigned int nFlags)
    {
        pObject->T::~T();  // qualified: T is the dynamic type here, no virtual call wanted
        if (nFlags & kReleaseMemory)
            T::operator delete(pObject);
        return pObject;
    }
};

// A block of bytes (the client library keeps wide text in it) and one
// further value of the library's own.
class AFSSBuffer : public AFSSUserObjectBase {
public:
    AFSSBuffer() = default;
    // Copies nBytes from pData (nothing when either is 0).
    AFSSBuffer(const void* pData, uint32_t nBytes, uint32_t nValue = 0);
    AFSSBuffer(const AFSSBuffer& other);
    ~AFSSBuffer();

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    uint32_t ObjectSize() const override { return sizeof(*this); }
    // Slot 3: a copy of the bytes in a new block, and the further value.
    virtual AFSSBuffer& operator=(const AFSSBuffer& other);

    const uint8_t* Data() const { return m_pData; }
    uint32_t Size() const { return m_nBytes; }
    uint32_t Value() const { return m_nValue; }

private:
    friend struct AFSSLayout;

    uint8_t* m_pData = nullptr;
    uint32_t m_nBytes = 0;
    uint32_t m_nValue = 0;
};

// A link of a list.
class AFSSNode : public AFSSUserObjectBase {
public:
    AFSSNode() = default;
    AFSSNode(const AFSSNode&) = default;
    ~AFSSNode() = default;

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    uint32_t ObjectSize() const override { return sizeof(*this); }
    // Slot 3: copies the next pointer.
    virtual AFSSNode& operator=(const AFSSNode& other);

    AFSSNode* Next() const { return m_pNext; }
    void SetNext(AFSSNode* pNext) { m_pNext = pNext; }

private:
    friend struct AFSSLayout;

    AFSSNode* m_pNext = nullptr;
};

// A typed block of data travelling in a list.
class AFSSPayload : public AFSSNode {
public:
    static constexpr uint32_t PayloadType_DisplayImage = 1;

    AFSSPayload() = default;
    // Copies nBytes from pData (nothing when either is 0).
    AFSSPayload(uint32_t nType, uint8_t nFlag, const void* pData, uint32_t nBytes);
    // A copy of the fields and the data; the copy is not linked.
    AFSSPayload(const AFSSPayload& other);
    ~AFSSPayload();

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    using AFSSNode::operator=;  // slot 3, the node assignment
    uint32_t ObjectSize() const override { return sizeof(*this); }
    // Slot 4: a new payload, copy-constructed (an image's clone is a payload).
    virtual AFSSPayload* Clone() const;
    // Slot 5: the payload fields and a copy of the data; the link stays.
    virtual AFSSPayload& operator=(const AFSSPayload& other);

    uint32_t Type() const { return m_nType; }
    uint8_t Flag() const { return m_nFlag; }
    const uint8_t* Data() const { return m_pData; }
    uint32_t Size() const { return m_nBytes; }

private:
    friend struct AFSSLayout;

    // Releases the held data and holds a copy of nBytes from pData.
    void _CopyData(const void* pData, uint32_t nBytes);

    uint32_t m_nType = 0;
    uint8_t m_nFlag = 0;  // in a 32-bit slot: the next field is pointer-aligned
    uint8_t* m_pData = nullptr;
    uint32_t m_nBytes = 0;
};

// A singly linked list that owns its nodes. Every node of a list carries
// slot 4 (clone), whatever its class: payloads here, sensor descriptors in the
// client library.
class AFSSList : public AFSSUserObjectBase {
public:
    AFSSList() = default;
    AFSSList(const AFSSList& other);
    // Destroys every node through its slot 0.
    ~AFSSList();

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    uint32_t ObjectSize() const override { return sizeof(*this); }
    // Slot 3: empties itself, then appends a clone of every node of the other
    // list (through their slot 4). Self-assignment does nothing.
    virtual AFSSList& operator=(const AFSSList& other);

    // Takes ownership of a node made with new (or the client library's
    // allocation) and links it last, clearing its own next pointer.
    void Append(AFSSNode* pNode);
    void Clear();
    AFSSNode* Head() const { return m_pHead; }
    uint32_t Count() const { return m_nCount; }

private:
    friend struct AFSSLayout;

    void _AppendClonesOf(const AFSSList& other);

    AFSSNode* m_pHead = nullptr;
    uint32_t m_nCount = 0;
};

// The image that the image request fills in place: its data block must come
// from GlobalAlloc, since destroying the image wipes it and releases it.
class AFSSSensorImage : public AFSSPayload {
public:
    AFSSSensorImage() : AFSSPayload(PayloadType_DisplayImage, 0, nullptr, 0) {}
    AFSSSensorImage(const void* pData, uint32_t nBytes, uint32_t nFormat)
        : AFSSPayload(PayloadType_DisplayImage, 0, pData, nBytes), m_nFormat(nFormat)
    {
    }
    AFSSSensorImage(const AFSSSensorImage&) = default;
    ~AFSSSensorImage() = default;

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    using AFSSPayload::operator=;  // slots 3 and 5
    uint32_t ObjectSize() const override { return sizeof(*this); }
    // Slot 6: the payload assignment plus the format.
    virtual AFSSSensorImage& operator=(const AFSSSensorImage& other);

    uint32_t Format() const { return m_nFormat; }

private:
    friend struct AFSSLayout;

    uint32_t m_nFormat = 0;
};

// The sensors the service lists; the nodes are the client library's
// descriptors.
class AFSSSensorDescriptorList : public AFSSList {
public:
    AFSSSensorDescriptorList() = default;
    AFSSSensorDescriptorList(const AFSSSensorDescriptorList&) = default;
    ~AFSSSensorDescriptorList() = default;

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    using AFSSList::operator=;  // slot 3
    uint32_t ObjectSize() const override { return sizeof(*this); }
    // Slot 4: the list assignment again.
    virtual AFSSSensorDescriptorList& operator=(const AFSSSensorDescriptorList& other);
};

// Four version numbers of one component.
class AFSSSoftwareVersionInfo : public AFSSUserObjectBase {
public:
    static constexpr int kNumbers = 4;

    AFSSSoftwareVersionInfo() = default;
    AFSSSoftwareVersionInfo(uint32_t n0, uint32_t n1, uint32_t n2, uint32_t n3)
        : m_aNumbers{n0, n1, n2, n3}
    {
    }
    AFSSSoftwareVersionInfo(const AFSSSoftwareVersionInfo&) = default;
    ~AFSSSoftwareVersionInfo() = default;

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    uint32_t ObjectSize() const override { return sizeof(*this); }
    // Slot 3: copies the four numbers.
    virtual AFSSSoftwareVersionInfo& operator=(const AFSSSoftwareVersionInfo& other);

    uint32_t Number(int nIndex) const { return m_aNumbers[nIndex]; }

private:
    friend struct AFSSLayout;

    uint32_t m_aNumbers[kNumbers] = {};
};

// The versions of three components, embedded.
class AFSSSoftwareVersions : public AFSSUserObjectBase {
public:
    static constexpr int kEntries = 3;

    AFSSSoftwareVersions() = default;
    AFSSSoftwareVersions(const AFSSSoftwareVersions&) = default;
    ~AFSSSoftwareVersions() = default;

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    uint32_t ObjectSize() const override { return sizeof(*this); }
    // Slot 3: assigns each entry through its slot 3.
    virtual AFSSSoftwareVersions& operator=(const AFSSSoftwareVersions& other);

    AFSSSoftwareVersionInfo& Entry(int nIndex) { return m_aEntries[nIndex]; }
    const AFSSSoftwareVersionInfo& Entry(int nIndex) const { return m_aEntries[nIndex]; }

private:
    friend struct AFSSLayout;

    AFSSSoftwareVersionInfo m_aEntries[kEntries];
};

}  // namespace AFSSClientLib
}  // namespace AuthenTec
