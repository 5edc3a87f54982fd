// Registry views: WOW64 redirection of HKLM\SOFTWARE and the view flags.
#include <gtest/gtest.h>

#include "common/TestMachine.h"
#include "pal/base/settings.h"
#include "pal/registry/registry.h"
#include "pal/text/text.h"

namespace {

constexpr REGSAM k64 = KEY_WOW64_64KEY, k32 = KEY_WOW64_32KEY;

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
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status;
}

// Windows 2000 knows no views and refuses the flags.
TEST(RegistryView, SoftwareIsSplitOnlyOnSixtyFourBitSystems)
{
    constexpr LSTATUS kOk = ERROR_SUCCESS, kNone = ERROR_FILE_NOT_FOUND, kBad = ERROR_INVALID_PARAMETER;
    const struct {
        const char16_t* path;
        REGSAM view;
        LSTATUS answers[3];  // on x64, x86 and Windows 2000
    } cases[] = {
        {u"SOFTWARE\\vesk\\ThirtyTwo", 0, {kOk, kOk, kOk}},
        {u"SOFTWARE\\vesk\\ThirtyTwo", k32, {kOk, kOk, kBad}},
        {u"SOFTWARE\\vesk\\ThirtyTwo", k64, {kNone, kOk, kBad}},
        {u"SOFTWARE\\Wow6432Node\\vesk\\ThirtyTwo", k64, {kOk, kNone, kBad}},
        {u"SOFTWARE\\vesk\\SixtyFour", k64, {kOk, kOk, kBad}},
        {u"SOFTWARE\\vesk\\SixtyFour", 0, {kNone, kOk, kNone}},
        {u"SOFTWARE\\vesk\\SixtyFour", k32 | k64, {kBad, kBad, kBad}},
        {u"", k64, {kOk, kOk, kBad}},
    };
    const std::pair<const char*, const char*> systems[] = {{"x64", ""}, {"x86", ""}, {"x86", "5.0.2195"}};
    for (size_t s = 0; s < 3; ++s) {
        testkit::CScratchMachine machine;
        pal::SetSetting("VESK_ARCH", systems[s].first);
        pal::SetSetting("VESK_WINVER", systems[s].second);
        ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\ThirtyTwo", 0));
        EXPECT_EQ(s == 2 ? kBad : kOk,
                  Create(HKEY_LOCAL_MACHINE, u"Software\\vesk\\SixtyFour", k64));
        for (const auto& c : cases) {
            EXPECT_EQ(c.answers[s], Probe(HKEY_LOCAL_MACHINE, c.path, c.view))
                << systems[s].first << systems[s].second << " " << pal::ToUtf8(c.path) << " " << c.view;
        }
    }
    // Other roots and other HKLM keys are shared by both views.
    testkit::CScratchMachine machine;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\vesk", k32));
    EXPECT_EQ(ERROR_SUCCESS, Probe(HKEY_CURRENT_USER, u"Software\\vesk", k64));
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"SYSTEM\\vesk", k32));
    EXPECT_EQ(ERROR_SUCCESS, Probe(HKEY_LOCAL_MACHINE, u"SYSTEM\\vesk", k64));
}

// Each call names its view: a handle opened in the 64-bit view does not carry
// it to the keys below, as on Windows.
TEST(RegistryView, RelativeCallsRedirectByTheirOwnFlags)
{
    testkit::CScratchMachine machine;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Native", k64));
    HKEY software = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_ALL_ACCESS | k64, &software));
    EXPECT_EQ(ERROR_SUCCESS, Probe(software, u"vesk\\Native", k64));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Probe(software, u"vesk\\Native", 0));
    ASSERT_EQ(ERROR_SUCCESS, Create(software, u"vesk\\Redirected", 0));
    EXPECT_EQ(ERROR_SUCCESS,
              Probe(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\vesk\\Redirected", k64));
    RegCloseKey(software);
}

}  // namespace
