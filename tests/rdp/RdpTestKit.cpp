#include "RdpTestKit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

#include "common/TestMachine.h"

extern char** environ;

namespace rdptest {

Bytes Pattern(size_t nCount, uint8_t nSeed)
{
    Bytes bytes(nCount);
    for (size_t i = 0; i < nCount; ++i)
        bytes[i] = static_cast<uint8_t>(nSeed + i * 7 + (i >> 8));
    return bytes;
}

CWtsApi::CWtsApi() : hModule(LoadLibraryW(W("WtsApi32.dll")))
{
    const auto resolve = [this](auto& pfn, const char* pszName) {
        pfn = reinterpret_cast<std::remove_reference_t<decltype(pfn)>>(
            reinterpret_cast<void*>(GetProcAddress(hModule, pszName)));
        EXPECT_NE(pfn, nullptr) << pszName;
    };
    EXPECT_NE(hModule, nullptr) << "no libWtsApi32.so beside the test";
    resolve(Open, "WTSVirtualChannelOpen");
    resolve(Close, "WTSVirtualChannelClose");
    resolve(Read, "WTSVirtualChannelRead");
    resolve(Write, "WTSVirtualChannelWrite");
    resolve(Query, "WTSVirtualChannelQuery");
}

CScriptedClient::CScriptedClient(const std::string& sPath)
    : m_oListener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, sPath.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(bind(m_oListener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(m_oListener.Get(), 4), 0);
}

void CScriptedClient::Serve(std::function<void(int nFd)> script)
{
    Join();
    m_thread = std::thread([this, script = std::move(script)] {
        pollfd entry{m_oListener.Get(), POLLIN, 0};
        if (poll(&entry, 1, 10000) != 1) {
            ADD_FAILURE() << "nobody connected to the scripted client";
            return;
        }
        const vrdp::CFileDescriptor connection(accept(m_oListener.Get(), nullptr, nullptr));
        script(connection.Get());
    });
}

void CScriptedClient::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool Send(int nFd, vrdp::EFrame eType, uint32_t nA, uint32_t nB, Bytes data)
{
    return vrdp::SendFrame(nFd, vrdp::SFrame{eType, nA, nB, std::move(data)}, 5000);
}

vrdp::SFrame Expect(int nFd, vrdp::EFrame eType)
{
    vrdp::SFrame frame;
    EXPECT_EQ(vrdp::ReceiveFrame(nFd, frame, 10000), vrdp::ERecv::Frame);
    EXPECT_EQ(frame.eType, eType);
    return frame;
}

CChild::CChild(const std::vector<std::string>& argv, const std::string& sStem)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (sStem + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (sStem + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> args;
    for (const std::string& sArgument : argv)
        args.push_back(const_cast<char*>(sArgument.c_str()));
    args.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&m_nPid, args[0], &actions, nullptr, args.data(), environ), 0) << argv[0];
    posix_spawn_file_actions_destroy(&actions);
}

void CChild::Signal(int nSignal) const { kill(m_nPid, nSignal); }

// Whether the condition comes true within the time, asked every 20 ms.
template <class F>
static bool Within(std::chrono::seconds limit, F holds)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        if (holds())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
}

int CChild::Wait(std::chrono::seconds limit)
{
    if (m_nPid <= 0)
        return -1;
    int nStatus = 0;
    const bool bEnded = Within(limit, [&] { return waitpid(m_nPid, &nStatus, WNOHANG) == m_nPid; });
    if (!bEnded) {
        kill(m_nPid, SIGKILL);
        waitpid(m_nPid, &nStatus, 0);
    }
    m_nPid = -1;
    return !bEnded ? -1 : WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

bool WaitForText(const std::string& sPath, const std::string& sText)
{
    return Within(std::chrono::seconds(20), [&] { return testkit::ReadFile(sPath).find(sText) != std::string::npos; });
}

}  // namespace rdptest
