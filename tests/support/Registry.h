#pragma once
// What the program keeps in the registry of the test prefix: its settings
// under HKEY_CURRENT_CONFIG\ASTD, its auto-start entry, and the empty key it
// keeps under HKEY_CURRENT_USER. Texts are ANSI.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pwg::test {

inline constexpr char kAbsent[] = "<absent>";

// A REG_SZ setting; kAbsent when there is none.
std::string StoredSetting(const char* name);
// The stored password, unscrambled; kAbsent when there is none.
std::string StoredPassword();
// These fail the test when the registry refuses.
void StoreSetting(const char* name, const std::string& value);
void StoreDwordSetting(const char* name, DWORD value);
// A setting of any type with exactly these bytes, NULs included.
void StoreRawSetting(const char* name, DWORD type, std::string_view bytes);
// The type and every byte of a value, in this process's registry view or the
// one named (KEY_WOW64_32KEY, KEY_WOW64_64KEY); nullopt when it is missing.
std::optional<std::pair<DWORD, std::string>> StoredRaw(HKEY root, const char* path, const char* name,
                                                       REGSAM view = 0);
// Any value with exactly these bytes, in a view as above; the key is made when missing.
void PutValue(HKEY root, const char* path, const char* name, DWORD type, std::string_view bytes, REGSAM view = 0);
void RemoveValue(HKEY root, const char* path, const char* name, REGSAM view = 0);
void RemoveSetting(const char* name);
// Removes the settings key with everything in it.
void ClearStoredSettings();

// The auto-start entry "pw_gate" under HKEY_LOCAL_MACHINE, in the 32-bit
// view where every build keeps it; nullopt when absent.
inline constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\windows\\CurrentVersion\\Run";
inline constexpr REGSAM kRunView = KEY_WOW64_32KEY;
std::optional<std::string> AutoStartEntry();

// User Account Control as the system's policy has it (EnableLUA, in the
// 64-bit view where Windows keeps it; a prefix has it 0): set for the life of
// the object, then put back as it was.
class UacPolicy {
public:
    static constexpr char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    explicit UacPolicy(bool on);
    ~UacPolicy();
    UacPolicy(const UacPolicy&) = delete;
    UacPolicy& operator=(const UacPolicy&) = delete;
    void Set(bool on);
    void Forget();  // no policy at all

private:
    std::optional<std::pair<DWORD, std::string>> saved_;
};

// The program's service registered in the registry, as far as the program
// looks (its key under Services), for the life of the object.
class ServiceKey {
public:
    ServiceKey();
    ~ServiceKey();
    ServiceKey(const ServiceKey&) = delete;
    ServiceKey& operator=(const ServiceKey&) = delete;
};

// reg.exe of the system's own width (64-bit on 64-bit Windows, whatever this
// test program's): the registry as an administrator's tools see it. Its exit
// code (0 done, 1 not found or refused) and what it printed; a run past its
// bound fails the test.
struct RegToolRun {
    DWORD exitCode = ~0u;
    std::string output;
};
RegToolRun NativeReg(const std::string& arguments);

struct KeyContents {
    DWORD subkeys = 0;
    DWORD values = 0;
    bool operator==(const KeyContents&) const = default;
};
// Of any key; nullopt when it is missing.
std::optional<KeyContents> ContentsOf(HKEY root, const char* path);
// Of HKEY_CURRENT_USER\software\shutdown.
std::optional<KeyContents> KeptUserKey();

// The settings, the auto-start entry and the kept user key removed, as on a
// machine where the program never ran.
void ClearProgramRegistry();

// Saves what the program keeps and clears it; puts the saved state back when
// it goes.
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
        std::string data;
    };
    std::optional<std::vector<Value>> settings_;
    std::optional<Value> autoStart_;
    bool keptUserKey_ = false;
};

}  // namespace pwg::test
