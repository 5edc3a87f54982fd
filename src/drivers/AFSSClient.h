// What the AuthenTec service drivers and the service's client library
// ("AFSSClientLib.dll") see of each other: the exported entry point, the
// client interface of either library generation, the sensor descriptors the
// library lists and the events it hands to the driver's callback. The
// library implements the interfaces and makes the descriptors and events;
// the driver only calls and reads them.
//
// The interfaces are tables of operations whose slot numbers are fixed;
// slots no driver calls are declared as reserved so that the others land
// where the library has them. None has a virtual destructor (it would take
// slots): the library owns the interface, the driver never destroys it.
// Member calls are thiscall on 32-bit Windows with GCC and MSVC alike.
#pragma once
#include <cstdint>

#include "drivers/AFSSClientLib.h"
#include "support/Win32.h"

namespace AuthenTec {
namespace AFSSClientLib {

// Three numbers behind a table pointer: a descriptor's hardware revision.
class AFSSHardwareRevision : public AFSSUserObjectBase {
public:
    static constexpr int kNumbers = 3;

    AFSSHardwareRevision() = default;
    AFSSHardwareRevision(uint32_t n0, uint32_t n1, uint32_t n2) : m_aNumbers{n0, n1, n2} {}
    AFSSHardwareRevision(const AFSSHardwareRevision&) = default;
    ~AFSSHardwareRevision() = default;

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    uint32_t ObjectSize() const override { return sizeof(*this); }

    uint32_t m_aNumbers[kNumbers] = {};
};

// One sensor the service lists: a node of the descriptor list. On 32-bit
// builds the fields the drivers read lie at bytes 8, 12, 16, 32, 48, 64,
// 132, 148 and 152 (checked in AFSSClientLib.cpp).
class AFSSSensorDescriptor : public AFSSNode {
public:
    AFSSSensorDescriptor() = default;
    // A copy of the fields and the texts; the copy is not linked.
    AFSSSensorDescriptor(const AFSSSensorDescriptor& other) : AFSSNode() { _CopyFields(other); }
    ~AFSSSensorDescriptor() = default;

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    using AFSSUserObjectBase::operator=;
    using AFSSNode::operator=;  // slot 3
    uint32_t ObjectSize() const override { return sizeof(*this); }
    // Slot 4, as every node of a list has it.
    virtual AFSSSensorDescriptor* Clone() const { return new AFSSSensorDescriptor(*this); }

    uint32_t m_nSensorType = 0;  // 8
    uint32_t m_nSensorIndex = 0;  // 12
    AFSSBuffer m_name;  // 16: wide text, no terminator needed
    AFSSBuffer m_serialNumber;  // 32
    AFSSBuffer m_devicePath;  // 48
    AFSSSoftwareVersionInfo m_firmware;  // 64
    uint8_t m_aReserved[48] = {};  // 84
    AFSSHardwareRevision m_hardware;  // 132
    uint8_t m_bAvailable = 0;  // 148
    uint8_t m_aPadding[3] = {};
    uint8_t m_bSwipeSensor = 0;  // 152

private:
    void _CopyFields(const AFSSSensorDescriptor& other)
    {
        m_nSensorType = other.m_nSensorType;
        m_nSensorIndex = other.m_nSensorIndex;
        m_name = other.m_name;
        m_serialNumber = other.m_serialNumber;
        m_devicePath = other.m_devicePath;
        m_firmware = other.m_firmware;
        m_hardware = other.m_hardware;
        m_bAvailable = other.m_bAvailable;
        m_bSwipeSensor = other.m_bSwipeSensor;
    }
};

// The event the library passes to the callback and destroys afterwards. On
// 32-bit builds the type lies at byte 12, the code at 24 and the payload
// list at 32.
class AFSSEvent : public AFSSUserObjectBase {
public:
    AFSSEvent() = default;
    AFSSEvent(const AFSSEvent&) = delete;
    AFSSEvent& operator=(const AFSSEvent&) = delete;
    ~AFSSEvent() = default;

