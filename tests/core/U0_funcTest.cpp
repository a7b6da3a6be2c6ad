// Against the registry and the user locale of the test prefix. Every test
// removes the keys it touches before and after itself.
#include "core/U0_func.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "common/Handles.h"
#include "core/Error.h"
#include "core/Scramble.h"

namespace pwg {
namespace {

// Subkeys plus values; nullopt for a missing key.
std::optional<DWORD> EntryCount(HKEY root, const char* path) {
    RegKey key;
    DWORD subkeys = 0, values = 0;
    if (key.Open(root, path, KEY_READ) != ERROR_SUCCESS ||
        RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    return subkeys + values;
}

// Type and every byte of a value, NULs included; nullopt for a missing value.
std::optional<std::pair<DWORD, std::string>> GetRaw(HKEY root, const char* path, const char* name) {
    RegKey key;
    char data[1024];
    DWORD type = 0, size = sizeof data;
    if (key.Open(root, path, KEY_READ) != ERROR_SUCCESS ||
        RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::pair{type, std::string(data, size)};
}

void PutRaw(const char* name, DWORD type, std::string_view data) {
    RegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_CONFIG, "ASTD", KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

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
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    static void Clean() {
        RegDeleteTreeA(HKEY_CURRENT_CONFIG, "ASTD");
        RegDeleteKeyA(HKEY_CURRENT_CONFIG, "ASTD");
        RegDeleteKeyA(HKEY_CURRENT_USER, "software\\shutdown");
        RegKey run;
        if (run.Open(HKEY_LOCAL_MACHINE, kAutoStartKey, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            RegDeleteValueA(run.get(), kAutoStartValue);
    }
};

TEST_F(SettingsStore, WithoutTheSectionTheDefaultsApplyAndNothingIsWritten) {
    const UsageWindow window = ReadUsageWindow();
    EXPECT_EQ(InMs(window.start), 8 * 3600000LL);
    EXPECT_EQ(InMs(window.end), 21 * 3600000LL + 30 * 60000);
    EXPECT_EQ(ReadPassword(), "739105");
    EXPECT_EQ(ReadStoredSetting("ASTD", "PSW"), std::nullopt);
    EXPECT_EQ(EntryCount(HKEY_CURRENT_CONFIG, "ASTD"), std::nullopt);
}

TEST_F(SettingsStore, MissingValueInAnExistingSectionGivesTheDefault) {
    PutRaw("OTHER", REG_SZ, std::string_view("x", 2));
    EXPECT_EQ(ReadSetting("ASTD", "BEGTIME", "08:00:00"), "08:00:00");
    EXPECT_EQ(LoadTime("BEGTIME", "08:00:00").stored, std::nullopt) << "absent, not empty";
    PutRaw("BEGTIME", REG_SZ, "");
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
        PutRaw("BEGTIME", c.type, c.data);
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
    PutRaw("BEGTIME", REG_DWORD, std::string("\x08\0\0\0", 4));
    EXPECT_EQ(ErrorOf([] { ReadUsageWindow(); }), "Invalid data type for 'BEGTIME'");
}

TEST_F(SettingsStore, EmptyEndTimeReadsEmptyAndIsNotAValidTime) {
    ASSERT_TRUE(WriteSettings({{"ASTD", "ENDTIME", ""}}));
    EXPECT_EQ(ReadSetting("ASTD", "ENDTIME", "21:30:00"), "");
    EXPECT_EQ(ErrorOf([] { ReadUsageWindow(); }), "'' is not a valid time");
}

TEST_F(SettingsStore, WritesTextAsRegSzWithItsTerminator) {
    const std::string chinese = "\xB9\xDC\xC0\xED";  // 管理 in code page 936
    ASSERT_TRUE(WriteSettings({{"ASTD", "BEGTIME", "07:15:00"}, {"ASTD", "PSW", chinese}}));
    const auto raw = GetRaw(HKEY_CURRENT_CONFIG, "ASTD", "BEGTIME");
    ASSERT_TRUE(raw);
    EXPECT_EQ(*raw, std::pair(static_cast<DWORD>(REG_SZ), std::string("07:15:00\0", 9)));
    EXPECT_EQ(ReadSetting("ASTD", "PSW", ""), chinese);
    EXPECT_EQ(InMs(ReadUsageWindow().start), 7 * 3600000LL + 15 * 60000);
}

TEST_F(SettingsStore, StoredPasswordIsUnscrambled) {
    ASSERT_TRUE(WriteSettings({{"ASTD", "PSW", Scramble("s3cret", kPasswordKey)}}));
    EXPECT_EQ(ReadPassword(), "s3cret");
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
        Clean();
        EXPECT_FALSE(WriteSettings({{"ASTD", "BEGTIME", "07:00:00"}, record, {"ASTD", "ENDTIME", "22:00:00"}}));
        EXPECT_EQ(ReadSetting("ASTD", "BEGTIME", "absent"), "07:00:00");
        EXPECT_EQ(ReadSetting("ASTD", "ENDTIME", "absent"), "absent");
        EXPECT_EQ(ErrorOf([&] { WriteSetting(record); }), message);
    }
}

TEST_F(SettingsStore, EveryAccessLeavesTheUserShutdownKeyInPlaceAndEmpty) {
    const auto count = [] { return EntryCount(HKEY_CURRENT_USER, "software\\shutdown"); };
    ASSERT_EQ(count(), std::nullopt);
    ReadSetting("ASTD", "BEGTIME", "");
    EXPECT_EQ(count(), 0u);

    RegDeleteKeyA(HKEY_CURRENT_USER, "software\\shutdown");
    ASSERT_TRUE(WriteSettings({{"ASTD", "BEGTIME", "07:00:00"}}));
    EXPECT_EQ(count(), 0u);

    RegDeleteKeyA(HKEY_CURRENT_USER, "software\\shutdown");
    ReadSetting("ASTD", "BEGTIME", "");  // with the section present
    EXPECT_EQ(count(), 0u);
}

TEST_F(SettingsStore, AutoStartEntryIsThisProgramsFullPath) {
    char path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(length, 0u);
    {
        // A stale entry is replaced.
        RegKey run;
        ASSERT_EQ(run.Create(HKEY_LOCAL_MACHINE, kAutoStartKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(run.get(), kAutoStartValue, 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\old.exe"), 11),
                  ERROR_SUCCESS);
    }
    RegisterAutoStart();
    const auto raw = GetRaw(HKEY_LOCAL_MACHINE, kAutoStartKey, kAutoStartValue);
    ASSERT_TRUE(raw);
    EXPECT_EQ(*raw, std::pair(static_cast<DWORD>(REG_SZ), std::string(path, length + 1)));
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
    EXPECT_EQ(CurrentTimeFormat().timeSeparator, ".");
    EXPECT_EQ(TimeToText(21.5 / 24), "\xCF\xC2\xCE\xE7 9.30.00");
    EXPECT_EQ(InMs(TextToTime("\xCF\xC2\xCE\xE7 9.30")), 21 * 3600000LL + 30 * 60000);
    EXPECT_EQ(InMs(TextToTime("9.30.00 pm")), 21 * 3600000LL + 30 * 60000);
}

TEST(Privilege, UnknownNameIsRefused) { EXPECT_FALSE(EnablePrivilege("SeNoSuchPrivilege", true)); }

bool ShutdownPrivilegeEnabled() {
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    EXPECT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &set.Privilege[0].Luid));
    BOOL enabled = FALSE;
    EXPECT_TRUE(PrivilegeCheck(token, &set, &enabled));
    CloseHandle(token);
    return enabled != FALSE;
}

TEST(Privilege, ShutdownPrivilegeGoesOnAndOff) {
    EXPECT_TRUE(EnablePrivilege("SeShutdownPrivilege", true));
    EXPECT_TRUE(ShutdownPrivilegeEnabled());
    EXPECT_TRUE(EnablePrivilege("SeShutdownPrivilege", false));
    EXPECT_FALSE(ShutdownPrivilegeEnabled());
}

// Stands in for InitiateSystemShutdownA and notes what it was asked.
struct ShutdownRequest {
    std::string computer, message;
    DWORD timeout = 0;
    BOOL force = FALSE, reboot = FALSE;
    bool privilegeHeld = false;
    int calls = 0;
};
ShutdownRequest lastRequest;
BOOL answer = TRUE;

BOOL WINAPI RecordShutdown(LPSTR computer, LPSTR message, DWORD timeout, BOOL force, BOOL reboot) {
    lastRequest = {computer, message, timeout, force, reboot, ShutdownPrivilegeEnabled(), lastRequest.calls + 1};
    return answer;
}

BOOL WINAPI RefuseExitWindows(UINT, DWORD) {
    ADD_FAILURE() << "ExitWindowsEx called";
    return FALSE;
}

class Shutdown : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = shutdownCalls;
        shutdownCalls = {&RefuseExitWindows, &RecordShutdown};
        lastRequest = {};
    }
    void TearDown() override { shutdownCalls = saved_; }

private:
    ShutdownCalls saved_;
};

TEST_F(Shutdown, TimedShutdownIsAskedWithThePrivilegeOn) {
    EnablePrivilege("SeShutdownPrivilege", false);
    const std::string message = "\xCF\xB5\xCD\xB3\xBD\xAB\xD2\xAA\xB9\xD8\xBB\xFA\xA3\xA1";  // 系统将要关机！
    answer = TRUE;
    EXPECT_TRUE(InitiateLocalShutdown("PC-7", message.c_str(), 5, true, false));
    EXPECT_EQ(lastRequest.calls, 1);
    EXPECT_EQ(lastRequest.computer, "PC-7");
    EXPECT_EQ(lastRequest.message, message);
    EXPECT_EQ(lastRequest.timeout, 5u);
    EXPECT_TRUE(lastRequest.force);
    EXPECT_FALSE(lastRequest.reboot);
    EXPECT_TRUE(lastRequest.privilegeHeld);

    answer = FALSE;
    EXPECT_FALSE(InitiateLocalShutdown("PC-7", "", 30, false, true));
    EXPECT_TRUE(lastRequest.reboot);
}

}  // namespace
}  // namespace pwg
