// The text of query in reg.exe's layout, for one small tree.
#include <gtest/gtest.h>

#include <string>

#include "RegTool.h"

namespace {

using regtool::Reg;

TEST(RegToolQuery, LayoutOfKeysValuesAndSearches)
{
    testkit::CScratchMachine machine;
    const std::string key = "HKCU\\Software\\tree";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"add", key, "/v", "Name", "/d", "top"},
             {"add", key, "/v", "Count", "/t", "REG_DWORD", "/d", "255"},
             {"add", key + "\\A", "/v", "Bytes", "/t", "REG_BINARY", "/d", "0aff"},
             {"add", key + "\\A", "/v", "List", "/t", "REG_MULTI_SZ", "/d", "x\\0y"},
             {"add", key + "\\A\\Inner", "/ve", "/d", ""},
             {"add", key + "\\B", "/v", "Name", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%"},
         }) {
        const auto result = Reg(args);
        ASSERT_EQ(0, result.exitCode) << result.err;
    }
    const std::string top = "\nHKEY_CURRENT_USER\\Software\\tree\n";
    const std::string topValues = top + "    Name    REG_SZ    top\n    Count    REG_DWORD    0xff\n";
    const std::string inner =
        "\nHKEY_CURRENT_USER\\Software\\tree\\A\\Inner\n    (Default)    REG_SZ    \n";
    const std::string b = "\nHKEY_CURRENT_USER\\Software\\tree\\B\n    Name    REG_EXPAND_SZ    %TEMP%\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {  // the arguments and the output
        // Values, then the subkeys by name.
        {{"query", "hkcu\\Software\\tree"},
         topValues + "\nHKEY_CURRENT_USER\\Software\\tree\\A\nHKEY_CURRENT_USER\\Software\\tree\\B\n"},
        // Every key, parents first.
        {{"query", "HKEY_CURRENT_USER\\Software\\tree\\", "/s"},
         topValues + "\nHKEY_CURRENT_USER\\Software\\tree\\A\n"
                     "    Bytes    REG_BINARY    0AFF\n    List    REG_MULTI_SZ    x\\0y\n" + inner + b},
        {{"query", key, "/v", "count"}, top + "    Count    REG_DWORD    0xff\n"},
        {{"query", key, "/ve"}, top + "    (Default)    REG_SZ    (value not set)\n"},
        {{"QUERY", key + "\\A\\Inner", "-VE"}, inner},
        {{"query", key, "/s", "/v", "Name"},
         top + "    Name    REG_SZ    top\n" + b + "\nEnd of search: 2 match(es) found.\n"},
    };
    for (const auto& [args, out] : cases) {
        const auto result = Reg(args);
        EXPECT_EQ(0, result.exitCode) << args[1];
        EXPECT_EQ(out, result.out) << args[1];
        EXPECT_EQ("", result.err);
    }
    const auto none = Reg({"query", key, "/s", "/v", "Absent"});
    EXPECT_EQ(1, none.exitCode);
    EXPECT_EQ(regtool::kNotFound, none.err);
}

// Every verb works in the view it is given and leaves the other view's twin
// key alone; deleting used to reach the 32-bit twin of a /reg:64 key. Without
// a view flag the tool writes the native view, where the library reads (it
// used to land in Wow6432Node).
TEST(RegToolQuery, EveryVerbStaysInItsView)
{
    const std::string key = "HKLM\\SOFTWARE\\vesk\\Twin";
    for (const std::string view : {"/reg:32", "/reg:64"}) {
        SCOPED_TRACE(view);
        testkit::CScratchMachine machine;
        const std::string other = view == "/reg:32" ? "/reg:64" : "/reg:32";
        const std::string file = machine.Path("twin.reg");
        for (const std::string& v : {view, other})
            ASSERT_EQ(0, Reg({"add", key + "\\Sub", "/v", "bits", "/d", v, v == "/reg:64" ? "/f" : v}).exitCode);
        const std::string mine = "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Twin\\Sub\n    bits    REG_SZ    " + view + "\n";
        const std::string twin = Reg({"query", key + "\\Sub", other}).out;
        auto expectTwinUntouched = [&] { EXPECT_EQ(twin, Reg({"query", key + "\\Sub", other}).out); };

        EXPECT_EQ(mine, Reg({"query", key + "\\Sub", view}).out);
        ASSERT_EQ(0, Reg({"export", key, file, view}).exitCode);
        ASSERT_EQ(0, Reg({"delete", key + "\\Sub", "/v", "bits", "/f", view}).exitCode);
        expectTwinUntouched();
        ASSERT_EQ(0, Reg({"import", file, view}).exitCode);
        EXPECT_EQ(mine, Reg({"query", key + "\\Sub", view}).out) << "the export came back";
        expectTwinUntouched();
        ASSERT_EQ(0, Reg({"delete", key, "/f", view}).exitCode);
        EXPECT_EQ(1, Reg({"query", key, view}).exitCode);
        expectTwinUntouched();
        ASSERT_EQ(0, Reg({"import", file, view}).exitCode);
        testkit::WriteFile(file, "Windows Registry Editor Version 5.00\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Twin]\n");
        ASSERT_EQ(0, Reg({"import", file, view}).exitCode);
        EXPECT_EQ(1, Reg({"query", key, view}).exitCode);
        expectTwinUntouched();
    }
}

TEST(RegToolQuery, UsageOnStandardOutput)
{
    const auto result = Reg({"/?"});
    EXPECT_EQ(0, result.exitCode);
    EXPECT_NE(std::string::npos, result.out.find("vesk-reg query KEY"));
}

}  // namespace
