#pragma once
// Shared functions: the registry-backed settings, the auto-start entry, the
// time-of-day text of the user's locale, and the privilege and shutdown calls.
// UI thread only. Texts are in the ANSI code page.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/TimeText.h"

namespace pwg {

// Settings live under HKEY_CURRENT_CONFIG\ASTD as REG_SZ text (one key for
// 32-bit and 64-bit programs alike: that hive is not redirected).
inline constexpr std::string_view kSettingsSection = "ASTD";
inline constexpr std::string_view kPasswordValue = "PSW";
inline constexpr std::string_view kBeginTimeValue = "BEGTIME";
inline constexpr std::string_view kEndTimeValue = "ENDTIME";
inline constexpr std::string_view kDefaultBeginTime = "08:00:00";
inline constexpr std::string_view kDefaultEndTime = "21:30:00";
// Kept so that the lock, and the time it is judged by, survive a restart: the
// lock flag ("1" or "0"), the time zone the usage window was confirmed in
// (Windows' name for it), and the last time the network told (UTC).
inline constexpr std::string_view kLockValue = "LOCKED";
inline constexpr std::string_view kTimeZoneValue = "TIMEZONE";
inline constexpr std::string_view kNetworkTimeValue = "NETTIME";

// The program's entry among those Windows starts at log-on (HKEY_LOCAL_MACHINE),
// in the 32-bit registry view: on 64-bit Windows that is
// SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Run, where the 32-bit
// program has always kept it, and Windows starts the entries of both views.
// Named rather than inherited, so that every build, the 64-bit one too, keeps
// one entry in one place: two would start two instances.
inline constexpr char kAutoStartKey[] = "SOFTWARE\\Microsoft\\windows\\CurrentVersion\\Run";
inline constexpr char kAutoStartValue[] = "pw_gate";
inline constexpr REGSAM kAutoStartView = KEY_WOW64_32KEY;
// Opened (and so kept in existence) under HKEY_CURRENT_USER by every settings
// access; never holds anything. HKEY_CURRENT_USER\Software is one key for
// both views.
inline constexpr char kKeptUserKey[] = "software\\shutdown";

// One value to store: section key, value name, value text.
struct SettingRecord {
    std::string section, name, value;
};

// The text of a value under HKEY_CURRENT_CONFIG\section, up to its first NUL;
// the default when the key or the value is missing, "" for a zero-length value.
// Throws pwg::Error "Invalid data type for '<name>'" for anything but REG_SZ
// and REG_EXPAND_SZ (not expanded), "Failed to get data for '<name>'" for any
// other failure, a key that may not be opened included: a refusal is no
// reason to fall back to the defaults (the factory password among them).
//
// The section's key is given an access list of its own (SYSTEM and
// Administrators only, nothing inherited) the first time a process opens or
// makes it: under HKEY_CURRENT_CONFIG it would inherit the read access that
// Windows gives every user there, and the scrambled password can be undone.
std::string ReadSetting(std::string_view section, std::string_view name, std::string_view defaultValue);
// The same without a default: nothing when the key or the value is missing.
std::optional<std::string> ReadStoredSetting(std::string_view section, std::string_view name);

// Stores one value as REG_SZ, creating its section key when missing. Throws
// pwg::Error "Failed to create key <section>", "Failed to set data for '<name>'".
void WriteSetting(const SettingRecord& record);

// Stores the records in order and stops at the first failure; those already
// written stay. True when all were written.
bool WriteSettings(const std::vector<SettingRecord>& batch);

// This program's file, as Windows names it.
std::string ProgramPath();

// Whether the log-on task should start the program at `path`: while User
// Account Control is on (without it the Run entry does), where the program's
// service is not installed (it starts the program in every session), and
// from a safe place (from one that others may change, an elevated start
// would run their code).
bool LogonTaskWanted(const std::string& path);

// Points the auto-start entry at the program's file; throws pwg::Error
// "Failed to set data for 'pw_gate'" when it cannot. Then registers the
// log-on task where it is wanted, as best it can. Returns, never throws,
// what the administrator is to be told: that the place is unsafe (install
// the program properly), or the task's failure (what RegisterLogonTask
// throws); the task never stops the start-up, the enforcement or the exit.
std::optional<std::string> RegisterAutoStart(const std::string& path = ProgramPath());
// Removes a log-on task where none is wanted (one left from before), quietly:
// a Task Scheduler out of reach starts no task either. The exit sequence
// calls it, so the resident program does not load COM for it at start-up.
void RemoveUnwantedLogonTask(const std::string& path = ProgramPath());

// Scramble of the factory-default password: a new seed on each call.
std::string ScrambledDefaultPassword();

// What a stored setting of this run knows of the store: whether the setting
// is in force, loaded at start-up or set since (a start-up that failed
// before it leaves it out, and leaving does not write it then); and the
// stored text it was read from or last written as (nothing: absent, its
// default applies).
struct StoredState {
    bool known = false;
    std::optional<std::string> stored;
};

// A stored setting in force. It reads as its value, and a value given to it
// is in force.
template <class T>
struct InForce : StoredState {
    T value{};

    operator const T&() const { return value; }
    InForce& operator=(T given) {
        value = std::move(given);
        known = true;
        return *this;
    }
    friend bool operator==(const InForce& setting, const T& other) { return setting.value == other; }
};

// The usage window: start and end as times of day.
struct UsageWindow {
    double start = 0;
    double end = 0;
};

// The user locale's time settings are read on first use and kept; this
// reads them again: call when Windows announces new regional settings.
void RefreshTimeFormat();
// Time-of-day text in the user locale's long time format, and back.
std::string TimeToText(double time);
double TextToTime(std::string_view text);

// Switches one privilege of the process token on or off; true when the
// token accepted the change.
bool EnablePrivilege(const char* name, bool enable);

// Enables the shutdown privilege and asks for a timed shutdown of the named
// computer, showing the message during the timeout.
bool InitiateLocalShutdown(const char* computer, const char* message, DWORD timeoutSecs, bool forceAppsClosed,
                           bool reboot);

}  // namespace pwg