    AFSSUserObjectBase* Destroy(unsigned int nFlags) override { return DestroyAs(this, nFlags); }
    uint32_t ObjectSize() const override { return sizeof(*this); }

    uint32_t m_nSequence = 0;  // 4
    uint32_t m_nSensorIndex = 0;  // 8
    uint32_t m_nType = 0;  // 12
    uint32_t m_nTickCount = 0;  // 16
    uint32_t m_nOperation = 0;  // 20
    uint32_t m_nCode = 0;  // 24: status, prompt or feedback
    uint32_t m_nReserved = 0;  // 28
    AFSSList m_payloads;  // 32: AFSSPayload nodes
};

// (context, event) -> result; the caller removes the arguments.
typedef uint32_t(__cdecl* AFSSEventCallback)(void* pContext, AFSSEvent* pEvent);

// The first twenty slots, the same in both generations.
class IAFSSClientCommon {
public:
    virtual uint32_t Reserved0() = 0;
    virtual uint32_t Reserved1() = 0;
    virtual uint32_t Reserved2() = 0;
    virtual uint32_t Startup(AFSSEventCallback pfnCallback, void* pContext, uint32_t nFlags) = 0;  // 3
    virtual uint32_t ConnectToService(uint32_t nMode, uint32_t nTimeoutSeconds, uint32_t nPort) = 0;  // 4
    virtual uint32_t Shutdown() = 0;  // 5
    virtual uint32_t Reserved6() = 0;
    virtual uint32_t Reserved7() = 0;
    virtual uint32_t Reserved8() = 0;
    virtual uint32_t Reserved9() = 0;
    // 10: blocks until the image is filled in place or the request ends.
    virtual uint32_t RequestSensorImage(AFSSSensorImage* pImage, uint32_t nArg1, uint32_t nArg2,
                                        uint32_t nArg3, uint32_t nPriority) = 0;
    virtual uint32_t Reserved11() = 0;
    virtual uint32_t Reserved12() = 0;
    virtual uint32_t Reserved13() = 0;
    virtual uint32_t Reserved14() = 0;
    virtual uint32_t Reserved15() = 0;
    virtual uint32_t Reserved16() = 0;
    virtual uint32_t Reserved17() = 0;
    virtual uint32_t Reserved18() = 0;
    virtual uint32_t Reserved19() = 0;

protected:
    ~IAFSSClientCommon() = default;
};

// The newer library's client interface (single inheritance: its own slots
// follow the common ones).
class IAFSSClient : public IAFSSClientCommon {
public:
    virtual uint32_t CancelCurrentRequest() = 0;  // 20
    virtual uint32_t Reserved21() = 0;
    virtual uint32_t Reserved22() = 0;
    virtual uint32_t GetSensorDescriptorList(AFSSSensorDescriptorList* pList) = 0;  // 23

protected:
    ~IAFSSClient() = default;
};

// The older library's: the cancel and the list one slot further on, then
// the software versions.
class IAFSSClient8 : public IAFSSClientCommon {
public:
    virtual uint32_t Reserved20() = 0;
    virtual uint32_t CancelCurrentRequest() = 0;  // 21
    virtual uint32_t GetSensorDescriptorList(AFSSSensorDescriptorList* pList) = 0;  // 22
    virtual uint32_t GetSoftwareVersions(AFSSSoftwareVersions* pVersions) = 0;  // 23

protected:
    ~IAFSSClient8() = default;
};

}  // namespace AFSSClientLib
}  // namespace AuthenTec

// The library's export: the client interface of its generation (IAFSSClient
// or IAFSSClient8), null when it has none. The caller removes the argument.
typedef void*(__cdecl* PFN_GetAFSSClientInterface)(AuthenTec::AFSSClientLib::AFSSBuffer* pBuffer);
constexpr const char* kGetAFSSClientInterface = "GetAFSSClientInterface";
