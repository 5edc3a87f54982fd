// Registry wrappers on the simulated registry: views, key ownership, readers.
#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

#include "LogCapture.h"
#include "common/TestMachine.h"
#include "support/Registry.h"

namespace {

const WString kKey = W("SOFTWARE\\vesk\\Test");

class RegistryWrappers : public ::testing::Test {
protected:
    void SetUp() override { pal::SetSetting("VESK_ARCH", "x64"); }

    static void Set(const WString& path, const WString& name, DWORD type,
                    const std::vector<uint8_t>& data, REGSAM view = KEY_WOW64_64KEY)
    {
        testkit::SetValue(HKEY_LOCAL_MACHINE, path, name, type, data, view);
    }

    static std::vector<WString> ReadList(const WString& name)
    {
        std::vector<WString> list{W("stale")};
        EXPECT_TRUE(ReadMultiStringValue(HKEY_LOCAL_MACHINE, kKey, name, list, false, false));
        return list;
    }

    testkit::CScratchMachine m_machine;
};

// The 64-bit wrapper sees the key itself, the 32-bit one the WOW64 copy;
// Windows 2000 refuses view flags, so there both must go without one.
TEST_F(RegistryWrappers, ViewFlagIsAddedOnEveryVersionButWindows2000)
{
    Set(kKey, W("Where"), REG_DWORD, {64, 0, 0, 0}, KEY_WOW64_64KEY);
    Set(kKey, W("Where"), REG_DWORD, {32, 0, 0, 0}, KEY_WOW64_32KEY);

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

    // Older systems reject view flags, which shows that the wrappers sent one.
    pal::SetSetting("VESK_WINVER", "4.0");
    HKEY raw = nullptr;
    EXPECT_EQ(RegOpenKeyEx64(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_READ, &raw),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyEx32(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                               &raw, nullptr),
              ERROR_INVALID_PARAMETER);

    pal::SetSetting("VESK_WINVER", "5.0");
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &raw),
              ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyEx64(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_READ, &raw), ERROR_SUCCESS);
    RegCloseKey(raw);
    EXPECT_EQ(RegOpenKeyEx32(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_READ, &raw), ERROR_SUCCESS);
    RegCloseKey(raw);
    EXPECT_EQ(RegCreateKeyEx64(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                               &raw, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(raw);
}

TEST_F(RegistryWrappers, UnreadableVersionRefusesWithoutTouchingTheRegistry)
{
    pal::SetSetting("VESK_WINVER", "not a version");
    HKEY raw = nullptr;
    EXPECT_EQ(RegCreateKeyEx64(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\New"), 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &raw, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyEx32(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_READ, &raw),
              ERROR_ACCESS_DENIED);
    pal::ClearSetting("VESK_WINVER");
    EXPECT_EQ(RegOpenKeyEx64(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\New"), 0, KEY_READ, &raw),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryWrappers, OpenKeyClosesTheHandleItHeld)
{
    Set(kKey, W("V"), REG_DWORD, {1, 0, 0, 0});
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
}

TEST_F(RegistryWrappers, FailedCloseIsLoggedAsAnError)
{
    const logcapture::CCapture log(1);
    {
        CHRegKey key;
        *key.GetAddress() = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7ff1));
    }
    EXPECT_EQ(log.Text(), "1 CHRegKey::_Release(): RegCloseKey() error: 0x00000006\n");
}

TEST_F(RegistryWrappers, ReadBinaryValue)
{
    Set(kKey, W("Blob"), REG_BINARY, {1, 2, 3});
    Set(kKey, W("Empty"), REG_BINARY, {});
    Set(kKey, W("Text"), REG_SZ, {0x41, 0, 0, 0});

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
    Set(kKey, W("Order"), REG_MULTI_SZ, testkit::Utf16(u"Upek TCS3\0vesk bit\0\0"s));
    Set(kKey, W("Gap"), REG_MULTI_SZ, testkit::Utf16(u"A\0\0B\0\0"s));
    Set(kKey, W("Bare"), REG_MULTI_SZ, testkit::Utf16(u"one\0two"s));  // no final zeros
    Set(kKey, W("Nothing"), REG_MULTI_SZ, {});
    Set(kKey, W("Text"), REG_SZ, {0x41, 0, 0, 0});

    EXPECT_EQ(ReadList(W("Order")), (std::vector<WString>{W("Upek TCS3"), W("vesk bit")}));
    EXPECT_EQ(ReadList(W("Gap")), (std::vector<WString>{W("A")}));
    EXPECT_EQ(ReadList(W("Bare")), (std::vector<WString>{W("one"), W("two")}));
    EXPECT_TRUE(ReadList(W("Nothing")).empty());

    std::vector<WString> list{W("stale")};
    EXPECT_FALSE(ReadMultiStringValue(HKEY_LOCAL_MACHINE, kKey, W("Text"), list, false, false));
    EXPECT_TRUE(list.empty());
}

TEST_F(RegistryWrappers, CreateWhenMissingMakesTheKeyButFindsNoValue)
{
    const WString settings = W("SOFTWARE\\vesk\\veskSensor\\Settings");
    std::vector<WString> list;
    EXPECT_FALSE(ReadMultiStringValue(HKEY_LOCAL_MACHINE, settings, W("SensorDetectOrder"), list,
                                      false, true));
    HKEY raw = nullptr;
    EXPECT_EQ(RegOpenKeyEx64(HKEY_LOCAL_MACHINE, settings.c_str(), 0, KEY_READ, &raw),
              ERROR_SUCCESS);
    RegCloseKey(raw);

    // Without write rights on the hive the key cannot be made.
    pal::SetSetting("VESK_REGISTRY_READONLY", "HKLM");
    CMyByteArray value;
    EXPECT_FALSE(ReadBinaryValue(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\Other"), W("V"), value,
                                 false, true));
    EXPECT_EQ(RegOpenKeyEx64(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\Other"), 0, KEY_READ, &raw),
              ERROR_FILE_NOT_FOUND);
}

}  // namespace
