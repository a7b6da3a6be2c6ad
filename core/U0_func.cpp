#include "core/U0_func.h"

#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/Error.h"
#include "common/Handles.h"
#include "common/OsCalls.h"
#include "common/Ansi.h"
#include "core/Instance.h"
#include "core/LogonTask.h"
#include "core/Place.h"
#include "core/Scramble.h"

namespace pwg {

namespace {

// Kept in existence by every settings access; a failure here is no reason to
// fail the access itself.
void TouchKeptUserKey() {
    RegKey kept;
    kept.Create(HKEY_CURRENT_USER, kKeptUserKey, KEY_ALL_ACCESS);
}

// SYSTEM and Administrators, full access, for the key and what it may hold;
// protected, so nothing of the hive's own list is inherited.
constexpr char kSettingsAccess[] = "D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)";

// On the first open of the section's key in a process, and whenever it is
// made. A list that cannot be set is no reason to fail the access: the key
// keeps the list it had, as before.
void Protect(HKEY section, bool created = false) {
    static bool done = false;
    if (done && !created) return;
    done = true;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kSettingsAccess, SDDL_REVISION_1, &descriptor, nullptr))
        return;
    RegSetKeySecurity(section, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
}

std::string ModulePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        // A full buffer means the path may have been cut short.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string LocaleText(LCTYPE type, const std::string& fallback) {
    char text[128];
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof text) > 0 ? std::string(text) : fallback;
}

bool LocaleFlag(LCTYPE type, bool fallback) {
    char text[8];
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof text) > 0 ? text[0] == '1' : fallback;
}

TimeFormat ReadLocaleTimeFormat() {
    TimeFormat format;
    format.twentyFourHour = LocaleFlag(LOCALE_ITIME, format.twentyFourHour);
    format.hourLeadingZero = LocaleFlag(LOCALE_ITLZERO, format.hourLeadingZero);
    format.timeSeparator = LocaleText(LOCALE_STIME, format.timeSeparator);
    format.amDesignator = LocaleText(LOCALE_S1159, format.amDesignator);
    format.pmDesignator = LocaleText(LOCALE_S2359, format.pmDesignator);
    format.designatorBeforeHour = LocaleFlag(LOCALE_ITIMEMARKPOSN, format.designatorBeforeHour);
    format.decimalSeparator = LocaleText(LOCALE_SDECIMAL, format.decimalSeparator);
    for (unsigned byte = 0x80; byte < 0x100; ++byte)
        if (IsDBCSLeadByte(static_cast<BYTE>(byte))) format.leadBytes.set(byte);
    return format;
}

TimeFormat& CachedTimeFormat() {
    static TimeFormat format = ReadLocaleTimeFormat();
    return format;
}

// The designators and time separators of every locale of this machine, as
// they stand without a user's changes; read once, when a text first fails
// the user locale's format.
struct OtherLocales {
    std::vector<std::string> am, pm, separators;
};

void AddOnce(std::vector<std::string>& texts, const std::string& text) {
    if (!text.empty() && std::find(texts.begin(), texts.end(), text) == texts.end()) texts.push_back(text);
}

// EnumSystemLocalesA passes its callback no context: the one being filled.
OtherLocales* g_filling = nullptr;

