// Registry wrappers on the simulated registry: views, key ownership, readers.
#include <gtest/gtest.h>

#include <string>

#include "LogCapture.h"
#include "common/TestMachine.h"
#include "support/Registry.h"

using namespace std::string_literals;

namespace {

const WString kKey = W("SOFTWARE\\vesk\\Test");
using List = std::vector<WString>;

void Set(const WString& name, DWORD type, const testkit::Bytes& data, REGSAM view = KEY_WOW64_64KEY)
{
    testkit::SetValue(HKEY_LOCAL_MACHINE, kKey, name, type, data, view);
}

// Each of the four view wrappers opening or creating kKey.
LSTATUS Wrapper(int which, const WString& path = kKey)
{
    HKEY raw = nullptr;
    const HKEY lm = HKEY_LOCAL_MACHINE;
    const LPCWSTR p = path.c_str();
    const LSTATUS status =
        which == 0   ? RegOpenKeyEx64(lm, p, 0, KEY_READ, &raw)
        : which == 1 ? RegOpenKeyEx32(lm, p, 0, KEY_READ, &raw)
        : which == 2 ? RegCreateKeyEx64(lm, p, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw, nullptr)
                     : RegCreateKeyEx32(lm, p, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw, nullptr);
    RegCloseKey(raw);
    return status;
}

class RegistryWrappers : public testkit::MachineTest {
protected:
    void SetUp() override { pal::SetSetting("VESK_ARCH", "x64"); }
};

// The 64-bit wrapper sees the key itself, the 32-bit one the WOW64 copy;
// Windows 2000 refuses view flags, so there both must go without one.
TEST_F(RegistryWrappers, ViewFlagIsAddedOnEveryVersionButWindows2000)
{
    Set(W("Where"), REG_DWORD, {64, 0, 0, 0}, KEY_WOW64_64KEY);
    Set(W("Where"), REG_DWORD, {32, 0, 0, 0}, KEY_WOW64_32KEY);
    for (const char* version : {"5.1", "5.2", "6.0", "6.1", "10.0"}) {
        SCOPED_TRACE(version);
        pal::SetSetting("VESK_WINVER", version);
        for (const bool use32 : {false, true}) {
            CHRegKey key;
            ASSERT_TRUE(OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_READ, use32, false, key));
            DWORD value = 0, size = sizeof value;
            ASSERT_EQ(RegQueryValueExW(key.Get(), W("Where"), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&value), &size),
                      ERROR_SUCCESS);
            EXPECT_EQ(value, use32 ? 32u : 64u);
        }
    }
    // Older systems reject view flags, which shows that each wrapper sent one.
    for (int which = 0; which < 4; ++which) {
        pal::SetSetting("VESK_WINVER", "4.0");
        EXPECT_EQ(Wrapper(which), ERROR_INVALID_PARAMETER) << which;
        pal::SetSetting("VESK_WINVER", "5.0");
        EXPECT_EQ(Wrapper(which), ERROR_SUCCESS) << which;
    }
    HKEY raw = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &raw),
              ERROR_INVALID_PARAMETER);

    // An unreadable version refuses without touching the registry.
    pal::SetSetting("VESK_WINVER", "not a version");
    const WString fresh = W("SOFTWARE\\vesk\\New");
    for (int which = 0; which < 4; ++which)
        EXPECT_EQ(Wrapper(which, fresh), ERROR_ACCESS_DENIED) << which;
    pal::ClearSetting("VESK_WINVER");
    EXPECT_EQ(Wrapper(0, fresh), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryWrappers, KeyOwnersCloseWhatTheyHeld)
{
    Set(W("V"), REG_DWORD, {1, 0, 0, 0});
    CHRegKey key;
    ASSERT_TRUE(OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_READ, false, false, key));
    const HKEY first = key.Get();
    ASSERT_TRUE(OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_READ, false, false, key));
    EXPECT_NE(key.Get(), first);
    EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);

    EXPECT_FALSE(OpenKey(HKEY_LOCAL_MACHINE, W(""), KEY_READ, false, false, key));
    EXPECT_TRUE(key.IsOpen());  // an empty path is refused before anything is touched
    EXPECT_FALSE(OpenKey(HKEY_LOCAL_MACHINE, W("SOFTWARE\\missing"), KEY_READ, false, false, key));
    EXPECT_FALSE(key.IsOpen());

    // A failed close at the owner's end is logged as an error.
    const logcapture::CCapture log(1);
    {
        CHRegKey stale;
        *stale.GetAddress() = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7ff1));
    }
    EXPECT_EQ(log.Text(), "1 CHRegKey::_Release(): RegCloseKey() error: 0x00000006\n");
}

