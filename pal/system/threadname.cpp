#include "pal/system/threadname.h"

#include <pthread.h>

#include <fstream>

#include "pal/system/system.h"

namespace pal {

namespace {

constexpr size_t kMaxNameBytes = 15;

// Cuts at a character boundary so that no half UTF-8 sequence remains.
std::string Shortened(const std::string& name)
{
    if (name.size() <= kMaxNameBytes)
        return name;
    size_t cut = kMaxNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

}  // namespace

bool NameThread(DWORD threadId, const std::string& name)
{
    const std::string shortName = Shortened(name);
    if (threadId == static_cast<DWORD>(-1) || threadId == GetCurrentThreadId())
        return pthread_setname_np(pthread_self(), shortName.c_str()) == 0;
    // Only this process's threads are listed under /proc/self/task.
    std::ofstream comm("/proc/self/task/" + std::to_string(threadId) + "/comm");
    if (!comm)
        return false;
    comm << shortName;
    comm.flush();
    return static_cast<bool>(comm);
}

}  // namespace pal
