// vesk-admin snapshots and tray: the values the library reads, written and
// explained by the library's own rules for each.
#include <gtest/gtest.h>

#include <filesystem>

#include "SettingsKit.h"

namespace admintest {
namespace {

const std::u16string kSnapKey = u"SOFTWARE\\vesk\\veskSensor";
const std::u16string kTrayKey = u"SOFTWARE\\vesk\\veskSensor\\Settings";

TEST_F(AdminTest, SnapshotsRoundTrip)
{
    const auto on = Admin({"snapshots", "--folder", LogDir()});
    ASSERT_EQ(on.exitCode, 0) << on.err;
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kSnapKey, u"veskSensorSaveBmp").data, Dword(1));
    const CStored path = Stored(HKEY_LOCAL_MACHINE, kSnapKey, u"veskSensorSaveBmpPath");
    EXPECT_EQ(path.type, REG_SZ);
    EXPECT_EQ(path.data, Sz(Utf16(LogDir())));
    EXPECT_EQ(Admin({"snapshots"}).out, "snapshots: on, folder " + LogDir() + "\n");

    ASSERT_EQ(Admin({"snapshots", "--off"}).exitCode, 0);
    const CStored save = Stored(HKEY_LOCAL_MACHINE, kSnapKey, u"veskSensorSaveBmp");
    EXPECT_EQ(save.type, REG_DWORD);
    EXPECT_EQ(save.data, Dword(0));
    const auto shown = Admin({"snapshots"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.out, "snapshots: off\n");
}

struct SnapCase {
    std::string name;
    DWORD saveType;
    Bytes save;
    DWORD pathType;  // REG_NONE: no value
    Bytes path;
    int exitCode;
    std::string out;  // start of the first line
};

TEST_F(AdminTest, SnapshotsExplainStoredSettings)
{
    const Bytes folder = Sz(Utf16(LogDir()));
    const std::vector<SnapCase> cases = {
        {"save as text", REG_SZ, Sz(u"1"), REG_SZ, folder, 1,
         "snapshots: off, because HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\veskSensor\\"
         "veskSensorSaveBmp is not a number: it has type REG_SZ, not REG_DWORD."},
        {"save 0", REG_DWORD, Dword(0), REG_SZ, folder, 0, "snapshots: off\n"},
        {"no folder", REG_DWORD, Dword(2), REG_NONE, {}, 1,
         "snapshots: on, but the library saves none: there is no value"},
        {"expandable folder", REG_DWORD, Dword(1), REG_EXPAND_SZ, folder, 1,
         "snapshots: on, but the library saves none: the folder has type REG_EXPAND_SZ, "
         "not REG_SZ."},
        {"empty folder", REG_DWORD, Dword(1), REG_SZ, Sz(u""), 1,
         "snapshots: on, but the library saves none: the folder is empty."},
        {"missing folder", REG_DWORD, Dword(1), REG_SZ, Sz(Utf16(LogDir() + "/gone")), 1,
         "snapshots: on, but the library saves none: the folder '" + LogDir() +
             "/gone' does not exist."},
    };
    for (const SnapCase& c : cases) {
        SCOPED_TRACE(c.name);
        Remove(HKEY_LOCAL_MACHINE, kSnapKey, u"veskSensorSaveBmpPath");
        Store(HKEY_LOCAL_MACHINE, kSnapKey, u"veskSensorSaveBmp", c.saveType, c.save);
        if (c.pathType != REG_NONE)
            Store(HKEY_LOCAL_MACHINE, kSnapKey, u"veskSensorSaveBmpPath", c.pathType, c.path);
        const auto shown = Admin({"snapshots"});
        EXPECT_EQ(shown.exitCode, c.exitCode);
        EXPECT_EQ(shown.out.rfind(c.out, 0), 0u) << shown.out;
    }
}

TEST_F(AdminTest, TrayRoundTripsAndExplains)
{
    EXPECT_EQ(Admin({"tray"}).out.rfind("tray icon: on (there is no value HKEY_CURRENT_USER\\", 0),
              0u);
    for (const std::string setting : {"off", "ON", "on"}) {
        ASSERT_EQ(Admin({"tray", setting}).exitCode, 0);
        const CStored stored = Stored(HKEY_CURRENT_USER, kTrayKey, u"UseTrayIconNotification");
        EXPECT_EQ(stored.type, REG_DWORD);
        EXPECT_EQ(stored.data, Dword(setting == "off" ? 0 : 1));
        EXPECT_EQ(Admin({"tray"}).out, setting == "off" ? "tray icon: off\n" : "tray icon: on\n");
    }
    // The one-character string "1" is not a number to the library: no icon.
    Store(HKEY_CURRENT_USER, kTrayKey, u"UseTrayIconNotification", REG_SZ, Sz(u"1"));
    const auto shown = Admin({"tray"});
    EXPECT_EQ(shown.exitCode, 1);
    EXPECT_NE(shown.out.find("tray icon: off, because"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("it has type REG_SZ, not REG_DWORD"), std::string::npos);
}

}  // namespace
}  // namespace admintest