TEST_F(RegistryWrappers, ReadBinaryValue)
{
    Set(W("Blob"), REG_BINARY, {1, 2, 3});
    Set(W("Empty"), REG_BINARY, {});
    Set(W("Text"), REG_SZ, {0x41, 0, 0, 0});

    CMyByteArray value(2);
    EXPECT_TRUE(ReadBinaryValue(HKEY_LOCAL_MACHINE, kKey, W("Blob"), value, false, false));
    ASSERT_EQ(value.GetSize(), 3u);
    EXPECT_EQ(value.ElementAt(2), 3);

    EXPECT_TRUE(ReadBinaryValue(HKEY_LOCAL_MACHINE, kKey, W("Empty"), value, false, false));
    EXPECT_TRUE(value.IsEmpty());

    value.SetSize(1);
    EXPECT_FALSE(ReadBinaryValue(HKEY_LOCAL_MACHINE, kKey, W("Text"), value, false, false));
    EXPECT_TRUE(value.IsEmpty());
    EXPECT_FALSE(ReadBinaryValue(HKEY_LOCAL_MACHINE, kKey, W("Missing"), value, false, false));

    value.SetSize(1);  // empty names are refused before the output is touched
    EXPECT_FALSE(ReadBinaryValue(HKEY_LOCAL_MACHINE, kKey, W(""), value, false, false));
    EXPECT_EQ(value.GetSize(), 1u);
}

TEST_F(RegistryWrappers, ReadMultiStringValue)
{
    const struct { const char16_t* name; DWORD type; std::u16string stored; List read; } cases[] = {
        {u"Order", REG_MULTI_SZ, u"Upek TCS3\0vesk bit\0\0"s, {W("Upek TCS3"), W("vesk bit")}},
        {u"Gap", REG_MULTI_SZ, u"A\0\0B\0\0"s, {W("A")}},
        {u"Bare", REG_MULTI_SZ, u"one\0two"s, {W("one"), W("two")}},  // no final zeros
        {u"Nothing", REG_MULTI_SZ, u""s, {}},
    };
    for (const auto& c : cases) {
        Set(c.name, c.type, testkit::Utf16(c.stored));
        List list{W("stale")};
        EXPECT_TRUE(ReadMultiStringValue(HKEY_LOCAL_MACHINE, kKey, c.name, list, false, false));
        EXPECT_EQ(list, c.read) << pal::ToUtf8(c.name);
    }
    Set(W("Text"), REG_SZ, {0x41, 0, 0, 0});
    List list{W("stale")};
    EXPECT_FALSE(ReadMultiStringValue(HKEY_LOCAL_MACHINE, kKey, W("Text"), list, false, false));
    EXPECT_TRUE(list.empty());
}

TEST_F(RegistryWrappers, CreateWhenMissingMakesTheKeyButFindsNoValue)
{
    const WString settings = W("SOFTWARE\\vesk\\veskSensor\\Settings");
    List list;
    EXPECT_FALSE(
        ReadMultiStringValue(HKEY_LOCAL_MACHINE, settings, W("SensorDetectOrder"), list, false, true));
    EXPECT_EQ(Wrapper(0, settings), ERROR_SUCCESS);

    // Without write rights on the hive the key cannot be made.
    pal::SetSetting("VESK_REGISTRY_READONLY", "HKLM");
    CMyByteArray value;
    EXPECT_FALSE(
        ReadBinaryValue(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\Other"), W("V"), value, false, true));
    EXPECT_EQ(Wrapper(0, W("SOFTWARE\\vesk\\Other")), ERROR_FILE_NOT_FOUND);
}

}  // namespace
