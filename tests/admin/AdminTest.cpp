// vesk-admin as a child process on a scratch machine. Registry values are
// built and read byte by byte here, so that a fault shared by the tool's
// encoder and the library's parser cannot hide.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/TestMachine.h"
#include "support/CDiagnosticsConfig.h"

namespace {

using testkit::Bytes;
using testkit::Dword;
using testkit::MultiSz;
using testkit::Sz;
using Env = std::vector<std::pair<std::string, std::string>>;

const HKEY kLM = HKEY_LOCAL_MACHINE;
const std::u16string kDiag = u"SOFTWARE\\vesk\\Diagnostics";  // value "Configuration"
const std::u16string kLib = u"SOFTWARE\\vesk\\veskSensor";
const std::u16string kSettings = u"SOFTWARE\\vesk\\veskSensor\\Settings";
const std::u16string kSim = u"SOFTWARE\\vesk\\Simulator\\veskbit";

testkit::ProcessResult Admin(std::vector<std::string> args, const Env& env = {})
{
    args.insert(args.begin(), VESK_ADMIN_EXE);
    return testkit::RunProcess(args, env);
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A counted string as stored: byte length, UTF-16LE text, 0x0000.
Bytes Counted(const std::u16string& text) { return Dword(2 * (text.size() + 1)) + Sz(text); }

// The first n bytes, the total length field made to agree where it fits.
Bytes Cut(Bytes record, size_t n)
{
    record.resize(n);
    if (n >= 4)
        std::copy_n(Dword(static_cast<uint32_t>(n)).begin(), 4, record.begin());
    return record;
}

// The diagnostics record with a correct total length; `tail` follows the log folder.
Bytes Record(uint8_t auxSwitch, uint32_t auxMode, const Bytes& auxFolder, uint8_t logSwitch,
             uint32_t level, const Bytes& logFolder, const Bytes& tail = {})
{
    const Bytes bytes = Dword(0) + Bytes{auxSwitch} + Dword(auxMode) + auxFolder +
                        Bytes{logSwitch} + Dword(level) + logFolder + tail;
    return Cut(bytes, bytes.size());
}

std::pair<DWORD, Bytes> Stored(HKEY root, const std::u16string& key,
                               const std::u16string& name = u"Configuration")
{
    return testkit::StoredValue(root, key, name);
}

class AdminTest : public testkit::MachineTest {
protected:
    AdminTest() { std::filesystem::create_directories(LogDir()); }
    std::string LogDir() const { return Path("logs"); }
};

// What vesk-admin writes is what the library reads, and what it shows is
// what is stored.
TEST_F(AdminTest, LoggingRoundTripsThroughTheLibrary)
{
    // The folder is not ASCII, so that the stored UTF-16 is checked too.
    const std::string folder = m_machine.Path("journal-\xC3\xBC\xE6\xBC\xA2");
    std::filesystem::create_directories(folder);
    const struct { std::string level; uint32_t stored; std::string name; } cases[] = {
        {"debug", 4, "debug"}, {"WARNING", 2, "warning"}, {"1", 1, "error"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        const std::string described =
            "on, level " + std::to_string(c.stored) + " (" + c.name + "), folder " + folder;
        const auto set = Admin({"logging", "--level", c.level, "--folder=" + folder});
        ASSERT_EQ(set.exitCode, 0) << set.err;
        EXPECT_EQ(set.out.find("logging set to " + described + ";"), 0u) << set.out;
        EXPECT_EQ(Stored(kLM, kDiag).second,
                  Record(0, 0, Counted(u""), 1, c.stored, Counted(pal::FromUtf8(folder))));
        CDiagnosticsConfig config;
        ASSERT_TRUE(config.Read());
        EXPECT_TRUE(config.IsLogOn());
        EXPECT_EQ(config.GetLogLevel(), c.stored);
        EXPECT_EQ(config.GetLogFolder(), pal::FromUtf8(folder));
        EXPECT_EQ(Admin({"logging"}).out, "logging: " + described + "\nauxiliary: off\n");
    }

    testkit::SetValue(kLM, kDiag, u"Configuration", REG_BINARY, {1, 2, 3});
    const auto off = Admin({"logging", "--off"});
    ASSERT_EQ(off.exitCode, 0) << off.err;
    EXPECT_EQ(Stored(kLM, kDiag).second, Record(0, 0, Counted(u""), 0, 0, Counted(u"")));
    CDiagnosticsConfig config;
    ASSERT_TRUE(config.Read());
    EXPECT_FALSE(config.IsLogOn());
    EXPECT_EQ(Admin({"logging"}).out, "logging: off\nauxiliary: off\n");
}

// For each stored value the library refuses, "vesk-admin logging" names the
// field and the rule and exits 1; for each it accepts, it exits 0. The rows
// are every rule of the library's record reader (each kind of field cut short
// once; the log fields are read by the same steps as the auxiliary ones) and
// of its validation, after the value is first missing.
TEST_F(AdminTest, NamesTheFieldAndRuleTheLibraryRefuses)
{
    const std::string missing = m_machine.Path("absent");
    const Bytes empty = Counted(u""), folder = Counted(pal::FromUtf8(LogDir()));
    // Aux folder at 13 (2 bytes), then the log fields.
    const Bytes good = Record(0, 0, empty, 1, 2, folder);
    Bytes longer = good;
    longer[0] += 1;
    const std::string cut = "logging: invalid, so the library logs nothing: the value is "
                            "truncated in the ";
    const struct {
        std::string name;
        Bytes bytes;
        std::string expected;  // part of the output
        int exitCode = 1;
        DWORD type = REG_BINARY;
    } cases[] = {
        {"valid with trailing bytes", Record(0, 0, empty, 1, 2, folder, {9, 9, 9}),
         "logging: on, level 2 (warning)", 0},
        {"length above size", longer,
         "the total length field says " + std::to_string(good.size() + 1) +
             " bytes but the value holds " + std::to_string(good.size()) + "."},
        {"cut in total length", Cut(good, 3),
         cut + "total length at offset 0: it needs 4 bytes, 3 remain."},
        {"cut before aux switch", Cut(good, 4), cut + "auxiliary switch at offset 4:"},
        {"cut in aux mode", Cut(good, 7),
         cut + "auxiliary mode at offset 5: it needs 4 bytes, 2 remain."},
        {"cut in aux folder length", Cut(good, 12),
         cut + "length of the auxiliary folder at offset 9: it needs 4 bytes, 3 remain."},
        {"cut in aux folder", Cut(good, 14),
         cut + "auxiliary folder at offset 13: it needs 2 bytes, 1 remain."},
        {"aux folder length 0", Record(0, 0, Dword(0), 1, 2, folder),
         "the length of the auxiliary folder is 0; it must count the terminating 0x0000."},
        {"odd length, no terminator", Record(0, 0, empty, 1, 2, Dword(3) + testkit::Utf16(u"/t")),
         "the log folder does not end in a 0x0000 character."},
        {"even length, no terminator", Record(0, 0, Dword(4) + testkit::Utf16(u"AB"), 1, 2, folder),
         "the auxiliary folder does not end in a 0x0000 character."},
        {"inner 0x0000", Record(0, 0, Dword(10) + testkit::Utf16({u"/t\0x\0", 5}), 1, 2, folder),
         "the auxiliary folder has a 0x0000 after 2 characters;"},
        {"log folder missing", Record(0, 0, empty, 1, 2, Counted(pal::FromUtf8(missing))),
         "the log folder '" + missing + "' does not exist."},
        {"log folder empty", Record(0, 0, empty, 1, 2, empty), "the log folder is empty."},
        // Any non-zero switch byte is on.
        {"level 0, log switch 0x80", Record(0, 0, empty, 0x80, 0, folder), "the log level is 0, not 1-4."},
        {"aux switch 7", Record(7, 0, empty, 0, 0, empty),
         "the auxiliary mode is 0, not 1 or 2; the auxiliary folder is empty."},
        {"aux mode 3, folder missing", Record(1, 3, Counted(pal::FromUtf8(missing)), 1, 2, folder),
         "the auxiliary mode is 3, not 1 or 2; the auxiliary folder '" + missing + "' does not exist."},
        {"every broken rule", Record(1, 0, empty, 1, 5, folder),
         "the auxiliary mode is 0, not 1 or 2; the auxiliary folder is empty; the log level "
         "is 5, not 1-4."},
        {"wrong type", {2, 0, 0, 0}, "the value has type REG_DWORD, not REG_BINARY.", 1, REG_DWORD},
    };
    // First no key, then a key without the value.
    for (const std::string what : {"key", "value"}) {
        const auto shown = Admin({"logging"});
        EXPECT_EQ(shown.exitCode, 1);
        EXPECT_EQ(shown.out, "logging: not configured, so the library logs nothing: there is no " + what +
                                 " HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Diagnostics" +
                                 (what == "key" ? ".\n" : "\\Configuration.\n"));
        testkit::SetValue(kLM, kDiag, u"Other", REG_DWORD, Dword(1));
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::SetValue(kLM, kDiag, u"Configuration", c.type, c.bytes);
        const auto shown = Admin({"logging"});
        EXPECT_EQ(shown.exitCode, c.exitCode);
        EXPECT_EQ(CDiagnosticsConfig().Read(), c.exitCode == 0);
        EXPECT_NE(shown.out.find(c.expected), std::string::npos) << shown.out;
        EXPECT_EQ(shown.err, "");
    }
}

// The settings commands store what the library and the simulator read, under
// their literal names, and show what is stored. A value the library ignores
// (stored here, no command given) is shown as ignored and why, with exit 1.
TEST_F(AdminTest, SettingsRoundTripOrSayWhyTheyAreIgnored)
{
    const std::string image = Write("finger.pgm", std::string("P5 2 2 255\n\x01\x02\x03\x04"));
    const std::string sim = "veskbit simulator (HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Simulator\\"
                            "veskbit):\nscanner: attached\nimages: ";
    const std::string order = "lookup order: from HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\"
                              "veskSensor\\Settings\\SensorDetectOrder\n";
    const HKEY cu = HKEY_CURRENT_USER;
    const struct {
        std::vector<std::string> args;  // the command that sets the value
        HKEY root;
        std::u16string key, name;
        DWORD type;
        Bytes data;
        std::string show;  // the command that shows the setting, and part of its output
        std::string shown;
    } cases[] = {
        {{"order", "Upek TCS3", "vesk bit", "Authtentec 2501"}, kLM, kSettings,
         u"SensorDetectOrder", REG_MULTI_SZ,
         MultiSz({u"Upek TCS3", u"vesk bit", u"Authtentec 2501"}), "order",
         order + "1.) Upek TCS3\n2.) vesk bit\n3.) Authtentec 2501\n"},
        {{"snapshots", "--folder", LogDir()}, kLM, kLib, u"veskSensorSaveBmpPath", REG_SZ,
         Sz(pal::FromUtf8(LogDir())), "snapshots", "snapshots: on, folder " + LogDir() + "\n"},
        {{"snapshots", "--off"}, kLM, kLib, u"veskSensorSaveBmp", REG_DWORD, Dword(0), "snapshots",
         "snapshots: off\n"},
        {{"tray", "OFF"}, cu, kSettings, u"UseTrayIconNotification", REG_DWORD, Dword(0), "tray",
         "tray icon: off\n"},
        {{"sim", "veskbit", "image", image}, kLM, kSim, u"ImageFile", REG_SZ, Sz(pal::FromUtf8(image)),
         "sim", sim + image + "\n"},
        {{"sim", "veskbit", "delay", "never"}, kLM, kSim, u"FingerDelayMs", REG_DWORD,
         Dword(0xFFFFFFFF), "sim", "finger: never\n"},
        {{"sim", "veskbit", "seed", "0x10"}, kLM, kSim, u"Seed", REG_DWORD, Dword(16), "sim",
         sim + "generated from seed 16\n"},
        {{"sim", "veskbit", "script", "0x1000", "open:291", "Close:0x7", "attached:0"}, kLM, kSim,
         u"Script", REG_MULTI_SZ,
         MultiSz({u"image:0x1000", u"open:0x0123", u"close:0x0007", u"attached:0x0"}), "sim",
         "script: image:0x1000 open:0x0123 close:0x0007 attached:0x0\n"},
        {{}, kLM, kSettings, u"SensorDetectOrder", REG_MULTI_SZ,
         MultiSz({u"upek tcs3", u"vesk bit", u"Authtentec 2501"}), "order",
         "'upek tcs3' is not a scanner name; it needs exactly 3 valid names and finds 2"},
        {{}, kLM, kSettings, u"SensorDetectOrder", REG_MULTI_SZ,
         MultiSz({u"Upek TCS3", u"", u"vesk bit", u"Authtentec 2501"}), "order",
         "reading stops at an empty string; it needs exactly 3 valid names and finds 1"},
        {{}, kLM, kLib, u"veskSensorSaveBmp", REG_SZ, Sz(u"1"), "snapshots",
         "is not a number: it has type REG_SZ, not REG_DWORD."},
        {{}, cu, kSettings, u"UseTrayIconNotification", REG_SZ, Sz(u"1"), "tray", "tray icon: off, because"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        if (c.args.empty()) {
            testkit::SetValue(c.root, c.key, c.name, c.type, c.data);
        } else {
            const auto set = Admin(c.args);
            ASSERT_EQ(set.exitCode, 0) << set.err;
            EXPECT_EQ(Stored(c.root, c.key, c.name), std::make_pair(c.type, c.data));
        }
        const auto shown = c.show == "sim" ? Admin({"sim", "veskbit"}) : Admin({c.show});
        EXPECT_EQ(shown.exitCode, c.args.empty() ? 1 : 0);
        EXPECT_NE(shown.out.find(c.shown), std::string::npos) << shown.out;
    }

    ASSERT_EQ(Admin({"order", "--default"}).exitCode, 0);
    EXPECT_EQ(Stored(kLM, kSettings, u"SensorDetectOrder").first, DWORD(REG_NONE));
    ASSERT_EQ(Admin({"sim", "veskbit", "reset"}).exitCode, 0);
    for (const char16_t* name : {u"Seed", u"ImageFile", u"FingerDelayMs", u"Script"})
        EXPECT_EQ(Stored(kLM, kSim, name).first, DWORD(REG_NONE));
}

// The AuthenTec simulator's own verbs and the service state its drivers ask
// the Service Control Manager for: what is written, and what is shown.
TEST_F(AdminTest, AuthentecSettingsAndServiceStates)
{
    const std::u16string afss = u"SOFTWARE\\vesk\\Simulator\\afss";
    const std::u16string service = u"SYSTEM\\CurrentControlSet\\Services\\ATService";
    const std::vector<std::string> sim = {"sim", "authentec"};
    const std::vector<std::string> state = {"service", "ATService"};
    const struct {
        std::vector<std::string> args;
        std::u16string key, name;
        DWORD type;
        Bytes data;
        std::vector<std::string> show;
        std::string shown;
    } cases[] = {
        {{"sim", "authentec", "generation", "8"}, afss, u"Generation", REG_DWORD, Dword(8), sim,
         "client generation: 8\n"},
        {{"sim", "authentec", "format", "0x3"}, afss, u"ImageFormat", REG_DWORD, Dword(3), sim, ", format 3\n"},
        {{"sim", "authentec", "versions", "8.1.2.30", "8.1.2.31"}, afss, u"ServiceVersion", REG_SZ,
         Sz(u"8.1.2.31"), sim, "versions: client library 8.1.2.30, service 8.1.2.31\n"},
        {{"sim", "authentec", "versions", "0.0.0.0"}, afss, u"ServiceVersion", REG_SZ, Sz(u"0.0.0.0"), sim,
         "versions: client library 0.0.0.0, service 0.0.0.0\n"},
        {{"sim", "authentec", "events", "12:1:1:0x2,0:0"}, afss, u"Events", REG_MULTI_SZ,
         MultiSz({u"12:1:1:2", u"0:0"}), sim, "events after the next connect: 12:1:1:2 0:0\n"},
        {{"sim", "authentec", "fault", "image-short"}, afss, u"Fault", REG_SZ, Sz(u"image-short"), sim,
         "fault: image-short\n"},
        {{"sim", "authentec", "script", "connect:5", "0x1008"}, afss, u"Script", REG_MULTI_SZ,
         MultiSz({u"connect:0x0005", u"request:0x1008"}), sim, "script: connect:0x0005 request:0x1008\n"},
        {{"sim", "authentec", "detach"}, afss, u"Sensors", REG_DWORD, Dword(0), sim, "sensors: 0\n"},
        {{"service", "ATService", "pending"}, service, u"CurrentState", REG_DWORD, Dword(2), state,
         "service ATService: pending\n"},
        {{"service", "ATService", "stopped"}, service, u"CurrentState", REG_DWORD, Dword(1), state,
         "service ATService: stopped\n"},
        {{"service", "ATService", "RUNNING"}, service, u"Type", REG_DWORD, Dword(0x10), state,
         "service ATService: running\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const auto set = Admin(c.args);
        ASSERT_EQ(set.exitCode, 0) << set.err;
        EXPECT_EQ(Stored(kLM, c.key, c.name), std::make_pair(c.type, c.data));
        const auto shown = Admin(c.show);
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        EXPECT_NE(shown.out.find(c.shown), std::string::npos) << shown.out;
    }

    testkit::SetValue(kLM, afss, u"ConnectStatus", REG_DWORD, Dword(0x1006));
    EXPECT_NE(Admin(sim).out.find("forced statuses: connect:0x00001006\n"), std::string::npos);
    ASSERT_EQ(Admin({"sim", "authentec", "reset"}).exitCode, 0);
    for (const char16_t* name : {u"Generation", u"ServiceVersion", u"Events", u"Fault", u"Script", u"ConnectStatus"})
        EXPECT_EQ(Stored(kLM, afss, name).first, DWORD(REG_NONE));
    ASSERT_EQ(Admin({"service", "ATService", "absent"}).exitCode, 0);
    EXPECT_EQ(Stored(kLM, service, u"Type").first, DWORD(REG_NONE));
    EXPECT_EQ(Admin(state).out, "service ATService: absent\n");
}

// Bad arguments and registry failures: exit 1, one line on standard error,
// nothing on standard output and nothing written. One row per distinct
// refusal path of the parser and of each command's checks.
TEST_F(AdminTest, BadArgumentsGiveOneLineAndWriteNothing)
{
    const std::string dir = LogDir();
    const std::string file = Write("plain-file", "x");
    const std::string bad = Write("bad.pgm", "P5 2 2 0\n....");
    const std::string above = Write("above.pgm", "P2 2 1 100\n5 101\n");
    const Env readOnly = {{"VESK_REGISTRY_READONLY", "HKLM"}};
    const struct {
        std::vector<std::string> args;
        std::string error;  // part of the line
        Env env = {};
    } cases[] = {
        {{}, "missing command; 'vesk-admin --help' lists the commands."},
        {{"frob"}, "unknown command 'frob';"},
        {{"logging", "--verbose"}, "unknown option '--verbose' for logging."},
        {{"logging", "extra"}, "unexpected argument 'extra'."},
        {{"logging", "--level"}, "option '--level' needs a value."},
        {{"logging", "--off=yes"}, "option '--off' takes no value."},
        {{"logging", "--level", "2", "--level=3", "--folder", dir}, "'--level' is given twice."},
        {{"logging", "--level", "warn", "--folder", dir}, "unknown level 'warn'"},
        {{"logging", "--level", "2"}, "--level needs --folder DIR."},
        {{"logging", "--off", "--level", "2"}, "--off excludes --level and --folder."},
        {{"logging", "--level", "2", "--folder", dir + "/absent"},
         "the folder '" + dir + "/absent' does not exist."},
        {{"logging", "--level", "2", "--folder", file}, "'" + file + "' is a file, not a folder."},
        {{"order", "vesk bit", "Upek TCS3"}, "give three scanner names, not 2"},
        {{"order", "upek tcs3", "vesk bit", "Authtentec 2501"},
         "unknown scanner name 'upek tcs3' (names compare exactly: did you mean 'Upek TCS3'?)"},
        {{"snapshots", "--folder", std::string(4096, 'a')}, "the folder has 4096 characters"},
        {{"tray", "maybe"}, "unknown setting 'maybe' (on or off)."},
        {{"sim", "bsapi"}, "unknown simulator 'bsapi' (veskbit, upek, atsc70 or authentec)."},
        {{"sim", "atsc70", "script", "grab:1"},
         "the call before ':' is not message, init, name, open, begin, end or create"},
        {{"sim", "veskbit", "wiggle"}, "unknown action 'wiggle'"},
        {{"sim", "veskbit", "image", "finger.pgm"}, "give the image file's full path"},
        {{"sim", "veskbit", "image", bad},
         "the image file is refused: '" + bad + "': PGM: maxval 0 is outside 1-255"},
        {{"sim", "veskbit", "image", above}, "PGM: pixel 1 is 101, above the maxval 100"},
        {{"sim", "veskbit", "image", "/dev/zero"}, "refused: '/dev/zero' is not a regular file"},
        {{"sim", "veskbit", "seed", "4294967296"}, "'4294967296' is not a seed"},
        {{"sim", "veskbit", "script", "0x1000", "open:0x10000"},
         "bad script entry 'open:0x10000': '0x10000' is not a number of 0-0xFFFF"},
        {{"sim", "veskbit", "script", "poll:1"},
         "the call before ':' is not attached, open, image or close"},
        {{"sim", "authentec", "generation", "7"}, "'7' is not a client generation (8 or 9)."},
        {{"sim", "authentec", "versions", "8.1.2"}, "'8.1.2' is not a version (A.B.C.D"},
        {{"sim", "authentec", "versions", "1.2.3.4", "1.2.3.x"}, "'1.2.3.x' is not a version"},
        {{"sim", "authentec", "events", "1:0,12"}, "bad event '12': an event is TYPE:CODE"},
        {{"sim", "authentec", "fault", "slow"}, "unknown fault 'slow' (none, list-count,"},
        {{"sim", "authentec", "script", "open:1"}, "the call before ':' is not startup, connect,"},
        {{"service"}, "missing service name."},
        {{"service", "Svc\\A", "running"}, "'Svc\\A' is not a service name."},
        {{"service", "ATService", "started"}, "unknown state 'started' (running, stopped, pending or absent)."},
        {{"logging", "--off"},
         "cannot write HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Diagnostics\\Configuration: access is "
         "denied (Win32 error 5).",
         readOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        testkit::ExpectOneErrorLine(Admin(c.args, c.env), 1, c.error);
        for (const char* hive : {"/HKEY_LOCAL_MACHINE.reg", "/HKEY_CURRENT_USER.reg"})
            EXPECT_FALSE(std::filesystem::exists(m_machine.RegistryDir() + hive));
    }
    EXPECT_EQ(Admin({"logging"}, readOnly).err, "") << "reading needs no write access";
}

}  // namespace
