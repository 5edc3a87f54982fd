// Registry views: WOW64 redirection of HKLM\SOFTWARE and the view flags.
#include <gtest/gtest.h>

#include "common/TestMachine.h"
#include "pal/base/settings.h"
#include "pal/registry/registry.h"

namespace {

constexpr REGSAM kView64 = KEY_WOW64_64KEY;
constexpr REGSAM kView32 = KEY_WOW64_32KEY;

class RegistryView : public ::testing::Test {
protected:
    LSTATUS Create(HKEY root, LPCWSTR path, REGSAM view)
    {
        HKEY key = nullptr;
        const LSTATUS status = RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                               nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS)
            RegCloseKey(key);
        return status;
    }

    LSTATUS Probe(HKEY root, LPCWSTR path, REGSAM view)
    {
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExW(root, path, 0, KEY_READ | view, &key);
        if (status == ERROR_SUCCESS && key != root)
            RegCloseKey(key);
        return status;
    }

    testkit::CScratchMachine m_machine;
};

TEST_F(RegistryView, SixtyFourBitSystemsRedirectSoftware)
{
    for (const char* arch : {"x64", "ia64", "AMD64"}) {
        SCOPED_TRACE(arch);
        testkit::CScratchMachine machine;
        pal::SetSetting("VESK_ARCH", arch);
        ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\ThirtyTwo", 0));
        ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\vesk\\SixtyFour", kView64));

        const struct {
            const char16_t* path;
            REGSAM view;
            LSTATUS expected;
        } cases[] = {
            {u"SOFTWARE\\vesk\\ThirtyTwo", 0, ERROR_SUCCESS},
            {u"SOFTWARE\\vesk\\ThirtyTwo", kView32, ERROR_SUCCESS},
            {u"SOFTWARE\\vesk\\ThirtyTwo", kView64, ERROR_FILE_NOT_FOUND},
            {u"SOFTWARE\\Wow6432Node\\vesk\\ThirtyTwo", kView64, ERROR_SUCCESS},
            {u"SOFTWARE\\Wow6432Node\\vesk\\ThirtyTwo", 0, ERROR_SUCCESS},
            {u"SOFTWARE\\vesk\\SixtyFour", kView64, ERROR_SUCCESS},
            {u"SOFTWARE\\vesk\\SixtyFour", 0, ERROR_FILE_NOT_FOUND},
            {u"SOFTWARE\\vesk\\SixtyFour", kView32, ERROR_FILE_NOT_FOUND},
            {u"SOFTWARE\\vesk\\SixtyFour", kView32 | kView64, ERROR_INVALID_PARAMETER},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.view);
            EXPECT_EQ(c.expected, Probe(HKEY_LOCAL_MACHINE, c.path, c.view));
        }
        // Other roots and other HKLM keys are shared by both views.
        ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\vesk", 0));
        EXPECT_EQ(ERROR_SUCCESS, Probe(HKEY_CURRENT_USER, u"Software\\vesk", kView64));
        ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"SYSTEM\\vesk", 0));
        EXPECT_EQ(ERROR_SUCCESS, Probe(HKEY_LOCAL_MACHINE, u"SYSTEM\\vesk", kView64));
    }
}

TEST_F(RegistryView, ThirtyTwoBitSystemsIgnoreTheFlags)
{
    pal::SetSetting("VESK_ARCH", "x86");
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\One", kView64));
    EXPECT_EQ(ERROR_SUCCESS, Probe(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\One", kView32));
    EXPECT_EQ(ERROR_SUCCESS, Probe(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\One", 0));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Probe(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node", 0));
}

TEST_F(RegistryView, WindowsTwoThousandRefusesViewFlags)
{
    pal::SetSetting("VESK_ARCH", "x86");
    pal::SetSetting("VESK_WINVER", "5.0.2195");
    for (const REGSAM view : {kView32, kView64}) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_INVALID_PARAMETER, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk", view));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, Probe(HKEY_LOCAL_MACHINE, u"SOFTWARE", view));
        EXPECT_EQ(ERROR_INVALID_PARAMETER,
                  RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"", 0, KEY_READ | view, &key));
    }
    EXPECT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk", 0));
    pal::SetSetting("VESK_WINVER", "5.1.2600");
    EXPECT_EQ(ERROR_SUCCESS, Probe(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk", kView64));
}

// Each call names its view; a handle opened in the 64-bit view does not
// carry that view to keys opened below it.
TEST_F(RegistryView, RelativeOpensRedirectByTheirOwnFlags)
{
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Native", kView64));
    HKEY software = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ | kView64, &software));
    EXPECT_EQ(ERROR_SUCCESS, Probe(software, u"vesk\\Native", kView64));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Probe(software, u"vesk\\Native", 0));

    // Creating below it without a flag lands in the 32-bit view.
    ASSERT_EQ(ERROR_SUCCESS, Create(software, u"vesk\\Redirected", 0));
    EXPECT_EQ(ERROR_SUCCESS,
              Probe(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\vesk\\Redirected", kView64));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(software, u"vesk\\Redirected"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              Probe(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Redirected", kView32));
    RegCloseKey(software);
}

}  // namespace
