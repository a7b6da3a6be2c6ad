// The place read from real files and folders of the test prefix. Wine keeps
// no access list of a file: it reports the file's Unix owner (this account,
// the one running the tests) and what its Unix permissions allow, SYSTEM and
// the owner all and Everyone what the permissions of others allow. So the
// tests change what others may do, and read the lists that gives.
#include "core/Place.h"

#include <gtest/gtest.h>

#include "common/Ansi.h"
#include "common/OsError.h"
#include "tests/support/Files.h"

namespace pwg::test {
namespace {

constexpr char kEveryone[] = "S-1-1-0";
constexpr uint32_t kReadExecute = 0x1200A9;

class ProgramPlace : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Touch("pw_gate.exe");
        folder_.Touch("GetTime.dll");
    }
    std::string Program() const { return folder_.File("pw_gate.exe"); }

    ScratchFolder folder_{TempFolder() + "pwg place"};
};

TEST_F(ProgramPlace, TheFilesTheirFolderAndEachFolderAboveAreReadWithOwnersAndLists) {
    const Place place = ReadPlace(Program());
    EXPECT_EQ(place.driveType, kFixedDrive);
    ASSERT_GE(place.objects.size(), 4u);
    EXPECT_EQ(place.objects[0].path, Program());
    EXPECT_EQ(place.objects[1].path, folder_.File("GetTime.dll"));
    EXPECT_EQ(place.objects[2].path, folder_.Path());
    EXPECT_EQ(place.objects[3].path + "\\pwg place", folder_.Path());
    EXPECT_EQ(place.objects.back().path, folder_.Path().substr(0, 3)) << "the root";
    for (size_t i = 0; i < place.objects.size(); ++i) {
        const PlaceObject& object = place.objects[i];
        EXPECT_EQ(object.role, i < 2 ? Role::File : i == 2 ? Role::ProgramFolder : Role::Ancestor) << object.path;
        ASSERT_TRUE(object.security) << object.path << ": error " << object.readError;
        EXPECT_EQ(object.security->owner, place.self) << object.path;
        EXPECT_TRUE(object.security->hasList);
    }
    EXPECT_EQ(place.self.rfind("S-1-5-21-", 0), 0u) << place.self << " is not a user's account";
    bool everyoneReads = false;
    for (const AccessEntry& entry : place.objects[0].security->entries)
        everyoneReads |= entry.sid == kEveryone && entry.kind == EntryKind::Allow && entry.mask == kReadExecute;
    EXPECT_TRUE(everyoneReads);
    EXPECT_EQ(UnsafePlace(Program()), std::nullopt);
}

// Opened from the folder down, each is named before what was opened before it.
TEST_F(ProgramPlace, WhatEveryoneMayChangeIsNamedTheProgramFirst) {
    for (const char* name : {"", "GetTime.dll", "pw_gate.exe"}) {
        const std::string path = *name ? folder_.File(name) : folder_.Path();
        OpenToEveryone(path);
        const std::string said = UnsafePlace(Program()).value_or("safe");
        EXPECT_EQ(said.rfind(path + ": ", 0), 0u) << said;
        EXPECT_NE(said.find("(S-1-1-0)"), std::string::npos) << said;
    }
}

TEST_F(ProgramPlace, WithoutItsLibraryThePlaceIsNotSafe) {
    DeleteFileA(folder_.File("GetTime.dll").c_str());
    EXPECT_EQ(UnsafePlace(Program()), folder_.File("GetTime.dll") + ": " + ToAnsi("无法读取其所有者和访问控制列表") +
                                          " (" + OsErrorMessage(ERROR_FILE_NOT_FOUND) + ")");
}

TEST(Place, ADriveThatIsNotThereIsNotAFixedDrive) {
    char letter = 'Z';
    while (letter > 'D' && (GetLogicalDrives() & (1u << (letter - 'A')))) --letter;
    const std::string program = std::string(1, letter) + ":\\pw_gate\\pw_gate.exe";
    EXPECT_EQ(UnsafePlace(program), program + ": " + ToAnsi("不在本机的固定磁盘上"));
}

}  // namespace
}  // namespace pwg::test
