// The options of "vesk-channel open" and "vesk-channel seal".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vchan {

// "-" in place of a file name: standard input or output.
constexpr char16_t kStandardStream[] = u"-";

enum class EImageFile { Pgm, Bmp };

struct COpenSettings {
    std::u16string m_sInput;
    bool m_bHex = false;
    std::u16string m_sImage;  // empty: no picture wanted
    EImageFile m_eImageFile = EImageFile::Pgm;
};

struct CSealSettings {
    uint32_t m_nCmd = 0;
    uint32_t m_nPid = 0;
    std::u16string m_sImage;  // empty: a header-only message
    bool m_bFixedSeed = false;
    uint32_t m_nSeed = 0;
    bool m_bHex = false;
    std::u16string m_sOutput;
};

// Both throw CToolError naming the first bad argument or combination.
COpenSettings ParseOpenOptions(const std::vector<std::u16string>& args);
CSealSettings ParseSealOptions(const std::vector<std::u16string>& args);

}  // namespace vchan
