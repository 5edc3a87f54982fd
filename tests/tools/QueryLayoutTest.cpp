// The text of query in reg.exe's layout, for one small tree.
#include <gtest/gtest.h>

#include <string>

#include "RegTool.h"

namespace {

using regtool::Reg;

class RegToolQuery : public ::testing::Test {
protected:
    void SetUp() override
    {
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
    }

    testkit::CScratchMachine m_machine;
};

TEST_F(RegToolQuery, KeyShowsValuesThenSubkeys)
{
    const auto result = Reg({"query", "hkcu\\Software\\tree"});
    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ("\nHKEY_CURRENT_USER\\Software\\tree\n"
              "    Name    REG_SZ    top\n"
              "    Count    REG_DWORD    0xff\n"
              "\n"
              "HKEY_CURRENT_USER\\Software\\tree\\A\n"
              "HKEY_CURRENT_USER\\Software\\tree\\B\n",
              result.out);
    EXPECT_EQ("", result.err);
}

TEST_F(RegToolQuery, RecursiveShowsEveryKeyParentsFirst)
{
    const auto result = Reg({"query", "HKEY_CURRENT_USER\\Software\\tree\\", "/s"});
    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ("\nHKEY_CURRENT_USER\\Software\\tree\n"
              "    Name    REG_SZ    top\n"
              "    Count    REG_DWORD    0xff\n"
              "\nHKEY_CURRENT_USER\\Software\\tree\\A\n"
              "    Bytes    REG_BINARY    0AFF\n"
              "    List    REG_MULTI_SZ    x\\0y\n"
              "\nHKEY_CURRENT_USER\\Software\\tree\\A\\Inner\n"
              "    (Default)    REG_SZ    \n"
              "\nHKEY_CURRENT_USER\\Software\\tree\\B\n"
              "    Name    REG_EXPAND_SZ    %TEMP%\n",
              result.out);
}

TEST_F(RegToolQuery, SingleValues)
{
    EXPECT_EQ("\nHKEY_CURRENT_USER\\Software\\tree\n    Count    REG_DWORD    0xff\n",
              Reg({"query", "HKCU\\Software\\tree", "/v", "count"}).out);
    EXPECT_EQ("\nHKEY_CURRENT_USER\\Software\\tree\n    (Default)    REG_SZ    (value not set)\n",
              Reg({"query", "HKCU\\Software\\tree", "/ve"}).out);
    EXPECT_EQ("\nHKEY_CURRENT_USER\\Software\\tree\\A\\Inner\n    (Default)    REG_SZ    \n",
              Reg({"QUERY", "HKCU\\Software\\tree\\A\\Inner", "-VE"}).out);
}

TEST_F(RegToolQuery, RecursiveSearchForOneValue)
{
    const auto result = Reg({"query", "HKCU\\Software\\tree", "/s", "/v", "Name"});
    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ("\nHKEY_CURRENT_USER\\Software\\tree\n"
              "    Name    REG_SZ    top\n"
              "\nHKEY_CURRENT_USER\\Software\\tree\\B\n"
              "    Name    REG_EXPAND_SZ    %TEMP%\n"
              "\nEnd of search: 2 match(es) found.\n",
              result.out);
    const auto none = Reg({"query", "HKCU\\Software\\tree", "/s", "/v", "Absent"});
    EXPECT_EQ(1, none.exitCode);
    EXPECT_EQ(regtool::kNotFound, none.err);
}

// The two views of HKLM\SOFTWARE are distinct keys; HKCU has one view.
TEST_F(RegToolQuery, ViewsAreSeparate)
{
    const std::string key = "HKLM\\SOFTWARE\\vesk-view";
    ASSERT_EQ(0, Reg({"add", key, "/v", "bits", "/d", "32", "/reg:32"}).exitCode);
    EXPECT_EQ(1, Reg({"query", key, "/reg:64"}).exitCode);
    EXPECT_EQ("\nHKEY_LOCAL_MACHINE\\SOFTWARE\\vesk-view\n    bits    REG_SZ    32\n",
              Reg({"query", key, "/reg:32"}).out);
    ASSERT_EQ(0, Reg({"delete", key, "/reg:32"}).exitCode);
    EXPECT_EQ(1, Reg({"query", key, "/reg:32"}).exitCode);
}

TEST(RegToolHelp, UsageOnStandardOutput)
{
    for (const char* option : {"/?", "--help", "-h"}) {
        const auto result = Reg({option});
        EXPECT_EQ(0, result.exitCode) << option;
        EXPECT_NE(std::string::npos, result.out.find("vesk-reg query KEY")) << option;
    }
    EXPECT_EQ(0, Reg({"add", "/?"}).exitCode);
}

}  // namespace
