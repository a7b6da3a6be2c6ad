#pragma once
// Menus: items with captions and click handlers, a window's main menu, and
// popup menus shown at a screen position. A chosen item is dispatched by its
// command number when the menu's owner window receives the command.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/framework/Component.h"
#include "common/Handles.h"

namespace pwg {

class MenuItem : public Component {
public:
    // A command number of 0 takes the next free one; windows whose commands are
    // sent from outside (as a click sends them) give fixed numbers below 1000.
    MenuItem(Component* owner, std::string_view utf8Caption, std::function<void()> onClick = {}, UINT command = 0);
    ~MenuItem() override;

    const std::string& Caption() const { return caption_; }  // ANSI
    UINT Command() const { return command_; }
    bool Default() const { return default_; }
    void SetDefault(bool isDefault) { default_ = isDefault; }
    void SetOnClick(std::function<void()> onClick) { onClick_ = std::move(onClick); }

    MenuItem* Add(std::string_view utf8Caption, std::function<void()> onClick = {}, UINT command = 0);
    const std::vector<MenuItem*>& Items() const { return items_; }

    void Click();
    // Clicks the item with this command number; false when there is none.
    static bool DispatchCommand(UINT command);

    // Builds the Windows menu of the sub-items.
    HMENU BuildPopup() const;

private:
    std::string caption_;
    UINT command_;
    bool default_ = false;
    std::function<void()> onClick_;
    std::vector<MenuItem*> items_;  // owned through Component
};

// The menu bar of a form: the root's items are its top-level entries.
class MainMenu : public Component {
public:
    explicit MainMenu(Component* owner);
    MenuItem& Items() { return root_; }
    // A fresh menu-bar handle; the window that receives it destroys it.
    HMENU BuildMenuBar() const;

private:
    MenuItem root_;
};

class PopupMenu : public Component {
public:
    explicit PopupMenu(Component* owner);
    MenuItem& Items() { return root_; }
    bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool autoPopup) { autoPopup_ = autoPopup; }
    Component* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(Component* component) { popupComponent_ = component; }
    // Shows the menu at a screen position; returns when it has closed. The
    // chosen item is clicked afterwards, from the message loop.
    void Popup(int x, int y);

private:
    MenuItem root_;
    bool autoPopup_ = true;
    Component* popupComponent_ = nullptr;
};

}  // namespace pwg
