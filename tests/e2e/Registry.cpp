#include "tests/e2e/Registry.h"

namespace pwg::e2e {
namespace {

constexpr char kSettingsKey[] = "ASTD";
constexpr char kAutoStartKey[] = "SOFTWARE\\Microsoft\\windows\\CurrentVersion\\Run";
constexpr char kAutoStartValue[] = "pw_gate";
constexpr char kKeptUserKey[] = "software\\shutdown";

std::optional<std::string> ReadText(HKEY root, const char* key, const char* name) {
    char buffer[2048];
    DWORD size = sizeof buffer;
    if (RegGetValueA(root, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return std::nullopt;
    return std::string(buffer);
}

}  // namespace

std::optional<std::string> StoredSetting(const char* name) { return ReadText(HKEY_CURRENT_CONFIG, kSettingsKey, name); }

void StoreSetting(const char* name, const std::string& value) {
    RegSetKeyValueA(HKEY_CURRENT_CONFIG, kSettingsKey, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>(value.size() + 1));
}

void RemoveSetting(const char* name) { RegDeleteKeyValueA(HKEY_CURRENT_CONFIG, kSettingsKey, name); }

void RemoveSettings() {
    RegDeleteTreeA(HKEY_CURRENT_CONFIG, kSettingsKey);
    RegDeleteKeyA(HKEY_CURRENT_CONFIG, kSettingsKey);
}

std::optional<std::string> AutoStartEntry() { return ReadText(HKEY_LOCAL_MACHINE, kAutoStartKey, kAutoStartValue); }

std::optional<KeyContents> KeptUserKey() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeptUserKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    KeyContents contents;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &contents.subkeys, nullptr, nullptr, &contents.values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return contents;
}

// ---------------------------------------------------------------------------

CleanRegistry::CleanRegistry() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_CONFIG, kSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        settings_.emplace();
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD nameSize = sizeof name, type = 0, dataSize = 0;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
            Value value{name, type, std::vector<BYTE>(dataSize)};
            nameSize = sizeof name;
            RegEnumValueA(key, i, name, &nameSize, nullptr, &type, value.data.data(), &dataSize);
            settings_->push_back(std::move(value));
        }
        RegCloseKey(key);
    }
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAutoStartKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(key, kAutoStartValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            autoStart_ = Value{kAutoStartValue, type, std::vector<BYTE>(size)};
            RegQueryValueExA(key, kAutoStartValue, nullptr, &type, autoStart_->data.data(), &size);
        }
        RegCloseKey(key);
    }
    keptUserKey_ = KeptUserKey().has_value();
    Clear();
}

CleanRegistry::~CleanRegistry() {
    Clear();
    if (settings_) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_CONFIG, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            for (const Value& v : *settings_)
                RegSetValueExA(key, v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
            RegCloseKey(key);
        }
    }
    if (autoStart_)
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, kAutoStartKey, kAutoStartValue, autoStart_->type, autoStart_->data.data(),
                        static_cast<DWORD>(autoStart_->data.size()));
    if (keptUserKey_) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKeptUserKey, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) ==
            ERROR_SUCCESS)
            RegCloseKey(key);
    }
}

void CleanRegistry::Clear() {
    RemoveSettings();
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAutoStartKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, kAutoStartValue);
        RegCloseKey(key);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kKeptUserKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKeptUserKey);
}

}  // namespace pwg::e2e
