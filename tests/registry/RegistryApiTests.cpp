// The advapi32 contract of the registry functions.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "common/TestMachine.h"
#include "pal/base/settings.h"
#include "pal/registry/registry.h"
#include "pal/text/text.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::u16string>;

// Little-endian host: the bytes of a UTF-16 string are its stored form.
Bytes Utf16z(std::u16string_view text)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    Bytes data(bytes, bytes + 2 * text.size());
    data.insert(data.end(), {0, 0});
    return data;
}

LSTATUS EnumKey(HKEY key, DWORD index, WCHAR* name, DWORD& length)
{
    return RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS EnumValue(HKEY key, DWORD index, WCHAR* name, DWORD& length, BYTE* data = nullptr,
                  DWORD* size = nullptr, DWORD* type = nullptr)
{
    return RegEnumValueW(key, index, name, &length, nullptr, type, data, size);
}

// Handles are left open: each test has a machine of its own.
LSTATUS CreateEx(HKEY parent, LPCWSTR path, REGSAM access, HKEY& key, DWORD* disposition = nullptr)
{
    return RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, &key, disposition);
}

HKEY Create(HKEY parent, LPCWSTR path)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, CreateEx(parent, path, KEY_ALL_ACCESS, key));
    return key;
}

LSTATUS Open(HKEY parent, LPCWSTR path, REGSAM access, HKEY& key)
{
    return RegOpenKeyExW(parent, path, 0, access, &key);
}

void Set(HKEY key, LPCWSTR name, DWORD type, const Bytes& data)
{
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())));
}

Bytes Get(HKEY key, LPCWSTR name, DWORD* type = nullptr)
{
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, type, nullptr, &size));
    Bytes data(size);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size));
    return data;
}

// Names of the subkeys, or of the values, in enumeration order.
Names List(HKEY key, bool subkeys)
{
    Names names;
    WCHAR name[256];
    for (DWORD i = 0, length = 256;; ++i, length = 256) {
        const LSTATUS status =
            subkeys ? EnumKey(key, i, name, length) : EnumValue(key, i, name, length);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
            return names;
        }
        names.emplace_back(name, length);
    }
}

class RegistryApi : public ::testing::Test {
protected:
    testkit::CScratchMachine m_machine;
};

TEST_F(RegistryApi, EveryTypeRoundTripsByteExactThroughTheFile)
{
    Bytes large(5000);
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<uint8_t>(i * 31);
    const struct {
        const char16_t* name;
        DWORD type;
        Bytes data;
    } cases[] = {
        {u"sz", REG_SZ, Utf16z(u"text \"with\" \\ escapes")},
        {u"sz odd", REG_SZ, {0x41, 0x00, 0x42}},
        {u"expand", REG_EXPAND_SZ, Utf16z(u"%TEMP%\\x")},
        {u"multi", REG_MULTI_SZ, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}},
        {u"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"binary", REG_BINARY, large},
        {u"odd type", 0x7FFF0001, {9, 8, 7}},
        {u"", REG_SZ, Utf16z(u"default")},
    };
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\vesk\\Types");
    for (const auto& c : cases)
        Set(key, c.name, c.type, c.data);

    // A new folder path misses the process cache: the values come from text.
    const std::string copy = m_machine.Path("copy");
    std::filesystem::create_directories(copy);
    std::filesystem::copy(m_machine.RegistryDir() + "/HKEY_CURRENT_USER.reg", copy);
    pal::SetSetting("VESK_REGISTRY_DIR", copy);
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\vesk\\Types", KEY_READ, key));
    for (const auto& c : cases) {
        DWORD type = 0;
        EXPECT_EQ(c.data, Get(key, c.name, &type)) << pal::ToUtf8(c.name);
        EXPECT_EQ(c.type, type) << pal::ToUtf8(c.name);
    }
}

