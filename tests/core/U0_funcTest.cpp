// Against the registry and the user locale of the test prefix. Every test
// removes the keys it touches before and after itself.
#include "core/U0_func.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <cmath>
#include <optional>

#include "app/AppState.h"
#include "app/Settings.h"
#include "common/Error.h"
#include "core/Scramble.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Registry.h"
#include "tests/support/Run.h"

namespace pwg::test {
namespace {

template <typename F>
std::string ErrorOf(F&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

long long InMs(double time) { return std::llround(time * 86400000.0); }

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { ClearProgramRegistry(); }
    void TearDown() override { ClearProgramRegistry(); }
};

TEST_F(SettingsStore, WithoutTheSectionTheDefaultsApplyAndNothingIsWritten) {
    const UsageWindow window = settings::StoredWindow();
    EXPECT_EQ(InMs(window.start), 8 * 3600000LL);
    EXPECT_EQ(InMs(window.end), 21 * 3600000LL + 30 * 60000);
    settings::Load();
    EXPECT_EQ(State().password, "739105");
    EXPECT_EQ(ReadStoredSetting("ASTD", "PSW"), std::nullopt);
    EXPECT_EQ(ContentsOf(HKEY_CURRENT_CONFIG, "ASTD"), std::nullopt);
}

TEST_F(SettingsStore, MissingValueInAnExistingSectionGivesTheDefault) {
    StoreRawSetting("OTHER", REG_SZ, std::string_view("x", 2));
    EXPECT_EQ(ReadSetting("ASTD", "BEGTIME", "08:00:00"), "08:00:00");
    settings::Load();
    EXPECT_EQ(State().windowStart.stored, std::nullopt) << "absent, not empty";
    StoreRawSetting("BEGTIME", REG_SZ, "");
    EXPECT_EQ(ReadStoredSetting("ASTD", "BEGTIME"), std::string());
}

TEST_F(SettingsStore, ReadsTextOfEachDataType) {
    struct Case { DWORD type; std::string data; std::string result; };
    const Case cases[] = {
        {REG_SZ, std::string("21:30:00\0", 9), "21:30:00"},
        {REG_SZ, std::string("AB\0CD\0", 6), "AB"},
        {REG_SZ, "no terminator", "no terminator"},
        {REG_SZ, std::string("\0", 1), ""},
        {REG_SZ, "", ""},
        {REG_EXPAND_SZ, std::string("%WINDIR%\\x\0", 11), "%WINDIR%\\x"},
        {REG_SZ, std::string("\xC9\xCF\xCE\xE7\0", 5), "\xC9\xCF\xCE\xE7"},  // 上午 in code page 936
        {REG_BINARY, "", ""},  // zero length comes before the type check
        {REG_DWORD, std::string("\x05\0\0\0", 4), "Invalid data type for 'BEGTIME'"},
        {REG_BINARY, "abc", "Invalid data type for 'BEGTIME'"},
        {REG_MULTI_SZ, std::string("a\0b\0\0", 5), "Invalid data type for 'BEGTIME'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.data.size() << " bytes");
        StoreRawSetting("BEGTIME", c.type, c.data);
        std::string text;
        try {
            text = ReadSetting("ASTD", "BEGTIME", "default");
        } catch (const Error& e) {
            text = e.what();
        }
        EXPECT_EQ(text, c.result);
    }
}

TEST_F(SettingsStore, BeginTimeStoredAsDwordFailsTheUsageWindow) {
    StoreRawSetting("BEGTIME", REG_DWORD, std::string("\x08\0\0\0", 4));
    EXPECT_EQ(ErrorOf([] { settings::StoredWindow(); }), "Invalid data type for 'BEGTIME'");
}

TEST_F(SettingsStore, EmptyEndTimeReadsEmptyAndIsNotAValidTime) {
    ASSERT_TRUE(WriteSettings({{"ASTD", "ENDTIME", ""}}));
    EXPECT_EQ(ReadSetting("ASTD", "ENDTIME", "21:30:00"), "");
    EXPECT_EQ(ErrorOf([] { settings::StoredWindow(); }), "'' is not a valid time");
}

TEST_F(SettingsStore, WritesTextAsRegSzWithItsTerminator) {
    const std::string chinese = "\xB9\xDC\xC0\xED";  // 管理 in code page 936
    ASSERT_TRUE(WriteSettings({{"ASTD", "BEGTIME", "07:15:00"}, {"ASTD", "PSW", chinese}}));
    EXPECT_EQ(StoredRaw(HKEY_CURRENT_CONFIG, "ASTD", "BEGTIME"),
              std::pair(DWORD{REG_SZ}, std::string("07:15:00\0", 9)));
    EXPECT_EQ(ReadSetting("ASTD", "PSW", ""), chinese);
    EXPECT_EQ(InMs(settings::StoredWindow().start), 7 * 3600000LL + 15 * 60000);
}

TEST_F(SettingsStore, StoredPasswordIsUnscrambled) {
    ASSERT_TRUE(WriteSettings({{"ASTD", "PSW", Scramble("s3cret", kPasswordKey)}}));
    settings::Load();
    EXPECT_EQ(State().password, "s3cret");
    const std::string scrambledDefault = ScrambledDefaultPassword();
    EXPECT_EQ(scrambledDefault.size(), 14u);
    EXPECT_EQ(Unscramble(scrambledDefault, kPasswordKey), "739105");
}

TEST_F(SettingsStore, BatchStopsAtTheFirstFailedWriteAndKeepsEarlierOnes) {
    // Records the registry itself refuses: value names are limited to 16383
    // characters, and a key path may not start with a backslash.
    const std::string overlong(16384, 'n');
    const std::pair<SettingRecord, std::string> refused[] = {
        {{"ASTD", overlong, "x"}, "Failed to set data for '" + overlong + "'"},
        {{"\\ASTD", "PSW", "x"}, "Failed to create key \\ASTD"},
    };
    for (const auto& [record, message] : refused) {
        ClearProgramRegistry();
        EXPECT_FALSE(WriteSettings({{"ASTD", "BEGTIME", "07:00:00"}, record, {"ASTD", "ENDTIME", "22:00:00"}}));
        EXPECT_EQ(ReadSetting("ASTD", "BEGTIME", "absent"), "07:00:00");
        EXPECT_EQ(ReadSetting("ASTD", "ENDTIME", "absent"), "absent");
        EXPECT_EQ(ErrorOf([&] { WriteSetting(record); }), message);
    }
}

TEST_F(SettingsStore, EveryAccessLeavesTheUserShutdownKeyInPlaceAndEmpty) {
    ASSERT_EQ(KeptUserKey(), std::nullopt);
    ReadSetting("ASTD", "BEGTIME", "");
    EXPECT_EQ(KeptUserKey(), KeyContents{});

    RegDeleteKeyA(HKEY_CURRENT_USER, "software\\shutdown");
    ASSERT_TRUE(WriteSettings({{"ASTD", "BEGTIME", "07:00:00"}}));
    EXPECT_EQ(KeptUserKey(), KeyContents{});

    RegDeleteKeyA(HKEY_CURRENT_USER, "software\\shutdown");
    ReadSetting("ASTD", "BEGTIME", "");  // with the section present
    EXPECT_EQ(KeptUserKey(), KeyContents{});
}

// The settings key's own access list, as SDDL.
std::string AccessListOfSettings() {
    RegKey key;
    EXPECT_EQ(key.Open(HKEY_CURRENT_CONFIG, "ASTD", READ_CONTROL), ERROR_SUCCESS);
    char descriptor[1024];
    DWORD size = sizeof descriptor;
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor, &size) != ERROR_SUCCESS) return "?";
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr))
        return "?";
    const std::string list = text;
    LocalFree(text);
    return list;
}
constexpr char kAdministratorsAndSystemOnly[] = "D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)";

