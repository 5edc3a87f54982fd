// In-process control of the ATSC70 simulator. The library is loaded at run
// time, by the driver as by its tests, so the control functions are reached
// through the test's own handle on the same file (CAtsc70SimLink), which also
// keeps the simulator's state alive while the driver unloads and reloads it.
// Settings made here win over the machine-wide registry values
// (Atsc70Settings.h) until Atsc70SimReset. Plain C types only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/Win32.h"

struct CAtsc70SimStats {
    uint32_t m_nInits;  // calls of each entry point
    uint32_t m_nCloses;
    uint32_t m_nOpens;
    uint32_t m_nSensorCloses;
    uint32_t m_nNameQueries;
    uint32_t m_nBegins;
    uint32_t m_nEnds;
    uint32_t m_nCreates;
    uint32_t m_nMaxSizeQueries;
    uint32_t m_nSwipeInfos;
    uint32_t m_nBufferSizeQueries;
    uint32_t m_nMessageQueries;
    uint32_t m_nReleases;
    uint32_t m_nMessagesHandedOut;
    uint32_t m_nMessagesLive;      // handed out and not yet released
    uint32_t m_nInitialized;       // 1 between ATInit and ATClose
    uint32_t m_nSensorOpen;        // 1 between ATOpenSensorW and ATCloseSensor
    uint32_t m_nWaiting;           // ATGetNextMessage calls waiting now
    uint32_t m_nInFlight;          // entry-point calls under way now
    uint32_t m_nInFlightAtClose;   // most other calls under way when ATClose came
    // The arguments of the last calls.
    int32_t m_bLastOpenNameNull;
    char m_szLastOpenName[64];  // UTF-8
    uint32_t m_nLastOpenMode;
    uint32_t m_nLastBeginArgs[4];
};

// Events the simulator tells a program that exports Atsc70SimLoadEvent
// (found through the main program's module as the library loads).
enum : uint32_t { kAtsc70SimUnloaded = 0, kAtsc70SimLoaded = 1 };
// nEvent: loaded or unloaded; nInFlight: entry-point calls under way then.
typedef void (*PFN_Atsc70SimLoadEvent)(uint32_t nEvent, uint32_t nInFlight);

constexpr uint32_t kAtsc70SimFingerNever = 0xFFFFFFFF;

extern "C" {
typedef void (*PFN_Atsc70SimReset)();
typedef void (*PFN_Atsc70SimSetSensors)(uint32_t nSensors);
// The first sensor's name (UTF-8) and the status its query answers.
typedef void (*PFN_Atsc70SimSetSensorName)(const char* pszName, int32_t nStatus);
typedef void (*PFN_Atsc70SimSetImageSize)(uint32_t nWidth, uint32_t nHeight);
// A PGM or BMP file (UTF-8 path); null or "" for generated pictures.
typedef void (*PFN_Atsc70SimSetImageFile)(const char* pszPath);
typedef void (*PFN_Atsc70SimSetFingerDelay)(uint32_t nMilliseconds);
typedef void (*PFN_Atsc70SimSetLeaveDelay)(uint32_t nMilliseconds);
// vsim::atsc70::EFault.
typedef void (*PFN_Atsc70SimSetFault)(uint32_t nFault);
// Entries as in the registry's Script value ("17", "open:-3", ...). Returns 0
// and replaces the script, or 1 + the index of the first malformed entry.
typedef uint32_t (*PFN_Atsc70SimSetScript)(const char* const* ppszEntries, uint32_t nCount);
typedef void (*PFN_Atsc70SimGetStats)(CAtsc70SimStats* pStats);
// What the simulator last refused, UTF-8, cut to nSize - 1 bytes; returns
// the full length.
typedef uint32_t (*PFN_Atsc70SimGetLastProblem)(char* pszBuffer, uint32_t nSize);
}

#define ATSC70_SIM_CONTROLS(X)                                                                  \
    X(Atsc70SimReset) X(Atsc70SimSetSensors) X(Atsc70SimSetSensorName) X(Atsc70SimSetImageSize) \
        X(Atsc70SimSetImageFile) X(Atsc70SimSetFingerDelay) X(Atsc70SimSetLeaveDelay)           \
            X(Atsc70SimSetFault) X(Atsc70SimSetScript) X(Atsc70SimGetStats) X(Atsc70SimGetLastProblem)

// The test's own reference on a simulator file and its control functions.
class CAtsc70SimLink {
public:
    explicit CAtsc70SimLink(const WString& sPath) : m_hModule(LoadLibraryW(sPath.c_str()))
    {
        if (!m_hModule)
            return;
#define ATSC70_SIM_RESOLVE(name) \
    name = reinterpret_cast<PFN_##name>(reinterpret_cast<void*>(GetProcAddress(m_hModule, #name)));
        ATSC70_SIM_CONTROLS(ATSC70_SIM_RESOLVE)
#undef ATSC70_SIM_RESOLVE
    }
    ~CAtsc70SimLink()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    CAtsc70SimLink(const CAtsc70SimLink&) = delete;
    CAtsc70SimLink& operator=(const CAtsc70SimLink&) = delete;

    bool IsLinked() const { return m_hModule && Atsc70SimGetLastProblem; }

    bool Script(const std::vector<std::string>& entries) const
    {
        std::vector<const char*> texts;
        for (const std::string& sEntry : entries)
            texts.push_back(sEntry.c_str());
        return Atsc70SimSetScript(texts.data(), static_cast<uint32_t>(texts.size())) == 0;
    }
    CAtsc70SimStats Stats() const
    {
        CAtsc70SimStats stats{};
        Atsc70SimGetStats(&stats);
        return stats;
    }
    std::string LastProblem() const
    {
        std::string sText(Atsc70SimGetLastProblem(nullptr, 0), '\0');
        Atsc70SimGetLastProblem(&sText[0], static_cast<uint32_t>(sText.size() + 1));
        return sText;
    }

#define ATSC70_SIM_DECLARE(name) PFN_##name name = nullptr;
    ATSC70_SIM_CONTROLS(ATSC70_SIM_DECLARE)
#undef ATSC70_SIM_DECLARE

private:
    HMODULE m_hModule;
};
