#pragma once
// An icon that may hold several images of different sizes, as an .ico file
// or an icon resource does. Its handle is made from the image that best fits
// the system's standard icon size; an image that can't be read gives no
// handle. Every change is announced, so whoever shows the icon can refresh.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Handles.h"

namespace pwg {

class Icon {
public:
    Icon() = default;
    Icon(const Icon&) = delete;
    Icon& operator=(const Icon&) = delete;

    // Called after every change.
    std::function<void()> OnChange;

    bool Empty() const { return images_.empty() && !assigned_ && !damaged_; }
    // All images of an icon resource; raises when the module has no such icon.
    void LoadFromResource(HINSTANCE module, int id);
    // The images of an .ico file held in memory. A damaged file still loads,
    // as an icon whose handle is null.
    void LoadFromData(std::string_view icoFile);
    // A copy of an icon handle, as the one image.
    void Assign(HICON icon);
    void Assign(const Icon& other);
    void Clear();

    // Made on first use from the best-fitting image; null when empty or when
    // that image can't be read. The icon keeps ownership.
    HICON Handle() const;
    // The size the handle is made for: SM_CXICON x SM_CYICON.
    static SIZE StandardSize();

private:
    struct Image {
        int width;
        int height;
        int bitCount;
        std::string bits;  // the image as an icon resource holds it
    };

    void Reset();
    void Changed();
    const Image* BestImage() const;

    std::vector<Image> images_;
    IconHandle assigned_;
    bool damaged_ = false;
    mutable IconHandle handle_;
    mutable bool handleMade_ = false;
};

}  // namespace pwg