// The scrambled password can be undone by whoever reads it: only
// administrators and the system may, whoever made the key. (Each case runs
// in a process of its own, as the program does: a process protects the key
// at its first access.)
TEST_F(SettingsStore, TheKeyItMakesIsForAdministratorsAndTheSystemOnly) {
    ASSERT_TRUE(WriteSettings({{"ASTD", "BEGTIME", "07:00:00"}}));
    EXPECT_EQ(AccessListOfSettings(), kAdministratorsAndSystemOnly);
}

TEST_F(SettingsStore, AKeyThatWasThereIsForAdministratorsAndTheSystemOnlyFromTheFirstRead) {
    StoreSetting("BEGTIME", "07:00:00");
    ASSERT_NE(AccessListOfSettings(), kAdministratorsAndSystemOnly) << "the hive's own list, inherited";
    ReadSetting("ASTD", "BEGTIME", "");
    EXPECT_EQ(AccessListOfSettings(), kAdministratorsAndSystemOnly);
}

// This thread as a user without the Administrators group (in a token that
// keeps it for denying only), until it goes.
class WithoutAdministrators {
public:
    WithoutAdministrators() {
        const Handle user = TokenWithoutAdministrators();
        HANDLE impersonation = nullptr;
        EXPECT_TRUE(DuplicateToken(user.get(), SecurityImpersonation, &impersonation));
        EXPECT_TRUE(SetThreadToken(nullptr, impersonation));
        CloseHandle(impersonation);
    }
    ~WithoutAdministrators() { RevertToSelf(); }
};

