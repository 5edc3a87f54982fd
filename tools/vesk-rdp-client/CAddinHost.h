// The loaded add-ins: each library is loaded as the real client does it
// (LoadLibraryW of the registered path), its VirtualChannelEntry is called
// with an entry-point table of its own, and it is freed at the end.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "CVirtualChannels.h"
#include "support/Win32.h"

namespace vrdpc {

class CAddinHost {
public:
    explicit CAddinHost(CVirtualChannels& channels);
    ~CAddinHost();
    CAddinHost(const CAddinHost&) = delete;
    CAddinHost& operator=(const CAddinHost&) = delete;

    // Loads the add-in. Answers why it is skipped, or empty when it is kept;
    // then sChannels names the channels it registered ("VESKTSC, OTHER").
    std::u16string Load(const std::u16string& sPath, std::u16string& sChannels);
    bool IsEmpty() const { return m_vAddins.empty(); }
    // Frees every add-in, last loaded first; answers their paths.
    std::vector<std::u16string> UnloadAll();

private:
    struct SAddin {
        std::u16string sPath;
        HMODULE hModule = nullptr;
        CHANNEL_ENTRY_POINTS entryPoints{};  // the add-in may keep a pointer to it
    };

    CVirtualChannels& m_oChannels;
    std::vector<std::unique_ptr<SAddin>> m_vAddins;
};

}  // namespace vrdpc
