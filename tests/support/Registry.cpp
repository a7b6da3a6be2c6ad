#include "tests/support/Registry.h"

#include <gtest/gtest.h>

#include "common/Handles.h"
#include "core/Scramble.h"
#include "tests/support/Run.h"
#include "tests/support/Wait.h"

namespace pwg::test {
namespace {

// Where the program keeps things, said here independently of the program.
constexpr char kSettingsKey[] = "ASTD";
constexpr char kRunValue[] = "pw_gate";
constexpr char kUserKey[] = "software\\shutdown";

}  // namespace

void PutValue(HKEY root, const char* path, const char* name, DWORD type, std::string_view bytes, REGSAM view) {
    RegKey key;
    ASSERT_EQ(key.Create(root, path, KEY_SET_VALUE | view), ERROR_SUCCESS) << path;
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS)
        << name;
}

void RemoveValue(HKEY root, const char* path, const char* name, REGSAM view) {
    RegKey key;
    if (key.Open(root, path, KEY_SET_VALUE | view) == ERROR_SUCCESS) RegDeleteValueA(key.get(), name);
}

std::string StoredSetting(const char* name) {
    char buffer[2048];
    DWORD size = sizeof buffer;
    if (RegGetValueA(HKEY_CURRENT_CONFIG, kSettingsKey, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return kAbsent;
    return buffer;
}

std::string StoredPassword() {
    const std::string scrambled = StoredSetting("PSW");
    return scrambled == kAbsent ? scrambled : Unscramble(scrambled, kPasswordKey);
}

void StoreSetting(const char* name, const std::string& value) {
    StoreRawSetting(name, REG_SZ, std::string_view(value.c_str(), value.size() + 1));
    ASSERT_EQ(StoredSetting(name), value) << "read back at once";
}

void StoreDwordSetting(const char* name, DWORD value) {
    StoreRawSetting(name, REG_DWORD, std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
}

void StoreRawSetting(const char* name, DWORD type, std::string_view bytes) {
    PutValue(HKEY_CURRENT_CONFIG, kSettingsKey, name, type, bytes);
}

std::optional<std::pair<DWORD, std::string>> StoredRaw(HKEY root, const char* path, const char* name,
                                                       REGSAM view) {
    RegKey key;
    DWORD type = 0, size = 0;
    if (key.Open(root, path, KEY_QUERY_VALUE | view) != ERROR_SUCCESS ||
        RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::string data(size, '\0');
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return std::pair{type, std::move(data)};
}

void RemoveSetting(const char* name) { RegDeleteKeyValueA(HKEY_CURRENT_CONFIG, kSettingsKey, name); }

void ClearStoredSettings() {
    RegDeleteTreeA(HKEY_CURRENT_CONFIG, kSettingsKey);
    RegDeleteKeyA(HKEY_CURRENT_CONFIG, kSettingsKey);
}

std::optional<std::string> AutoStartEntry() {
    const auto raw = StoredRaw(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, kRunView);
    if (!raw || raw->first != REG_SZ) return std::nullopt;
    return std::string(raw->second.c_str());
}

UacPolicy::UacPolicy(bool on) : saved_(StoredRaw(HKEY_LOCAL_MACHINE, kKey, "EnableLUA", KEY_WOW64_64KEY)) { Set(on); }

UacPolicy::~UacPolicy() {
    if (saved_)
        PutValue(HKEY_LOCAL_MACHINE, kKey, "EnableLUA", saved_->first, saved_->second, KEY_WOW64_64KEY);
    else
        Forget();
}

void UacPolicy::Set(bool on) {
    const DWORD value = on;
    PutValue(HKEY_LOCAL_MACHINE, kKey, "EnableLUA", REG_DWORD,
             std::string_view(reinterpret_cast<const char*>(&value), sizeof value), KEY_WOW64_64KEY);
}

void UacPolicy::Forget() { RemoveValue(HKEY_LOCAL_MACHINE, kKey, "EnableLUA", KEY_WOW64_64KEY); }

namespace {
constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\pw_gate_svc";
}  // namespace

ServiceKey::ServiceKey() { EXPECT_EQ(RegKey().Create(HKEY_LOCAL_MACHINE, kServiceKey, KEY_READ), ERROR_SUCCESS); }

ServiceKey::~ServiceKey() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kServiceKey);
}

RegToolRun NativeReg(const std::string& arguments) {
    char windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    // A 32-bit process on 64-bit Windows reaches the native system folder as Sysnative.
    const std::string exe = std::string(windows, length) + (wow64 ? "\\Sysnative" : "\\System32") + "\\reg.exe";
    const ProgramRun run = RunToEnd(exe, arguments, kWaitMs * 2);
    return {run.exitCode, run.output};
}

std::optional<KeyContents> ContentsOf(HKEY root, const char* path) {
    RegKey key;
    KeyContents contents;
    if (key.Open(root, path, KEY_READ) != ERROR_SUCCESS ||
        RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &contents.subkeys, nullptr, nullptr, &contents.values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    return contents;
}

std::optional<KeyContents> KeptUserKey() { return ContentsOf(HKEY_CURRENT_USER, kUserKey); }

void ClearProgramRegistry() {
    ClearStoredSettings();
    // Both views: the program writes the 32-bit one, and any entry in the
    // 64-bit one would start a program at the next log-on too.
    RemoveValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, KEY_WOW64_32KEY);
    RemoveValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, KEY_WOW64_64KEY);
    RegDeleteTreeA(HKEY_CURRENT_USER, kUserKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kUserKey);
}

// ---------------------------------------------------------------------------

CleanRegistry::CleanRegistry() {
    RegKey key;
    if (key.Open(HKEY_CURRENT_CONFIG, kSettingsKey, KEY_READ) == ERROR_SUCCESS) {
        settings_.emplace();
        std::vector<char> name(16384);  // the longest value name and its NUL
        for (DWORD i = 0;; ++i) {
            DWORD size = static_cast<DWORD>(name.size());
            if (RegEnumValueA(key.get(), i, name.data(), &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (auto raw = StoredRaw(HKEY_CURRENT_CONFIG, kSettingsKey, name.data()))
                settings_->push_back({name.data(), raw->first, std::move(raw->second)});
        }
    }
    if (auto raw = StoredRaw(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, kRunView))
        autoStart_ = Value{kRunValue, raw->first, std::move(raw->second)};
    keptUserKey_ = KeptUserKey().has_value();
    ClearProgramRegistry();
}

CleanRegistry::~CleanRegistry() {
    ClearProgramRegistry();
    if (settings_) {
        RegKey key;
        key.Create(HKEY_CURRENT_CONFIG, kSettingsKey, KEY_SET_VALUE);
        for (const Value& v : *settings_) PutValue(HKEY_CURRENT_CONFIG, kSettingsKey, v.name.c_str(), v.type, v.data);
    }
    if (autoStart_) PutValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, autoStart_->type, autoStart_->data, kRunView);
    if (keptUserKey_) RegKey().Create(HKEY_CURRENT_USER, kUserKey, KEY_READ);
}

}  // namespace pwg::test