TEST_F(SettingsStore, AReaderWithoutTheAdministratorsGroupIsRefusedAndNoDefaultStandsIn) {
    ASSERT_TRUE(WriteSettings({{"ASTD", "PSW", Scramble("s3cret", kPasswordKey)}}));
    const WithoutAdministrators user;
    RegKey key;
    EXPECT_EQ(key.Open(HKEY_CURRENT_CONFIG, "ASTD", KEY_QUERY_VALUE), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ErrorOf([] { ReadSetting("ASTD", "PSW", "default"); }), "Failed to get data for 'PSW'");
}

TEST_F(SettingsStore, AutoStartEntryIsThisProgramsFullPath) {
    char path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(length, 0u);
    // A stale entry is replaced.
    PutValue(HKEY_LOCAL_MACHINE, kRunKey, kAutoStartValue, REG_SZ, std::string_view("C:\\old.exe", 11), kRunView);
    RegisterAutoStart();
    EXPECT_EQ(StoredRaw(HKEY_LOCAL_MACHINE, kRunKey, kAutoStartValue, kRunView),
              std::pair(DWORD{REG_SZ}, std::string(path, length + 1)));
}

// Whatever this build's width, the program and an administrator's 64-bit
// tools (reg.exe, regedit) meet in the same keys: the settings and the kept
// user key are one key for both views, the Run entry is in the 32-bit view
// (WOW6432Node) and only there.
TEST_F(SettingsStore, ItsKeysAreWhereAnAdministratorsToolsLook) {
    ASSERT_EQ(NativeReg("add HKCC\\ASTD /v BEGTIME /d 07:15:00 /f").exitCode, 0u);
    EXPECT_EQ(InMs(settings::StoredWindow().start), (7 * 60 + 15) * 60000LL);
    ASSERT_TRUE(WriteSettings({{"ASTD", "ENDTIME", "20:45:00"}}));
    EXPECT_NE(NativeReg("query HKCC\\ASTD /v ENDTIME").output.find("20:45:00"), std::string::npos);
    EXPECT_EQ(NativeReg("query HKCU\\software\\shutdown").exitCode, 0u);

    RegisterAutoStart();
    const std::string path = StoredRaw(HKEY_LOCAL_MACHINE, kRunKey, kAutoStartValue, kRunView).value().second.c_str();
    const RegToolRun wow =
        NativeReg("query HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run /v pw_gate");
    EXPECT_NE(wow.output.find(path), std::string::npos) << wow.output;
    EXPECT_NE(NativeReg("query HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run /v pw_gate").exitCode, 0u)
        << "an entry in the 64-bit view too";
}

// The user locale of the prefix, changed through the regional settings and put back.
class LocaleTimeText : public ::testing::Test {
protected:
    void SetUp() override {
        for (Saved& s : saved_) s.text = Get(s.type);
        RefreshTimeFormat();
    }
    void TearDown() override {
        for (const Saved& s : saved_) EXPECT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, s.type, s.text.c_str()));
        RefreshTimeFormat();
    }

    static std::string Get(LCTYPE type) {
        char text[128] = {};
        EXPECT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof text), 0);
        return text;
    }

private:
    struct Saved { LCTYPE type; std::string text; };
    // The long time format first: setting it also rewrites the separator.
    Saved saved_[4] = {{LOCALE_STIMEFORMAT, {}}, {LOCALE_STIME, {}}, {LOCALE_S1159, {}}, {LOCALE_S2359, {}}};
};

