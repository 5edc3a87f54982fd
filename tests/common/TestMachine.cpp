#include "common/TestMachine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
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

// The standard streams go through files, so no child blocks on a full pipe
// and no other child holding a copy of a pipe delays the end of this one.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& env,
                         const std::string& input)
{
    std::string folder = (fs::temp_directory_path() / "vesk-run-XXXXXX").string();
    if (!mkdtemp(folder.data()))
        throw std::runtime_error("mkdtemp failed");
    const std::string paths[3] = {folder + "/in", folder + "/out", folder + "/err"};
    WriteFile(paths[0], input);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        for (int fd = 0; fd < 3; ++fd)
            dup2(open(paths[fd].c_str(), fd ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY, 0600), fd);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(paths[1]);
    result.err = ReadFile(paths[2]);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return result;
}

void ExpectOneErrorLine(const ProcessResult& result, int exitCode, const std::string& part)
{
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_NE(result.err.find(part), std::string::npos) << result.err;
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

std::pair<DWORD, Bytes> StoredValue(HKEY root, const std::u16string& key, const std::u16string& name,
                                    REGSAM view)
{
    HKEY handle = nullptr;
    DWORD type = REG_NONE, size = 0;
    Bytes data;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return {REG_NONE, {}};
    if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size);
        RegQueryValueExW(handle, name.c_str(), nullptr, &type, data.data(), &size);
    } else {
        type = REG_NONE;
    }
    RegCloseKey(handle);
    return {type, data};
}

}  // namespace testkit
