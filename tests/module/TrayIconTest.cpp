// The notification-area icon of a local capture, as another process sees the
// area: shown for the setting values the library takes as on, labelled with
// the scanner and the program in the system's language, gone once the
// capture is stopped, cut to the tooltip's length; none in a Remote Desktop
// session.
#include <dlfcn.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/TestMachine.h"
#include "pal/windows.h"
#include "veskSensor.h"

namespace {

std::atomic<int> g_nReady{0}, g_nEnded{0};

uint32_t VESK_CALLBACK OnEvent(uintptr_t, uint32_t nEvent, uintptr_t, uintptr_t)
{
    g_nReady += nEvent == FS_EVENT_READY_VESKBIT;
    g_nEnded += nEvent == FS_EVENT_CAPTURE_ENDED;
    return 0;
}

bool WaitFor(const std::atomic<int>& counter, int value)
{
    for (int i = 0; i < 500 && counter.load() < value; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return counter.load() >= value;
}

std::vector<pal::CNotifyIcon> OurIcons()
{
    std::vector<pal::CNotifyIcon> ours;
    for (pal::CNotifyIcon& icon : pal::NotificationAreaIcons())
        if (icon.m_nProcessId == static_cast<DWORD>(getpid()))
            ours.push_back(std::move(icon));
    return ours;
}

class TrayIconTest : public testkit::MachineTest {
protected:
    TrayIconTest()
    {
        const auto admin = testkit::RunProcess({VESK_ADMIN_EXE, "sim", "veskbit", "delay", "never"});
        EXPECT_EQ(admin.exitCode, 0) << admin.err;
        m_pLibrary = dlopen(VESK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    }
    ~TrayIconTest() override { unsetenv("VESK_LANG"); }

    template <class T>
    T Export(const char* name)
    {
        return reinterpret_cast<T>(dlsym(m_pLibrary, name));
    }
    // Starts a capture that waits for a finger; returns the icons it shows,
    // then stops it and expects the icon gone at once.
    std::vector<pal::CNotifyIcon> IconsOfACapture()
    {
        FingerscannerData request;
        const int nReady = g_nReady, nEnded = g_nEnded;
        EXPECT_EQ(Export<decltype(&InitFingerscannerData)>("InitFingerscannerData")(
                      &request, &OnEvent, 0, 0, 0, 1, 0, 0),
                  1u);
        EXPECT_EQ(Export<decltype(&GetImageFromFingerscanner)>("GetImageFromFingerscanner")(&request), 0u);
        EXPECT_TRUE(WaitFor(g_nReady, nReady + 1));
        const std::vector<pal::CNotifyIcon> icons = OurIcons();
        Export<decltype(&StopFingerscanner)>("StopFingerscanner")();
        EXPECT_TRUE(OurIcons().empty()) << "the stop removes the icon";
        EXPECT_TRUE(WaitFor(g_nEnded, nEnded + 1));
        return icons;
    }

    void* m_pLibrary = nullptr;
};

TEST_F(TrayIconTest, ShownForTheSettingsTakenAsOnInTheSystemsLanguage)
{
    ASSERT_NE(m_pLibrary, nullptr) << dlerror();
    const std::u16string key = u"SOFTWARE\\vesk\\veskSensor\\Settings";
    const std::string program = program_invocation_short_name;
    const struct {
        DWORD type;  // REG_NONE: no value
        testkit::Bytes data;
        const char* lang;
        std::string application;  // "" when no icon is wanted
    } cases[] = {
        {REG_NONE, {}, "en_US.UTF-8", "Application"},
        {REG_DWORD, testkit::Dword(0), "en_US.UTF-8", ""},
        {REG_SZ, testkit::Sz(u"1"), "en_US.UTF-8", ""},  // 4 bytes, but not a number
        {REG_DWORD, testkit::Dword(7), "de_DE.UTF-8", "Anwendung"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.lang);
        if (c.type != REG_NONE)
            testkit::SetValue(HKEY_CURRENT_USER, key, u"UseTrayIconNotification", c.type, c.data);
        setenv("VESK_LANG", c.lang, 1);
        const std::vector<pal::CNotifyIcon> icons = IconsOfACapture();
        if (c.application.empty()) {
            EXPECT_TRUE(icons.empty());
            continue;
        }
        ASSERT_EQ(icons.size(), 1u);
        const std::u16string text =
            pal::FromUtf8("Fingerscanner: vesk bit\r\n" + c.application + ": " + program);
        EXPECT_EQ(icons[0].m_sTip, text);
        EXPECT_EQ(icons[0].m_sBalloon, text);
        EXPECT_EQ(icons[0].m_nBalloonFlags, static_cast<DWORD>(NIIF_INFO));
        EXPECT_EQ(icons[0].m_sIcon, u"101 16x16 from libveskSensor.so");
    }
}

TEST_F(TrayIconTest, TooltipIsCutAndNoneInARemoteSession)
{
    ASSERT_NE(m_pLibrary, nullptr) << dlerror();
    char* const pszName = program_invocation_name;
    std::string longName(150, 'p');
    program_invocation_name = &longName[0];
    const std::vector<pal::CNotifyIcon> icons = IconsOfACapture();
    program_invocation_name = pszName;
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].m_sTip.size(), 127u);
    EXPECT_EQ(icons[0].m_sBalloon, pal::FromUtf8("Fingerscanner: vesk bit\r\nApplication: " + longName));

    setenv("VESK_RDP_SESSION", "1", 1);
    const int nEnded = g_nEnded;
    FingerscannerData request;
    Export<decltype(&InitFingerscannerData)>("InitFingerscannerData")(&request, &OnEvent, 0, 0, 0, 1, 0, 0);
    Export<decltype(&GetImageFromFingerscanner)>("GetImageFromFingerscanner")(&request);
    for (int i = 0; i < 20; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        EXPECT_TRUE(OurIcons().empty());
    Export<decltype(&StopFingerscanner)>("StopFingerscanner")();
    EXPECT_TRUE(WaitFor(g_nEnded, nEnded + 1));
    unsetenv("VESK_RDP_SESSION");
}

}  // namespace
