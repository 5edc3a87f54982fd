#include "AdminKit.h"

#include <filesystem>

#include "support/CHRegKey.h"
#include "support/Registry.h"
#include "unicode/Utf.h"

namespace admintest {
namespace {

WString Wide(const std::u16string& text) { return WString(text.begin(), text.end()); }

}  // namespace

const std::u16string kDiagKey = u"SOFTWARE\\vesk\\Diagnostics";

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

Bytes Dword(uint32_t value)
{
    Bytes bytes;
    AppendU32(bytes, value);
    return bytes;
}

Bytes Sz(const std::u16string& text)
{
    Bytes bytes;
    for (const char16_t c : text + u'\0') {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

Bytes MultiSz(const std::vector<std::u16string>& texts)
{
    Bytes bytes;
    for (const std::u16string& text : texts) {
        const Bytes one = Sz(text);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

Bytes Counted(const std::u16string& text)
{
    Bytes bytes = Dword(static_cast<uint32_t>(2 * (text.size() + 1)));
    const Bytes units = Sz(text);
    bytes.insert(bytes.end(), units.begin(), units.end());
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
        const Bytes length = Dword(static_cast<uint32_t>(n));
        std::copy(length.begin(), length.end(), record.begin());
    }
    return record;
}

void Store(HKEY root, const std::u16string& key, const std::u16string& name, DWORD type,
           const Bytes& data)
{
    CHRegKey handle;
    ASSERT_EQ(RegCreateKeyEx64(root, Wide(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               handle.GetAddress(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(handle.Get(), Wide(name).c_str(), 0, type, data.data(),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

CStored Stored(HKEY root, const std::u16string& key, const std::u16string& name)
{
    CStored stored;
    CHRegKey handle;
    if (RegOpenKeyEx64(root, Wide(key).c_str(), 0, KEY_READ, handle.GetAddress()) != ERROR_SUCCESS)
        return stored;
    DWORD size = 0;
    if (RegQueryValueExW(handle.Get(), Wide(name).c_str(), nullptr, &stored.type, nullptr,
                         &size) != ERROR_SUCCESS)
        return stored;
    stored.data.assign(size, 0);
    stored.present = RegQueryValueExW(handle.Get(), Wide(name).c_str(), nullptr, &stored.type,
                                      stored.data.data(), &size) == ERROR_SUCCESS;
    return stored;
}

void StoreDiag(DWORD type, const Bytes& bytes)
{
    Store(HKEY_LOCAL_MACHINE, kDiagKey, u"Configuration", type, bytes);
}

CStored StoredDiag() { return Stored(HKEY_LOCAL_MACHINE, kDiagKey, u"Configuration"); }

std::u16string Utf16(const std::string& utf8) { return unicode::FromUtf8Lossy(utf8); }

AdminTest::AdminTest() { std::filesystem::create_directories(LogDir()); }

}  // namespace admintest
