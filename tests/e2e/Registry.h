#pragma once
// What pw_gate keeps in the registry of the test prefix: its settings under
// HKEY_CURRENT_CONFIG\ASTD, its auto-start entry, and the empty key it keeps
// under HKEY_CURRENT_USER.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace pwg::e2e {

// A REG_SZ setting under HKEY_CURRENT_CONFIG\ASTD; nullopt when absent.
std::optional<std::string> StoredSetting(const char* name);
void StoreSetting(const char* name, const std::string& value);
void RemoveSetting(const char* name);
// Removes the settings key with everything in it.
void RemoveSettings();
// The auto-start entry "pw_gate" under HKEY_LOCAL_MACHINE; nullopt when absent.
std::optional<std::string> AutoStartEntry();

struct KeyContents {
    DWORD subkeys = 0;
    DWORD values = 0;
};
// Of HKEY_CURRENT_USER\software\shutdown; nullopt when the key is missing.
std::optional<KeyContents> KeptUserKey();

// Saves what the program keeps and clears it, as on a machine where it never
// ran; puts the saved state back when it goes.
class CleanRegistry {
public:
    CleanRegistry();
    ~CleanRegistry();
    CleanRegistry(const CleanRegistry&) = delete;
    CleanRegistry& operator=(const CleanRegistry&) = delete;

private:
    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    static void Clear();
    std::optional<std::vector<Value>> settings_;
    std::optional<Value> autoStart_;
    bool keptUserKey_ = false;
};

}  // namespace pwg::e2e
