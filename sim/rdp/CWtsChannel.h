// One WTSVirtualChannelOpen of the session side, whichever transport carries
// it. Each call answers ERROR_SUCCESS or the Win32 code of the failure;
// Shutdown may come from any thread and makes a call under way return.
#pragma once
#include <cstdint>

#include "pal/base/handles.h"
#include "pal/base/wintypes.h"

namespace vrdp {

class CWtsChannel : public pal::CKernelObject {
public:
    virtual DWORD Write(const uint8_t* pData, ULONG nLength) = 0;
    virtual DWORD Read(ULONG nTimeoutMs, uint8_t* pBuffer, ULONG nSize, ULONG& nRead) = 0;
    virtual void Shutdown() = 0;
};

}  // namespace vrdp
