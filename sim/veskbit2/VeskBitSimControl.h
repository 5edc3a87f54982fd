// In-process control of the veskbit2 simulator, for tests that load it.
// Settings made here win over the machine-wide registry values
// (VeskBitSettings.h) until VeskBitSimReset. Plain C types only, so that
// nothing allocated on one side of the library boundary is freed on the other.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct CVeskBitSimStats {
    uint32_t m_nAttachTests;  // calls of each library function
    uint32_t m_nOpens;
    uint32_t m_nPolls;
    uint32_t m_nCloses;
    uint32_t m_nImages;       // polls that delivered a picture
    uint32_t m_nOpenHandles;
    // The arguments of the last open call.
    uint32_t m_nLastPriority;
    uint32_t m_nLastReserved;
    uint32_t m_nLastWidth;
    uint32_t m_nLastHeight;
    uint32_t m_nLastOption;
};

constexpr uint32_t kVeskBitSimFingerNever = 0xFFFFFFFF;

extern "C" {
// Back to the registry: in-process settings, open handles, counts and the
// last problem are forgotten.
void VeskBitSimReset();
void VeskBitSimSetAttached(int bAttached);
void VeskBitSimSetSeed(uint32_t nSeed);
// A PGM or BMP file (UTF-8 path); null or "" for generated pictures.
void VeskBitSimSetImageFile(const char* pszPath);
void VeskBitSimSetFingerDelay(uint32_t nMilliseconds);
// Entries as in the registry's Script value ("0x1000", "open:0x0123", ...).
// Returns 0 and replaces the script, or 1 + the index of the first
// malformed entry and changes nothing.
uint32_t VeskBitSimSetScript(const char* const* ppszEntries, uint32_t nCount);
void VeskBitSimGetStats(CVeskBitSimStats* pStats);
// What the simulator last refused (also sent to the debugger), UTF-8, cut to
// nSize - 1 bytes and terminated; returns the full length.
uint32_t VeskBitSimGetLastProblem(char* pszBuffer, uint32_t nSize);
}

inline bool VeskBitSimScript(const std::vector<std::string>& entries)
{
    std::vector<const char*> texts;
    for (const std::string& sEntry : entries)
        texts.push_back(sEntry.c_str());
    return VeskBitSimSetScript(texts.data(), static_cast<uint32_t>(texts.size())) == 0;
}

inline CVeskBitSimStats VeskBitSimStats()
{
    CVeskBitSimStats stats{};
    VeskBitSimGetStats(&stats);
    return stats;
}

inline std::string VeskBitSimLastProblem()
{
    std::string sText(VeskBitSimGetLastProblem(nullptr, 0), '\0');
    VeskBitSimGetLastProblem(&sText[0], static_cast<uint32_t>(sText.size() + 1));
    return sText;
}
