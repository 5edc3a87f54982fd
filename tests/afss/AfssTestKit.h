// The AuthenTec service drivers on the simulated client library: a scratch
// machine whose system folder holds the library (the test program lies
// elsewhere, so that a test can take it away), the service key, and the
// test's own link to the library for control.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "afss/AfssSimControl.h"
#include "common/TestMachine.h"

namespace afsstest {

constexpr int kServiceAbsent = -1;

// Never white and never black, so that added columns and borders show.
inline uint8_t PicturePixel(uint32_t x, uint32_t y) { return uint8_t(1 + (x * 7 + y * 13) % 250); }

bool Contains(const std::vector<std::string>& lines, const std::string& text);

// Calls virtual slot nSlot of pObject by number. On the x86-64 System V ABI a
// member function is a plain function taking the object first.
template <class R, class... TArgs>
R CallSlot(const void* pObject, int nSlot, TArgs... args)
{
    const void* const* table = *static_cast<const void* const* const*>(pObject);
    return reinterpret_cast<R (*)(const void*, TArgs...)>(const_cast<void*>(table[nSlot]))(pObject, args...);
}

// The front end's AuthenTec driver of this program: made by a capture test,
// gone with it, so that it holds no library beyond its test.
void SetFrontEndDriver(bool bMade);

class AuthentecTest : public testkit::MachineTest {
protected:
    AuthentecTest();
    ~AuthentecTest() override;

    // SERVICE_* state of ATService, or kServiceAbsent.
    static void SetService(int nState);
    // A built library as the driver finds it in the system folder; "": one
    // that cannot be loaded.
    void Install(const std::string& sBuilt);
    // A PGM picture of PicturePixel values; answers its path.
    std::string WritePicture(uint32_t nWidth, uint32_t nHeight) const;

    CAfssSimLink& Sim() { return *m_pSim; }
    // The test's own reference on the library, which keeps its state.
    void Link();
    void Unlink() { m_pSim.reset(); }

private:
    std::unique_ptr<CAfssSimLink> m_pSim;
};

}  // namespace afsstest
