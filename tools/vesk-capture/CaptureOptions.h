// The options of "vesk-capture capture".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vcap {

enum class EImageFormat { Bmp, Pgm };

struct CCaptureSettings {
    uint32_t m_nCount = 1;  // 0: continuous, until stopped
    std::u16string m_sOutDir = u".";
    EImageFormat m_eFormat = EImageFormat::Bmp;
    uint32_t m_nPriority = 0;
    uint32_t m_nTimeoutSeconds = 0;  // 0: no time-out
};

// Throws CToolError naming the first bad argument.
CCaptureSettings ParseCaptureOptions(const std::vector<std::u16string>& args);

}  // namespace vcap
