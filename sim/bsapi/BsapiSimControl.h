// In-process control of the BSAPI simulator, for tests that load it.
// Settings made here win over the machine-wide registry values
// (BsapiSettings.h) until BsapiSimReset. Plain C types only, so that nothing
// allocated on one side of the library boundary is freed on the other.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct CBsapiSimStats {
    uint32_t m_nEnumerations;  // calls of each library function
    uint32_t m_nOpens;
    uint32_t m_nCloses;
    uint32_t m_nProperties;
    uint32_t m_nGrabs;
    uint32_t m_nCancels;
    uint32_t m_nFrees;
    uint32_t m_nImages;          // grabs that delivered a picture
    uint32_t m_nMessages;        // callback calls made from the simulator's thread
    uint32_t m_nBuffersHandedOut;
    uint32_t m_nBuffersLive;     // handed out and not yet freed (since the library loaded)
    uint32_t m_nOpenConnections;
    uint32_t m_nPendingGrabs;    // grabs waiting for a finger now
    uint32_t m_nInitializations; // ABSInitialize calls not yet matched by ABSTerminate
    // The arguments of the last calls.
    char m_szLastFilter[16];
    char m_szLastOpenDsn[32];
    uint32_t m_nLastCloseHandle;
    uint32_t m_nLastCancelHandle;
    uint32_t m_nLastCancelOperation;
    uint32_t m_nLastPropertyId;
    uint32_t m_nLastPurpose;
    uint32_t m_nLastFormatFirst;
    uint32_t m_nLastFormatSecond;
    uint32_t m_nLastGrabFlags;
    uint32_t m_nLastOperationId;
    int32_t m_nLastTimeout;
    uint32_t m_nLastOperationFlags;
    int m_bLastContextNull;
    int m_bLastCallbackSet;
};

constexpr uint32_t kBsapiSimFingerNever = 0xFFFFFFFF;

extern "C" {
// Back to the registry: in-process settings, connections, pending grabs,
// counts and the last problem are forgotten (buffers still handed out stay
// counted, and ABSFree still takes them).
void BsapiSimReset();
void BsapiSimSetDevices(uint32_t nDevices);
void BsapiSimSetDeviceVersion(uint32_t nVersion);
void BsapiSimSetNativeSize(uint32_t nWidth, uint32_t nHeight);
void BsapiSimSetSeed(uint32_t nSeed);
// A PGM or BMP file (UTF-8 path); null or "" for generated pictures.
void BsapiSimSetImageFile(const char* pszPath);
void BsapiSimSetFingerDelay(uint32_t nMilliseconds);
// vsim::bsapi::EFault.
void BsapiSimSetFault(uint32_t nFault);
// Another process takes the scanner (non-zero) or gives it back: pending
// grabs get ABS_MSG_PROCESS_SUSPEND and end with -5012; the resume message
// goes, from the simulator's thread, to the callback of the last grab.
void BsapiSimSetSuspended(int bSuspended);
// Calls the callbacks of the pending grabs (or else that of the last grab)
// with nMessage from the simulator's thread and waits for them; returns how
// many were called.
uint32_t BsapiSimSendMessage(uint32_t nMessage);
// Entries as in the registry's Script value ("grab:-5012", "open:-7", ...).
// Returns 0 and replaces the script, or 1 + the index of the first
// malformed entry and changes nothing.
uint32_t BsapiSimSetScript(const char* const* ppszEntries, uint32_t nCount);
void BsapiSimGetStats(CBsapiSimStats* pStats);
// What the simulator last refused (also sent to the debugger), UTF-8, cut to
// nSize - 1 bytes and terminated; returns the full length.
uint32_t BsapiSimGetLastProblem(char* pszBuffer, uint32_t nSize);
}

inline bool BsapiSimScript(const std::vector<std::string>& entries)
{
    std::vector<const char*> texts;
    for (const std::string& sEntry : entries)
        texts.push_back(sEntry.c_str());
    return BsapiSimSetScript(texts.data(), static_cast<uint32_t>(texts.size())) == 0;
}

inline CBsapiSimStats BsapiSimStats()
{
    CBsapiSimStats stats{};
    BsapiSimGetStats(&stats);
    return stats;
}

inline std::string BsapiSimLastProblem()
{
    std::string sText(BsapiSimGetLastProblem(nullptr, 0), '\0');
    BsapiSimGetLastProblem(&sText[0], static_cast<uint32_t>(sText.size() + 1));
    return sText;
}