TEST_F(RegistryApi, QueryFollowsTheWin32SizeRules)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\vesk");
    const Bytes data = Utf16z(u"abc");
    Set(key, u"v", REG_SZ, data);
    BYTE buffer[16];
    std::memset(buffer, 0xCC, sizeof buffer);
    DWORD reserved = 0;
    const struct {
        DWORD* reserved;
        BYTE* buffer;
        DWORD size;  // 99: no size pointer
        LSTATUS status;
        DWORD sizeAfter;
    } cases[] = {
        {nullptr, nullptr, 0, ERROR_SUCCESS, 8},         // size only
        {nullptr, nullptr, 99, ERROR_SUCCESS, 99},       // nothing asked
        {nullptr, buffer, 7, ERROR_MORE_DATA, 8},        // too small: needed size
        {nullptr, buffer, 99, ERROR_INVALID_PARAMETER, 99},
        {&reserved, nullptr, 0, ERROR_INVALID_PARAMETER, 0},
        {nullptr, buffer, 8, ERROR_SUCCESS, 8},
        {nullptr, buffer, 16, ERROR_SUCCESS, 8},
    };
    for (const auto& c : cases) {
        DWORD size = c.size;
        DWORD type = 0;
        EXPECT_EQ(c.status, RegQueryValueExW(key, u"v", c.reserved, &type, c.buffer,
                                             c.size == 99 ? nullptr : &size));
        EXPECT_EQ(c.sizeAfter, c.size == 99 ? 99 : size);
        EXPECT_EQ(c.status == ERROR_INVALID_PARAMETER ? 0u : REG_SZ, type);
        EXPECT_EQ(c.status == ERROR_SUCCESS && c.buffer ? 0x61 : 0xCC, buffer[0]);
    }
    EXPECT_EQ(0, std::memcmp(buffer, data.data(), 8));
    EXPECT_EQ(0xCC, buffer[8]) << "no terminator is invented";
}

TEST_F(RegistryApi, MissingKeysAndValuesAndPathRules)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(HKEY_CURRENT_USER, u"Software\\Nothing", KEY_READ, key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateEx(HKEY_CURRENT_USER, u"a\nb", KEY_READ, key))
        << "a line break cannot be stored in the hive text";

    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              CreateEx(HKEY_CURRENT_USER, u"Software\\a\\b\\c\\\\", KEY_ALL_ACCESS, key, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    HKEY same = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              CreateEx(HKEY_CURRENT_USER, u"software\\A\\B\\C", KEY_READ, same, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    HKEY middle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"SOFTWARE\\A", KEY_READ, middle));
    EXPECT_EQ((Names{u"b"}), List(middle, true)) << "the first spelling is kept";
    // An empty sub-key names the key itself; a root answers with itself.
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &same));
    EXPECT_EQ(HKEY_CURRENT_USER, same);
    ASSERT_EQ(ERROR_SUCCESS, Open(middle, u"", KEY_READ, same));
    EXPECT_EQ((Names{u"b"}), List(same, true));

    // Value names ignore case, beyond ASCII too.
    Set(key, nullptr, REG_DWORD, {1, 0, 0, 0});
    Set(key, u"", REG_DWORD, {2, 0, 0, 0});
    Set(key, u"Value\x00E9", REG_BINARY, {1});
    Set(key, u"VALUE\x00C9", REG_BINARY, {2});
    EXPECT_EQ((Bytes{2}), Get(key, u"value\x00E9"));
    EXPECT_EQ((Names{u"", u"Value\x00E9"}), List(key, false));

    BYTE buffer[4];
    DWORD size = 4;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, u"x", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(4u, size);
    Set(key, u"v", REG_BINARY, {});
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"V"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"v"));
}

TEST_F(RegistryApi, StaleHandlesAndMissingRightsAreRefused)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\acl", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    Set(key, u"v", REG_BINARY, {1});
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExW(key, u"", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExW(nullptr, u"", 0, KEY_READ, &key));
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS})
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(root));

    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\acl", KEY_SET_VALUE, key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, nullptr));
    Set(key, u"w", REG_BINARY, {1});
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\acl", KEY_READ, key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExW(key, u"v", 0, REG_BINARY, nullptr, 0));
    EXPECT_EQ((Bytes{1}), Get(key, u"v"));
}

