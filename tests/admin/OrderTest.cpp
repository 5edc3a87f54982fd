// vesk-admin order: what it stores is the library's value byte for byte, and
// what it shows follows the library's rule (exactly three valid names).
#include <gtest/gtest.h>

#include "SettingsKit.h"

namespace admintest {
namespace {

const std::u16string kKey = u"SOFTWARE\\vesk\\veskSensor\\Settings";
const std::u16string kValue = u"SensorDetectOrder";
const std::string kDefaultList = "1.) vesk bit\n2.) Authtentec 2501\n3.) Upek TCS3\n";

CStored Order() { return Stored(HKEY_LOCAL_MACHINE, kKey, kValue); }

TEST_F(AdminTest, OrderRoundTrips)
{
    const std::vector<std::vector<std::string>> orders = {
        {"Upek TCS3", "vesk bit", "Authtentec 2501"},
        {"vesk bit", "vesk bit", "vesk bit"},  // the library probes only that family
    };
    for (const std::vector<std::string>& names : orders) {
        SCOPED_TRACE(names[0]);
        std::vector<std::string> args = {"order"};
        args.insert(args.end(), names.begin(), names.end());
        const auto set = Admin(args);
        ASSERT_EQ(set.exitCode, 0) << set.err;
        const std::string list =
            "1.) " + names[0] + "\n2.) " + names[1] + "\n3.) " + names[2] + "\n";
        EXPECT_NE(set.out.find(list), std::string::npos) << set.out;
        const CStored stored = Order();
        EXPECT_EQ(stored.type, REG_MULTI_SZ);
        EXPECT_EQ(stored.data, MultiSz({Utf16(names[0]), Utf16(names[1]), Utf16(names[2])}));
        const auto shown = Admin({"order"});
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_EQ(shown.out, "lookup order: from HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\veskSensor\\"
                             "Settings\\SensorDetectOrder\n" + list);
    }
    const auto removed = Admin({"order", "--default"});
    EXPECT_EQ(removed.exitCode, 0);
    EXPECT_FALSE(Order().present);
    const auto shown = Admin({"order"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.out.substr(shown.out.find('\n') + 1), kDefaultList);
}

struct ShowCase {
    std::string name;
    DWORD type;
    Bytes data;
    std::string reason;
};

TEST_F(AdminTest, OrderSaysWhyTheLibraryIgnoresAStoredValue)
{
    const std::vector<ShowCase> cases = {
        {"string", REG_SZ, Sz(u"vesk bit"), "it has type REG_SZ, not REG_MULTI_SZ"},
        {"two names", REG_MULTI_SZ, MultiSz({u"Upek TCS3", u"vesk bit"}),
         "it needs exactly 3 valid names and finds 2"},
        {"case differs", REG_MULTI_SZ, MultiSz({u"upek tcs3", u"vesk bit", u"Authtentec 2501"}),
         "'upek tcs3' is not a scanner name; it needs exactly 3 valid names and finds 2"},
        {"empty string", REG_MULTI_SZ,
         MultiSz({u"Upek TCS3", u"", u"vesk bit", u"Authtentec 2501"}),
         "reading stops at an empty string; it needs exactly 3 valid names and finds 1"},
        {"four names", REG_MULTI_SZ,
         MultiSz({u"Upek TCS3", u"vesk bit", u"Authtentec 2501", u"vesk bit"}),
         "it needs exactly 3 valid names and finds 4"},
    };
    for (const ShowCase& c : cases) {
        SCOPED_TRACE(c.name);
        Store(HKEY_LOCAL_MACHINE, kKey, kValue, c.type, c.data);
        const auto shown = Admin({"order"});
        EXPECT_EQ(shown.exitCode, 1);
        EXPECT_EQ(shown.out, "lookup order: the default, because the library ignores the stored "
                             "value: " + c.reason + ".\n" + kDefaultList);
    }
}

}  // namespace
}  // namespace admintest
