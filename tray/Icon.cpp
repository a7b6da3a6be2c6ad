#include "tray/Icon.h"

#include <cstdint>
#include <string>

#include "common/Error.h"

namespace pwg {
namespace {

// Icon directories as stored: a 6-byte header (reserved, type 1, count), then
// one entry per image. The entry of a file ends with the image's offset in
// the file (16 bytes); that of a resource with the image's resource id (14).
constexpr std::size_t kDirHeaderSize = 6;
constexpr std::size_t kFileEntrySize = 16;
constexpr std::size_t kResourceEntrySize = 14;
constexpr std::uint16_t kIconType = 1;
constexpr DWORD kIconFormatVersion = 0x00030000;

std::uint16_t Read16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Read32(const unsigned char* p) { return Read16(p) | (static_cast<std::uint32_t>(Read16(p + 2)) << 16); }

// A width or height byte of 0 stands for 256 pixels.
int Dimension(unsigned char stored) { return stored == 0 ? 256 : stored; }

// How many images a directory lists, or -1 when it is not an icon directory
// of that size.
int DirectoryCount(const unsigned char* data, std::size_t size, std::size_t entrySize) {
    if (size < kDirHeaderSize || Read16(data) != 0 || Read16(data + 2) != kIconType) return -1;
    const int count = Read16(data + 4);
    if (size < kDirHeaderSize + count * entrySize) return -1;
    return count;
}

}  // namespace

SIZE Icon::StandardSize() { return {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)}; }

void Icon::LoadFromResource(HINSTANCE module, int id) {
    HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(id), RT_GROUP_ICON);
    HGLOBAL loaded = group ? LoadResource(module, group) : nullptr;
    const auto* dir = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    const int count = dir ? DirectoryCount(dir, SizeofResource(module, group), kResourceEntrySize) : -1;
    if (count < 0) throw Error("Icon resource " + std::to_string(id) + " not found");

    std::vector<Image> images;
    bool damaged = false;
    for (int i = 0; i < count; ++i) {
        const unsigned char* entry = dir + kDirHeaderSize + i * kResourceEntrySize;
        HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(Read16(entry + 12)), RT_ICON);
        HGLOBAL bits = res ? LoadResource(module, res) : nullptr;
        const void* data = bits ? LockResource(bits) : nullptr;
        if (!data) {
            damaged = true;
            continue;
        }
        images.push_back({Dimension(entry[0]), Dimension(entry[1]), Read16(entry + 6),
                          std::string(static_cast<const char*>(data), SizeofResource(module, res))});
    }
    Reset();
    images_ = std::move(images);
    damaged_ = damaged && images_.empty();
    Changed();
}

void Icon::LoadFromData(std::string_view icoFile) {
    const auto* data = reinterpret_cast<const unsigned char*>(icoFile.data());
    const int count = DirectoryCount(data, icoFile.size(), kFileEntrySize);
    std::vector<Image> images;
    bool damaged = count <= 0;
    for (int i = 0; i < count && !damaged; ++i) {
        const unsigned char* entry = data + kDirHeaderSize + i * kFileEntrySize;
        const std::uint32_t size = Read32(entry + 8);
        const std::uint32_t offset = Read32(entry + 12);
        if (offset > icoFile.size() || size > icoFile.size() - offset) {
            damaged = true;
            break;
        }
        images.push_back({Dimension(entry[0]), Dimension(entry[1]), Read16(entry + 6),
                          std::string(icoFile.substr(offset, size))});
    }
    Reset();
    // One unreadable image spoils the file: which image is best can't be told.
    if (damaged)
        damaged_ = true;
    else
        images_ = std::move(images);
    Changed();
}

void Icon::Assign(HICON icon) {
    IconHandle copy(icon ? CopyIcon(icon) : nullptr);
    Reset();
    assigned_ = std::move(copy);
    damaged_ = icon && !assigned_;
    Changed();
}

void Icon::Assign(const Icon& other) {
    if (&other == this) return;
    IconHandle copy(other.assigned_ ? CopyIcon(other.assigned_.get()) : nullptr);
    Reset();
    images_ = other.images_;
    assigned_ = std::move(copy);
    damaged_ = other.damaged_ || (other.assigned_ && !assigned_);
    Changed();
}

void Icon::Clear() {
    Reset();
    Changed();
}

void Icon::Reset() {
    images_.clear();
    assigned_.reset();
    damaged_ = false;
    handle_.reset();
    handleMade_ = false;
}

void Icon::Changed() {
    if (OnChange) OnChange();
}

const Icon::Image* Icon::BestImage() const {
    const SIZE want = StandardSize();
    // The exact size; else the smallest image larger than it, which scales
    // down cleanly; else the largest. Deeper colour breaks ties.
    auto distance = [&](const Image& image) {
        const int dx = image.width - want.cx, dy = image.height - want.cy;
        if (dx == 0 && dy == 0) return 0;
        if (dx >= 0 && dy >= 0) return dx + dy;
        return 0x100000 - (image.width + image.height);
    };
    const Image* best = nullptr;
    for (const Image& image : images_) {
        if (!best || distance(image) < distance(*best) ||
            (distance(image) == distance(*best) && image.bitCount > best->bitCount))
            best = &image;
    }
    return best;
}

HICON Icon::Handle() const {
    if (assigned_) return assigned_.get();
    if (!handleMade_) {
        handleMade_ = true;
        if (const Image* image = BestImage()) {
            handle_.reset(CreateIconFromResourceEx(
                reinterpret_cast<PBYTE>(const_cast<char*>(image->bits.data())), static_cast<DWORD>(image->bits.size()),
                TRUE, kIconFormatVersion, image->width, image->height, LR_DEFAULTCOLOR));
        }
    }
    return handle_.get();
}

}  // namespace pwg