TEST_F(RegistryApi, EnumerationOrder)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\order");
    for (LPCWSTR name : {u"b", u"_x", u"C", u"a", u"B2", u"\x00E9t\x00E9", u"Ab"})
        Create(key, name);
    EXPECT_EQ((Names{u"a", u"Ab", u"b", u"B2", u"C", u"_x", u"\x00E9t\x00E9"}), List(key, true));

    // Values keep the order they were added in; overwriting keeps the place.
    for (LPCWSTR name : {u"zeta", u"alpha", u"mid", u"ZETA"})
        Set(key, name, REG_BINARY, {1});
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"alpha"));
    Set(key, u"alpha", REG_BINARY, {1});
    EXPECT_EQ((Names{u"zeta", u"mid", u"alpha"}), List(key, false));
}

TEST_F(RegistryApi, EnumerationBufferRules)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\buffers");
    Create(key, u"Ab");
    Set(key, u"zeta", REG_SZ, Utf16z(u"foobar"));  // 14 bytes
    WCHAR name[8];
    BYTE data[32];
    DWORD length = 2;  // "Ab" needs 3 with its terminator
    std::fill(std::begin(name), std::end(name), u'x');
    EXPECT_EQ(ERROR_MORE_DATA, EnumKey(key, 0, name, length));
    EXPECT_EQ(u'x', name[0]);
    length = 3;
    EXPECT_EQ(ERROR_SUCCESS, EnumKey(key, 0, name, length));
    EXPECT_EQ(u"Ab", std::u16string(name, length));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, EnumKey(key, 1, name, length));

    // A short name leaves name and data alone but reports the data size; a
    // short data buffer still receives the name.
    const struct {
        DWORD length, size;
        LSTATUS status;
        char16_t nameStart;
        BYTE dataStart;
    } cases[] = {
        {4, 32, ERROR_MORE_DATA, u'x', 0xCC},
        {8, 13, ERROR_MORE_DATA, u'z', 0xCC},
        {5, 14, ERROR_SUCCESS, u'z', 'f'},
    };
    for (const auto& c : cases) {
        std::fill(std::begin(name), std::end(name), u'x');
        std::fill(std::begin(data), std::end(data), BYTE{0xCC});
        length = c.length;
        DWORD size = c.size;
        DWORD type = 0;
        EXPECT_EQ(c.status, EnumValue(key, 0, name, length, data, &size, &type));
        EXPECT_EQ(4u, length);
        EXPECT_EQ(14u, size);
        EXPECT_EQ(REG_SZ, type);
        EXPECT_EQ(c.nameStart, name[0]);
        EXPECT_EQ(c.dataStart, data[0]);
    }
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, EnumValue(key, 1, name, length));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, EnumValue(key, 0, name, length, data, nullptr));
}

TEST_F(RegistryApi, DeleteKeyOnlyWithoutSubkeys)
{
    HKEY parent = Create(HKEY_CURRENT_USER, u"Software\\tree");
    HKEY leaf = Create(parent, u"branch\\leaf");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(parent, u"branch"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(parent, u"nothing"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, u""));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(parent, u"BRANCH\\Leaf"));

    // A handle still open names a deleted key.
    const BYTE one = 1;
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExW(leaf, u"v", 0, REG_BINARY, &one, 1));
    EXPECT_EQ(ERROR_KEY_DELETED, CreateEx(leaf, u"x", KEY_ALL_ACCESS, child));

    ASSERT_EQ(ERROR_SUCCESS, Open(parent, u"branch", KEY_ALL_ACCESS, child));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(child, u""));
    EXPECT_EQ(Names{}, List(parent, true));
}

}  // namespace
