// Whether a place is safe to start the program from, as a table of places:
// Program Files as Windows and an installer leave it, and each way the files,
// their folder or a folder above can be left open to someone else.
#include "core/PlaceRules.h"

#include <gtest/gtest.h>

#include <ostream>

#include "tests/support/Table.h"

namespace pwg {
namespace {

constexpr char kUsers[] = "S-1-5-32-545", kAuthenticated[] = "S-1-5-11", kEveryone[] = "S-1-1-0",
               kGuests[] = "S-1-5-32-546", kPackages[] = "S-1-15-2-1", kCreatorOwner[] = "S-1-3-0",
               kOwnerRights[] = "S-1-3-4", kChild[] = "S-1-5-21-7-8-9-1001";
constexpr const char* kTi = kTrustedInstallerSid;
constexpr uint32_t kFull = 0x1F01FF, kModify = 0x1301BF, kReadExecute = 0x1200A9, kReadExecuteLater = 0xA0000000,
                   kWriteOrDelete = 0xD0156, kAllGeneric = rights::kGenericAll;
constexpr uint8_t kInherited = 0x10, kBoth = 0x03, kIo = kInheritOnly, kAll = kBoth | kInherited;

AccessEntry Allow(const char* sid, uint32_t mask, uint8_t flags = 0) { return {sid, EntryKind::Allow, flags, mask}; }
AccessEntry Deny(const char* sid, uint32_t mask) { return {sid, EntryKind::Deny, 0, mask}; }
Security Owned(const char* owner, std::vector<AccessEntry> entries) { return {owner, true, std::move(entries)}; }

// The files and the folder an installer makes in Program Files (x86), and the two folders above.
constexpr int kExe = 0, kDll = 1, kFolder = 2, kProgramFiles = 3;
Place ProgramFiles() {
    const Security file = Owned(kAdministratorsSid, {Allow(kSystemSid, kFull, kInherited),
                                                     Allow(kAdministratorsSid, kFull, kInherited),
                                                     Allow(kUsers, kReadExecute, kInherited),
                                                     Allow(kPackages, kReadExecute, kInherited)});
    const Security folder = Owned(kAdministratorsSid, {
        Allow(kTi, kFull, kInherited), Allow(kSystemSid, kFull, kAll), Allow(kAdministratorsSid, kFull, kAll),
        Allow(kUsers, kReadExecute, kAll), Allow(kCreatorOwner, kFull, kAll | kIo),
        Allow(kPackages, kReadExecute, kAll)});
    const Security programFiles = Owned(kTi, {
        Allow(kTi, kFull), Allow(kTi, kAllGeneric, 0x02 | kIo),
        Allow(kSystemSid, kModify), Allow(kSystemSid, kAllGeneric, kBoth | kIo),
        Allow(kAdministratorsSid, kModify), Allow(kAdministratorsSid, kAllGeneric, kBoth | kIo),
        Allow(kUsers, kReadExecute), Allow(kUsers, kReadExecuteLater, kBoth | kIo),
        Allow(kCreatorOwner, kAllGeneric, kBoth | kIo),
        Allow(kPackages, kReadExecute), Allow(kPackages, kReadExecuteLater, kBoth | kIo)});
    // Every user may make folders at the root, and may change what he makes there.
    const Security root = Owned(kTi, {
        Allow(kAdministratorsSid, kFull, kBoth), Allow(kSystemSid, kFull, kBoth), Allow(kUsers, kReadExecute, kBoth),
        Allow(kAuthenticated, kModify, kBoth | kIo), Allow(kAuthenticated, rights::kAppendData)});
    return {kFixedDrive,
            {{"C:\\Program Files (x86)\\pw_gate\\pw_gate.exe", Role::File, file},
             {"C:\\Program Files (x86)\\pw_gate\\GetTime.dll", Role::File, file},
             {"C:\\Program Files (x86)\\pw_gate", Role::ProgramFolder, folder},
             {"C:\\Program Files (x86)", Role::Ancestor, programFiles},
             {"C:\\", Role::Ancestor, root}},
            ""};
}

// Program Files with one object's list replaced, or with entries put first in it.
Place With(int object, std::optional<Security> security) {
    Place place = ProgramFiles();
    place.objects[object].security = std::move(security);
    return place;
}
Place Adding(int object, std::vector<AccessEntry> entries) {
    Place place = ProgramFiles();
    auto& list = place.objects[object].security->entries;
    list.insert(list.begin(), entries.begin(), entries.end());
    return place;
}
// A folder made at the root of C:, whose files and folder take the root's inheritable entries.
Place AtTheRoot() {
    Place place = ProgramFiles();
    place.objects.erase(place.objects.begin() + kProgramFiles);
    for (int i : {kExe, kDll, kFolder})
        place.objects[i].security->entries.push_back(Allow(kAuthenticated, kModify, kAll));
    return place;
}
Place On(unsigned driveType) {
    Place place = ProgramFiles();
    place.driveType = driveType;
    return place;
}
// Everything owned and writable by one account.
Place CheckedBy(const char* self) {
    Place place = With(kFolder, Owned(kChild, {Allow(kChild, kFull, kBoth)}));
    place.self = self;
    return place;
}

Finding Grant(int object, const char* sid, uint32_t mask) { return {Hazard::Grant, object, sid, mask}; }
Finding Owner(int object, const char* sid) { return {Hazard::Owner, object, sid}; }

struct Row {
    const char* name;
    Place place;
    std::optional<Finding> expected;
};
std::ostream& operator<<(std::ostream& out, const Row& row) { return out << row.name; }

class PlaceTable : public ::testing::TestWithParam<Row> {};

TEST_P(PlaceTable, FindsTheFirstHazard) {
    const Row& row = GetParam();
    const std::optional<Finding> found = FirstHazard(row.place);
    EXPECT_EQ(found, row.expected) << (found ? HazardText(*found, found->sid) : "safe");
}

INSTANTIATE_TEST_SUITE_P(Places, PlaceTable, ::testing::Values(
    Row{"ProgramFilesAsInstalled", ProgramFiles(), std::nullopt},
    Row{"AFolderAtTheRootOfC", AtTheRoot(), Grant(kExe, kAuthenticated, 0x10106)},
    Row{"AFileOwnedByAUser", With(kExe, Owned(kChild, {Allow(kSystemSid, kFull)})), Owner(kExe, kChild)},
    Row{"AFolderAboveOwnedByAUser", With(kProgramFiles, Owned(kChild, {})), Owner(kProgramFiles, kChild)},
    Row{"TheCheckingAccountOwnsAndWritesAll", CheckedBy(kChild), std::nullopt},
    Row{"NoListOnTheLibrary", With(kDll, Security{kAdministratorsSid, false, {}}),
        Finding{Hazard::NoList, kDll, "", kFull}},
    Row{"AnUnreadableFolder", With(kFolder, std::nullopt), Finding{Hazard::Unreadable, kFolder}},
    Row{"ARemovableDrive", On(2), Finding{Hazard::NotFixedDrive}},
    Row{"UsersMayChangeTheProgramsAttributes", Adding(kExe, {Allow(kUsers, rights::kWriteAttributes)}),
        Grant(kExe, kUsers, rights::kWriteAttributes)},
    Row{"GenericAllOnTheLibrary", Adding(kDll, {Allow(kUsers, kAllGeneric)}), Grant(kDll, kUsers, 0xD0106)},
    Row{"UsersMayAddSubfoldersToTheProgramFolder", Adding(kFolder, {Allow(kAuthenticated, rights::kAppendData)}),
        Grant(kFolder, kAuthenticated, rights::kAppendData)},
    Row{"InheritOnlyEntriesGrantNothingHere", Adding(kFolder, {Allow(kUsers, kFull, kBoth | kIo)}), std::nullopt},
    Row{"CreatorOwnerNamesNobodyHere", Adding(kFolder, {Allow(kCreatorOwner, kFull)}), std::nullopt},
    Row{"OwnerRightsGoToATrustedOwner", Adding(kExe, {Allow(kOwnerRights, kFull)}), std::nullopt},
    Row{"EveryoneDeniedBeforeAGrant", Adding(kFolder, {Deny(kEveryone, kWriteOrDelete), Allow(kUsers, kModify)}),
        std::nullopt},
    Row{"TheSameAccountDeniedBeforeAGrant", Adding(kFolder, {Deny(kUsers, kWriteOrDelete), Allow(kUsers, kModify)}),
        std::nullopt},
    Row{"ADenialAfterTheGrantComesTooLate", Adding(kFolder, {Allow(kUsers, kModify), Deny(kEveryone, kWriteOrDelete)}),
        Grant(kFolder, kUsers, 0x10106)},
    Row{"ADenialOfAnotherAccountLeavesTheGrant",
        Adding(kFolder, {Deny(kGuests, kWriteOrDelete), Allow(kUsers, kModify)}),
        Grant(kFolder, kUsers, 0x10106)},
    Row{"AFolderAboveLetsUsersRenameItsChildren", Adding(kProgramFiles, {Allow(kUsers, rights::kDeleteChild)}),
        Grant(kProgramFiles, kUsers, rights::kDeleteChild)},
    Row{"AFolderAboveLetsUsersRenameIt", Adding(kProgramFiles, {Allow(kUsers, rights::kDelete)}),
        Grant(kProgramFiles, kUsers, rights::kDelete)},
    Row{"AFolderAboveLetsUsersAddBesideTheChain", Adding(kProgramFiles, {Allow(kUsers, rights::kGenericWrite)}),
        std::nullopt}),
    test::RowName);

}  // namespace
}  // namespace pwg
