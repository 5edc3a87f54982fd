#include "SettingsKit.h"

#include "support/CHRegKey.h"
#include "support/Registry.h"

namespace admintest {
namespace {

WString Wide(const std::u16string& text) { return WString(text.begin(), text.end()); }

}  // namespace

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

void Remove(HKEY root, const std::u16string& key, const std::u16string& name)
{
    CHRegKey handle;
    if (RegOpenKeyEx64(root, Wide(key).c_str(), 0, KEY_ALL_ACCESS, handle.GetAddress()) ==
        ERROR_SUCCESS)
        RegDeleteValueW(handle.Get(), Wide(name).c_str());
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
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

}  // namespace admintest
