#include "tray/Icon.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Error.h"
#include "res/resource.h"
#include "tests/tray/TraySupport.h"

namespace pwg {
namespace {

using test::IconWidth;

void Put(std::string& out, unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// An .ico file with one 32-bit image of each size.
std::string MakeIcoFile(const std::vector<int>& sizes) {
    std::string dir, images;
    Put(dir, 0, 2), Put(dir, 1, 2), Put(dir, static_cast<unsigned>(sizes.size()), 2);
    for (int s : sizes) {
        std::string image;
        Put(image, 40, 4), Put(image, s, 4), Put(image, 2 * s, 4), Put(image, 1, 2), Put(image, 32, 2);
        image.append(24, '\0');
        image.append(s * s * 4, '\x40');
        image.append((s + 31) / 32 * 4 * s, '\0');
        Put(dir, s, 1), Put(dir, s, 1), Put(dir, 0, 2), Put(dir, 1, 2), Put(dir, 32, 2);
        Put(dir, static_cast<unsigned>(image.size()), 4);
        Put(dir, static_cast<unsigned>(6 + 16 * sizes.size() + images.size()), 4);
        images += image;
    }
    return dir + images;
}

TEST(Icon, HandleIsMadeFromTheImageNearestTheStandardSize) {
    const int standard = Icon::StandardSize().cx;
    Icon icon;
    icon.LoadFromData(MakeIcoFile({16, standard, standard + 16}));
    EXPECT_EQ(IconWidth(icon.Handle()), standard);
    icon.LoadFromData(MakeIcoFile({standard + 24, standard / 2, standard + 8}));
    EXPECT_EQ(IconWidth(icon.Handle()), standard + 8);  // the next larger scales down cleanly
    icon.LoadFromData(MakeIcoFile({standard / 2, standard - 4, 8}));
    EXPECT_EQ(IconWidth(icon.Handle()), standard - 4);

    icon.LoadFromResource(GetModuleHandleA(nullptr), IDI_TRAY);
    EXPECT_EQ(IconWidth(icon.Handle()), standard);
    EXPECT_THROW(icon.LoadFromResource(GetModuleHandleA(nullptr), 999), Error);
}

TEST(Icon, UnreadableImageGivesNoHandle) {
    std::string file = MakeIcoFile({32});
    file.resize(file.size() - 100);
    Icon icon;
    icon.LoadFromData(file);
    EXPECT_FALSE(icon.Empty());
    EXPECT_EQ(icon.Handle(), nullptr);
    icon.LoadFromData("not an icon");
    EXPECT_EQ(icon.Handle(), nullptr);
}

TEST(Icon, AssignedHandleIsACopy) {
    IconHandle original = test::MakeIcon(20);
    Icon icon, other;
    icon.Assign(original.get());
    original.reset();
    other.Assign(icon);
    icon.Clear();
    EXPECT_TRUE(icon.Empty());
    EXPECT_EQ(icon.Handle(), nullptr);
    EXPECT_EQ(IconWidth(other.Handle()), 20);
}

}  // namespace
}  // namespace pwg
