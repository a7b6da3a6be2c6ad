#include "tests/support/Files.h"

#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include "common/Handles.h"

namespace pwg::test {

std::string TempFolder() {
    char path[MAX_PATH];
    return std::string(path, GetTempPathA(MAX_PATH, path));
}

ScratchFolder::ScratchFolder(std::string path) : path_(std::move(path)) {
    RemoveFolder();
    EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_ << ": error " << GetLastError();
}

ScratchFolder::~ScratchFolder() { RemoveFolder(); }

void ScratchFolder::RemoveFolder() const {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(File("*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(File(found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

void ScratchFolder::Touch(const std::string& name) const {
    const Handle file(CreateFileA(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_NE(file.get(), INVALID_HANDLE_VALUE) << File(name);
}

void ScratchFolder::Copy(const std::string& from, const std::string& name) const {
    EXPECT_TRUE(CopyFileA(from.c_str(), File(name).c_str(), FALSE)) << from << ": error " << GetLastError();
}

namespace {

// A file's handle, null when it did not open.
Handle OpenedFile(const std::string& path, DWORD access) {
    const HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    return Handle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

}  // namespace

std::optional<std::string> FileContents(const std::string& path) {
    const Handle file = OpenedFile(path, GENERIC_READ);
    if (!file) return std::nullopt;
    std::string bytes(GetFileSize(file.get(), nullptr), '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())
        return std::nullopt;
    return bytes;
}

void AppendToFile(const std::string& path, std::string_view bytes) {
    const Handle file = OpenedFile(path, FILE_APPEND_DATA);
    DWORD written = 0;
    EXPECT_TRUE(file &&
                WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                written == bytes.size())
        << path << ": error " << GetLastError();
}

void OpenToEveryone(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    const LocalMemory owned(descriptor);
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
    ASSERT_EQ(SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, list, nullptr),
              ERROR_SUCCESS)
        << path;
}

}  // namespace pwg::test
