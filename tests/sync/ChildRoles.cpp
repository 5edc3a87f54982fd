// Roles this program plays as a child of its own tests, chosen before main
// so that gtest never starts in the child.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "SyncTestKit.h"

namespace synctest {

bool CountUnderMutex(const std::string& name, const std::string& file, int rounds)
{
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, Wide(name).c_str());
    const int fd = open(file.c_str(), O_RDWR);
    bool ok = mutex && fd >= 0;
    for (int i = 0; ok && i < rounds; ++i) {
        long value = 0;
        ok = WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0 &&
            pread(fd, &value, sizeof value, 0) >= 0;
        ++value;
        sched_yield();  // widens the window a missing exclusion would show in
        ok = ok && pwrite(fd, &value, sizeof value, 0) == sizeof value && ReleaseMutex(mutex);
    }
    close(fd);
    return CloseHandle(mutex) && ok;
}

bool AppendRecords(const std::string& file, const std::string& tag, int rounds)
{
    const HANDLE handle = CreateFileW(Wide(file).c_str(), FILE_APPEND_DATA, FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, 0, nullptr);
    bool ok = handle != INVALID_HANDLE_VALUE;
    for (int i = 0; ok && i < rounds; ++i) {
        const std::string record = tag + " " + std::to_string(i) + " " + std::string(200, tag[0]) +
            "\n";
        DWORD written = 0;
        ok = WriteFile(handle, record.data(), static_cast<DWORD>(record.size()), &written,
                       nullptr) &&
            written == record.size();
    }
    return CloseHandle(handle) && ok;
}

}  // namespace synctest

namespace {

std::string Outcome(HANDLE handle, const std::string& success)
{
    return handle ? success : "F" + std::to_string(GetLastError());
}

// "probe" prints how OpenMutexW for SYNCHRONIZE, OpenMutexW for all access
// and CreateMutexW answer; "die-holding" takes the mutex and is killed.
int Play(const std::string& role, const std::string& name, const std::string& file, int rounds)
{
    const std::u16string wide = synctest::Wide(name);
    if (role == "probe") {
        std::string out = Outcome(OpenMutexW(SYNCHRONIZE, FALSE, wide.c_str()), "ok") + " ";
        out += Outcome(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, wide.c_str()), "ok") + " ";
        const HANDLE created = CreateMutexW(nullptr, FALSE, wide.c_str());
        std::printf("%s", (out + Outcome(created, std::to_string(GetLastError()))).c_str());
        return 0;
    }
    if (role == "die-holding") {
        if (WaitForSingleObject(CreateMutexW(nullptr, FALSE, wide.c_str()), INFINITE) ==
            WAIT_OBJECT_0)
            raise(SIGKILL);
        return 1;
    }
    if (role == "append")
        return synctest::AppendRecords(file, name, rounds) ? 0 : 1;
    return synctest::CountUnderMutex(name, file, rounds) ? 0 : 1;
}

bool PlayRoleIfAsked()
{
    const auto env = [](const char* name) {
        return std::string(std::getenv(name) ? std::getenv(name) : "");
    };
    if (!std::getenv(synctest::kRole))
        return false;
    const int status = Play(env(synctest::kRole), env(synctest::kName), env(synctest::kFile),
                            std::atoi(env(synctest::kRounds).c_str()));
    std::fflush(stdout);
    _exit(status);
}

[[maybe_unused]] const bool g_bChild = PlayRoleIfAsked();

}  // namespace
