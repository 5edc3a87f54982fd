// The command line of vesk-rdp-client.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vrdpc {

struct SClientSettings {
    std::string m_sSocket;
    uint32_t m_nSeconds = 0;  // 0: until Ctrl-C or SIGTERM
};

// Throws CToolError naming the first bad argument.
SClientSettings ParseClientOptions(const std::vector<std::u16string>& args);

}  // namespace vrdpc
