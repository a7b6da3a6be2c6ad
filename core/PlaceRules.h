#pragma once
// Whether a program may be started with more rights than its users have from
// where it lies: the rule over the owners and access lists of its files, its
// folder and the folders above, as Windows keeps them. Portable: the reader
// (core/Place.h) fills a Place from the real lists.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pwg {

// Who may change what, besides the account doing the check (which could run
// its own code anyway).
inline constexpr char kSystemSid[] = "S-1-5-18";
inline constexpr char kAdministratorsSid[] = "S-1-5-32-544";
inline constexpr char kTrustedInstallerSid[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// Access rights as a file system access list holds them.
namespace rights {
inline constexpr uint32_t kWriteData = 0x2;     // a folder: add a file
inline constexpr uint32_t kAppendData = 0x4;    // a folder: add a subfolder
inline constexpr uint32_t kDeleteChild = 0x40;  // a folder only
inline constexpr uint32_t kWriteAttributes = 0x100;
inline constexpr uint32_t kDelete = 0x10000;
inline constexpr uint32_t kWriteDac = 0x40000;
inline constexpr uint32_t kWriteOwner = 0x80000;
inline constexpr uint32_t kGenericAll = 0x10000000;
inline constexpr uint32_t kGenericWrite = 0x40000000;
}  // namespace rights

enum class EntryKind { Allow, Deny, Other };   // Other: audit, conditional deny, ...
inline constexpr uint8_t kInheritOnly = 0x08;  // the entry is for children only

struct AccessEntry {
    std::string sid;  // "S-1-..."; empty when it could not be read
    EntryKind kind = EntryKind::Allow;
    uint8_t flags = 0;
    uint32_t mask = 0;
};

struct Security {
    std::string owner;
    bool hasList = true;  // no list at all lets everyone do everything
    std::vector<AccessEntry> entries;
};

// What an object is to the program: what others may not do to it depends on it.
enum class Role {
    File,           // the program or its library: no writing, no deleting
    ProgramFolder,  // no new files or subfolders, no deleting or renaming what is in it or it
    Ancestor,       // a folder above: no renaming or deleting it or what is in it
};

struct PlaceObject {
    std::string path;
    Role role = Role::File;
    std::optional<Security> security;  // nothing: it could not be read
    unsigned readError = 0;            // why not, as the system gave it
};

inline constexpr unsigned kFixedDrive = 3;  // DRIVE_FIXED

struct Place {
    unsigned driveType = kFixedDrive;  // of the root the path lies on, as GetDriveType gives it
    std::vector<PlaceObject> objects;  // the files, their folder, then each folder above up to the root
    std::string self;                  // the SID of the account doing the check
};

enum class Hazard { NotFixedDrive, Unreadable, NoList, Owner, Grant };

struct Finding {
    Hazard hazard = Hazard::Grant;
    int object = -1;    // index into Place::objects; -1 for the drive
    std::string sid;    // the owner or the one granted
    uint32_t mask = 0;  // what is granted that must not be
    friend bool operator==(const Finding&, const Finding&) = default;
};

// The rights on an object in this role that only trusted accounts may hold.
uint32_t GuardedRights(Role role);

// The first thing that lets someone other than SYSTEM, Administrators,
// TrustedInstaller or the checking account change what the program is; nothing
// when the place is safe.
std::optional<Finding> FirstHazard(const Place& place);

// Why, in the program's language (UTF-8), naming the account as `who`.
std::string HazardText(const Finding& finding, const std::string& who);

}  // namespace pwg
