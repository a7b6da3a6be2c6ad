#pragma once
// Owns one open registry key and closes it when it goes out of scope.
#include <windows.h>

#include <utility>

namespace pwg {

class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegKey& operator=(RegKey&& other) noexcept {
        if (this != &other) {
            Close();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    ~RegKey() { Close(); }

    // Opens an existing key; the Win32 status comes back, the key stays closed on failure.
    LSTATUS Open(HKEY root, const char* path, REGSAM access) {
        Close();
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExA(root, path, 0, access, &key);
        if (status == ERROR_SUCCESS) key_ = key;
        return status;
    }
    // Opens the key, creating it (and missing parents) first when needed.
    LSTATUS Create(HKEY root, const char* path, REGSAM access) {
        Close();
        HKEY key = nullptr;
        const LSTATUS status =
            RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) key_ = key;
        return status;
    }

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

    void Close() {
        if (key_) RegCloseKey(std::exchange(key_, nullptr));
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace pwg
