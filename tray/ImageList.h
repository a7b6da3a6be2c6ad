#pragma once
// A list of icon images, such as the frames of an animated tray icon.
#include <windows.h>

#include <vector>

#include "app/framework/Component.h"
#include "common/Handles.h"

namespace pwg {

class ImageList : public Component {
public:
    explicit ImageList(Component* owner = nullptr) : Component(owner) {}

    int Count() const { return static_cast<int>(icons_.size()); }
    // Takes the icon over; returns its index.
    int Add(IconHandle icon);
    // The image at an index, still owned by the list; null outside the list.
    HICON Get(int index) const;
    void Clear() { icons_.clear(); }

private:
    std::vector<IconHandle> icons_;
};

}  // namespace pwg
