#pragma once
// Folders and files a test makes for a program to lie in, and removes again.
// Texts are ANSI.
#include <optional>
#include <string>
#include <string_view>

namespace pwg::test {

// This process's folder for temporary files, ending in a backslash.
std::string TempFolder();

// A folder the test makes (its parents must be there), removed with
// everything in it when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(std::string path);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }
    // An empty file of that name.
    void Touch(const std::string& name) const;
    // A copy of the file `from` under that name.
    void Copy(const std::string& from, const std::string& name) const;

private:
    void RemoveFolder() const;

    std::string path_;
};

// Every byte of a file; nullopt when it cannot be read.
std::optional<std::string> FileContents(const std::string& path);
// These bytes added at the end of the file (an executable still runs with them).
void AppendToFile(const std::string& path, std::string_view bytes);

// Gives Everyone the right to change the file or folder. Wine keeps of a file's
// access list only what its Unix permissions hold: this is the write permission
// of others.
void OpenToEveryone(const std::string& path);

}  // namespace pwg::test