BOOL CALLBACK AddLocale(LPSTR id) {
    const LCID locale = std::strtoul(id, nullptr, 16);
    auto read = [locale](LCTYPE type) {
        char text[128];
        // In this system's code page, as the texts are stored, not in the locale's own.
        return GetLocaleInfoA(locale, type | LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP, text, sizeof text) > 0
                   ? std::string(text)
                   : std::string();
    };
    // Nothing may unwind through Windows: a locale that cannot be noted ends the walk.
    try {
        AddOnce(g_filling->am, read(LOCALE_S1159));
        AddOnce(g_filling->pm, read(LOCALE_S2359));
        AddOnce(g_filling->separators, read(LOCALE_STIME));
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}

const OtherLocales& MachineLocales() {
    static const OtherLocales locales = [] {
        OtherLocales found;
        g_filling = &found;
        EnumSystemLocalesA(AddLocale, LCID_INSTALLED);
        g_filling = nullptr;
        // The longest first, so that no text is taken for a shorter one it begins with.
        for (auto* texts : {&found.am, &found.pm, &found.separators})
            std::stable_sort(texts->begin(), texts->end(),
                             [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
        return found;
    }();
    return locales;
}

}  // namespace

std::string ReadSetting(std::string_view section, std::string_view name, std::string_view defaultValue) {
    return ReadStoredSetting(section, name).value_or(std::string(defaultValue));
}

std::optional<std::string> ReadStoredSetting(std::string_view section, std::string_view name) {
    TouchKeptUserKey();
    RegKey key;
    LSTATUS status = key.Open(HKEY_CURRENT_CONFIG, std::string(section).c_str(), KEY_ALL_ACCESS);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (status != ERROR_SUCCESS) throw Error(MessageWith("Failed to get data for '%s'", name));
    Protect(key.get());

    const std::string valueName(name);
    DWORD type = 0, size = 0;
    status = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (status != ERROR_SUCCESS) throw Error(MessageWith("Failed to get data for '%s'", name));
    if (size == 0) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw Error(MessageWith("Invalid data type for '%s'", name));

    std::string data;
    do {  // again if the value grew between the two queries
        data.resize(size);
        status = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    } while (status == ERROR_MORE_DATA);
    if (status != ERROR_SUCCESS) throw Error(MessageWith("Failed to get data for '%s'", name));
    data.resize(strnlen(data.data(), std::min<size_t>(size, data.size())));
    return data;
}

void WriteSetting(const SettingRecord& record) {
    TouchKeptUserKey();
    RegKey key;
    bool created = false;
    if (key.Create(HKEY_CURRENT_CONFIG, record.section.c_str(), KEY_ALL_ACCESS, &created) != ERROR_SUCCESS)
        throw Error(MessageWith("Failed to create key %s", record.section));
    Protect(key.get(), created);
    if (RegSetValueExA(key.get(), record.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(record.value.c_str()),
                       static_cast<DWORD>(record.value.size() + 1)) != ERROR_SUCCESS)
        throw Error(MessageWith("Failed to set data for '%s'", record.name));
}

bool WriteSettings(const std::vector<SettingRecord>& batch) {
    try {
        for (const SettingRecord& record : batch) WriteSetting(record);
        return true;
    } catch (const Error&) {
        // Callers carry on with what they hold in memory; the next save tries again.
        return false;
    }
}

std::string ProgramPath() { return ModulePath(); }

bool LogonTaskWanted(const std::string& path) {
    return UserAccountControlOn() && !ServiceInstalled() && !UnsafePlace(path);
}

std::optional<std::string> RegisterAutoStart(const std::string& path) {
    RegKey run;
    if (path.empty() ||
        run.Create(HKEY_LOCAL_MACHINE, kAutoStartKey, KEY_ALL_ACCESS | kAutoStartView) != ERROR_SUCCESS ||
        RegSetValueExA(run.get(), kAutoStartValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>(path.size() + 1)) != ERROR_SUCCESS)
        throw Error(MessageWith("Failed to set data for '%s'", kAutoStartValue));
    if (const std::optional<std::string> unsafe = UnsafePlace(path))
        return MessageWith(ToAnsi("本程序所在的位置不安全（%s）：管理员以外的用户可以替换这里的文件，所以它不会在登录时"
                                  "以管理员权限启动。请用安装程序把它安装到 Program Files").c_str(),
                           *unsafe);
    // Under User Account Control the Run entry never starts a program that
    // requires elevation, and the task does; without it the Run entry does
    // (and RemoveUnwantedLogonTask takes the task away at exit). The task
    // is an addition to the Run entry: without it the program is no worse
    // off than before, so its failure is only told.
    if (!LogonTaskWanted(path)) return std::nullopt;
    try {
        RegisterLogonTask(path);
    } catch (const std::exception& e) {
        return e.what();
    }
    return std::nullopt;
}

void RemoveUnwantedLogonTask(const std::string& path) {
    if (LogonTaskWanted(path)) return;
    try {
        RemoveLogonTask();
    } catch (const Error&) {
    }
}

std::string ScrambledDefaultPassword() { return Scramble(kDefaultPassword, kPasswordKey); }

void RefreshTimeFormat() { CachedTimeFormat() = ReadLocaleTimeFormat(); }

std::string TimeToText(double time) { return TimeToText(time, CachedTimeFormat()); }

double TextToTime(std::string_view text) {
    try {
        return TextToTime(text, CachedTimeFormat());
    } catch (const Error&) {
        // Perhaps written under another account, in its locale's format.
        TimeFormat lenient = CachedTimeFormat();
        const OtherLocales& other = MachineLocales();
        lenient.otherAmDesignators = other.am;
        lenient.otherPmDesignators = other.pm;
        lenient.otherTimeSeparators = other.separators;
        return TextToTime(text, lenient);
    }
}

bool EnablePrivilege(const char* name, bool enable) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) return false;
    const Handle token(rawToken);

    TOKEN_PRIVILEGES newState{1, {}};
    if (!LookupPrivilegeValueA(nullptr, name, &newState.Privileges[0].Luid)) return false;
    newState.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    TOKEN_PRIVILEGES previousState{};
    DWORD previousLength = sizeof previousState;
    return AdjustTokenPrivileges(token.get(), FALSE, &newState, sizeof newState, &previousState,
                                 &previousLength) != 0;
}

bool InitiateLocalShutdown(const char* computer, const char* message, DWORD timeoutSecs, bool forceAppsClosed,
                           bool reboot) {
    EnablePrivilege("SeShutdownPrivilege", true);
    // The ANSI entry point takes non-const texts but does not write to them.
    return osCalls.initiateSystemShutdown(const_cast<char*>(computer), const_cast<char*>(message), timeoutSecs,
                                          forceAppsClosed, reboot) != 0;
}

}  // namespace pwg
