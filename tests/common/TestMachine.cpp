#include "common/TestMachine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "pal/base/settings.h"

namespace fs = std::filesystem;

namespace testkit {

CScratchMachine::CScratchMachine()
{
    std::string pattern = (fs::temp_directory_path() / "vesk-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_sRoot = pattern;
    fs::create_directories(RegistryDir());
    fs::create_directories(SystemDir());
    setenv("VESK_REGISTRY_DIR", RegistryDir().c_str(), 1);
    setenv("VESK_SYSTEM_DIR", SystemDir().c_str(), 1);
    // Named objects too: tests running at once must not share a mutex name.
    fs::create_directories(m_sRoot + "/objects");
    setenv("VESK_OBJECTS_DIR", (m_sRoot + "/objects").c_str(), 1);
    pal::ClearAllSettings();
}

CScratchMachine::~CScratchMachine()
{
    pal::ClearAllSettings();
    unsetenv("VESK_REGISTRY_DIR");
    unsetenv("VESK_SYSTEM_DIR");
    unsetenv("VESK_OBJECTS_DIR");
    std::error_code ignored;
    fs::remove_all(m_sRoot, ignored);
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& env,
                         const std::string& input)
{
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err))
        throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
        // The child may not read its input; its exit status tells the rest.
    }
    close(in[1]);

    ProcessResult result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[2] = {&result.out, &result.err};
    for (int open = 2; open > 0 && poll(fds, 2, -1) > 0;) {
        for (int i = 0; i < 2; ++i) {
            char buffer[4096];
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                into[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string SelfPath() { return fs::read_symlink("/proc/self/exe").string(); }

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string MachineTest::Write(const std::string& relative, const std::string& bytes) const
{
    WriteFile(Path(relative), bytes);
    return Path(relative);
}

Bytes Dword(uint32_t value)
{
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

Bytes Utf16(std::u16string_view text)
{
    Bytes bytes;
    for (const char16_t c : text)
        bytes.insert(bytes.end(), {uint8_t(c & 0xFF), uint8_t(c >> 8)});
    return bytes;
}

Bytes Sz(std::u16string_view text) { return Utf16(std::u16string(text) + u'\0'); }

Bytes MultiSz(const std::vector<std::u16string>& texts)
{
    std::u16string joined;
    for (const std::u16string& text : texts)
        joined += text + u'\0';
    return Sz(joined);
}

void SetValue(HKEY root, const std::u16string& key, const std::u16string& name, DWORD type,
              const Bytes& data, REGSAM view)
{
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(handle, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

}  // namespace testkit
