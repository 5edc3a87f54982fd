#include "AdminKit.h"

#include <filesystem>

#include "support/CHRegKey.h"
#include "support/Registry.h"
#include "unicode/Utf.h"

namespace admintest {

testkit::ProcessResult Admin(std::vector<std::string> args,
                             const std::vector<std::pair<std::string, std::string>>& env)
{
    args.insert(args.begin(), VESK_ADMIN_EXE);
    return testkit::RunProcess(args, env);
}

void AppendU32(Bytes& bytes, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

Bytes Counted(const std::u16string& text)
{
    Bytes bytes;
    AppendU32(bytes, static_cast<uint32_t>(2 * (text.size() + 1)));
    for (const char16_t c : text + u'\0') {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

Bytes Record(uint8_t auxSwitch, uint32_t auxMode, const Bytes& auxFolder, uint8_t logSwitch,
             uint32_t level, const Bytes& logFolder, const Bytes& tail)
{
    Bytes bytes(4, 0);
    bytes.push_back(auxSwitch);
    AppendU32(bytes, auxMode);
    bytes.insert(bytes.end(), auxFolder.begin(), auxFolder.end());
    bytes.push_back(logSwitch);
    AppendU32(bytes, level);
    bytes.insert(bytes.end(), logFolder.begin(), logFolder.end());
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return Cut(bytes, bytes.size());
}

Bytes Cut(Bytes record, size_t n)
{
    record.resize(n);
    if (n >= 4) {
        Bytes length;
        AppendU32(length, static_cast<uint32_t>(n));
        std::copy(length.begin(), length.end(), record.begin());
    }
    return record;
}

void StoreValue(DWORD type, const Bytes& bytes)
{
    CHRegKey key;
    ASSERT_EQ(RegCreateKeyEx64(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\Diagnostics"), 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, key.GetAddress(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), W("Configuration"), 0, type, bytes.data(),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

bool StoredBytes(Bytes& bytes)
{
    CMyByteArray value;
    if (!ReadBinaryValue(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\Diagnostics"), W("Configuration"),
                         value, false, false))
        return false;
    bytes.assign(value.GetData(), value.GetData() + value.GetSize());
    return true;
}

std::u16string Utf16(const std::string& utf8) { return unicode::FromUtf8Lossy(utf8); }

AdminTest::AdminTest() { std::filesystem::create_directories(LogDir()); }

}  // namespace admintest
