#include "tray/ImageList.h"

namespace pwg {

int ImageList::Add(IconHandle icon) {
    icons_.push_back(std::move(icon));
    return Count() - 1;
}

HICON ImageList::Get(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return icons_[index].get();
}

}  // namespace pwg