TEST_F(LocaleTimeText, RoundTripsInTheUserLocale) {
    for (long long s = 0; s < 86400; s += 37) {
        const std::string text = TimeToText(s / 86400.0);
        ASSERT_EQ(InMs(TextToTime(text)), s * 1000) << text;
    }
    // In the prefix's Chinese locale the stored defaults read as they are.
    EXPECT_EQ(InMs(TextToTime("08:00:00")), 8 * 3600000LL);
    EXPECT_EQ(InMs(TextToTime("21:30:00")), 21 * 3600000LL + 30 * 60000);
}

TEST_F(LocaleTimeText, FollowsTheLocaleItWasLastRefreshedFrom) {
    const std::string before = TimeToText(21.5 / 24);
    ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, "tt h.mm.ss"));
    ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_S2359, "\xCF\xC2\xCE\xE7"));  // 下午
    EXPECT_EQ(TimeToText(21.5 / 24), before);

    RefreshTimeFormat();
    EXPECT_EQ(TimeToText(21.5 / 24), "\xCF\xC2\xCE\xE7 9.30.00");
    EXPECT_EQ(InMs(TextToTime("\xCF\xC2\xCE\xE7 9.30")), 21 * 3600000LL + 30 * 60000);
    EXPECT_EQ(InMs(TextToTime("9.30.00 pm")), 21 * 3600000LL + 30 * 60000);
}

// The program runs under an administrator's account and, started by its
// service, under SYSTEM's, each with its own user locale: what one wrote,
// the other reads.
TEST_F(LocaleTimeText, ReadsWhatAnotherAccountsLocaleWrote) {
    struct Locale { const char* format; const char* am; const char* pm; };
    const Locale chinese{"H:mm:ss", "\xC9\xCF\xCE\xE7", "\xCF\xC2\xCE\xE7"};  // 上午, 下午
    struct Row { const char* what; Locale writer, reader; };
    const Row rows[] = {
        {"Japanese designators", {"tt h:mm:ss", "\xCE\xE7\xC7\xB0", "\xCE\xE7\xE1\xE1"}, chinese},  // 午前, 午後
        {"dots", {"H.mm.ss", "AM", "PM"}, chinese},
        {"colons where dots are the rule", chinese, {"tt h.mm.ss", "AM", "PM"}},
    };
    auto use = [](const Locale& locale) {
        // The long time format first: setting it also rewrites the separator.
        ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, locale.format));
        ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_S1159, locale.am));
        ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_S2359, locale.pm));
        RefreshTimeFormat();
    };
    for (const Row& row : rows) {
        use(row.writer);
        const std::string written = TimeToText(21.5 / 24);
        use(row.reader);
        EXPECT_EQ(InMs(TextToTime(written)), 21 * 3600000LL + 30 * 60000) << row.what << ": " << written;
    }
}

TEST(Privilege, UnknownNameIsRefused) { EXPECT_FALSE(EnablePrivilege("SeNoSuchPrivilege", true)); }

TEST(Privilege, ShutdownPrivilegeGoesOnAndOff) {
    EXPECT_TRUE(EnablePrivilege("SeShutdownPrivilege", true));
    EXPECT_TRUE(ShutdownPrivilegeEnabled());
    EXPECT_TRUE(EnablePrivilege("SeShutdownPrivilege", false));
    EXPECT_FALSE(ShutdownPrivilegeEnabled());
}

TEST(Shutdown, TimedShutdownIsAskedWithThePrivilegeOn) {
    const ShutdownRecorder recorder;
    EnablePrivilege("SeShutdownPrivilege", false);
    const std::string message = "\xCF\xB5\xCD\xB3\xBD\xAB\xD2\xAA\xB9\xD8\xBB\xFA\xA3\xA1";  // 系统将要关机！
    EXPECT_TRUE(InitiateLocalShutdown("PC-7", message.c_str(), 5, true, false));
    EXPECT_TRUE(ShutdownRecorder::privilegeHeld);
    ShutdownRecorder::shutdownResult = FALSE;
    EXPECT_FALSE(InitiateLocalShutdown("PC-7", "", 30, false, true));
    // And never the power-off request.
    EXPECT_EQ(ShutdownRecorder::calls, (std::vector<std::string>{"InitiateSystemShutdown PC-7 " + message + " 5 1 0",
                                                                 "InitiateSystemShutdown PC-7  30 0 1"}));
}

}  // namespace
}  // namespace pwg::test
