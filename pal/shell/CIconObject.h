// A loaded icon: which resource of which module, at which size.
#pragma once
#include <string>

#include "pal/base/handles.h"
#include "pal/shell/shell.h"

namespace pal {

class CIconObject : public CKernelObject {
public:
    CIconObject(std::string sModule, WORD nId, int nWidth, int nHeight)
        : m_sDescription(std::to_string(nId) + " " + std::to_string(nWidth) + "x" +
                         std::to_string(nHeight) + " from " + sModule)
    {
    }
    // "101 16x16 from libveskSensor.so"
    const std::string& Describe() const { return m_sDescription; }

private:
    std::string m_sDescription;
};

}  // namespace pal
