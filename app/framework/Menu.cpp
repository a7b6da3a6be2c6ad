#include "app/framework/Menu.h"

#include <unordered_map>

#include "app/framework/Application.h"
#include "common/Ansi.h"

namespace pwg {
namespace {

// Command numbers start high, clear of the dialog commands IDOK and IDCANCEL.
UINT g_nextCommand = 1000;
std::unordered_map<UINT, MenuItem*>& ItemsByCommand() {
    static std::unordered_map<UINT, MenuItem*> items;
    return items;
}

void AppendItems(HMENU menu, const std::vector<MenuItem*>& items) {
    for (const MenuItem* item : items) {
        if (item->Items().empty()) {
            AppendMenuA(menu, MF_STRING, item->Command(), item->Caption().c_str());
        } else {
            AppendMenuA(menu, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(item->BuildPopup()),
                        item->Caption().c_str());
        }
        if (item->Default()) SetMenuDefaultItem(menu, item->Command(), FALSE);
    }
}

}  // namespace

MenuItem::MenuItem(Component* owner, std::string_view utf8Caption, std::function<void()> onClick, UINT command)
    : Component(owner), caption_(ToAnsi(utf8Caption)), command_(command ? command : g_nextCommand++),
      onClick_(std::move(onClick)) {
    ItemsByCommand()[command_] = this;
}

MenuItem::~MenuItem() {
    DestroyComponents();
    const auto it = ItemsByCommand().find(command_);
    if (it != ItemsByCommand().end() && it->second == this) ItemsByCommand().erase(it);
}

MenuItem* MenuItem::Add(std::string_view utf8Caption, std::function<void()> onClick, UINT command) {
    items_.push_back(new MenuItem(this, utf8Caption, std::move(onClick), command));
    return items_.back();
}

void MenuItem::Click() {
    if (onClick_) onClick_();
}

bool MenuItem::DispatchCommand(UINT command) {
    const auto it = ItemsByCommand().find(command);
    if (it == ItemsByCommand().end()) return false;
    it->second->Click();
    return true;
}

HMENU MenuItem::BuildPopup() const {
    HMENU menu = CreatePopupMenu();
    AppendItems(menu, items_);
    return menu;
}

MainMenu::MainMenu(Component* owner) : Component(owner), root_(nullptr, "") {}

HMENU MainMenu::BuildMenuBar() const {
    HMENU bar = CreateMenu();
    AppendItems(bar, root_.Items());
    return bar;
}

PopupMenu::PopupMenu(Component* owner) : Component(owner), root_(nullptr, "") {}

void PopupMenu::Popup(int x, int y) {
    MenuHandle menu(root_.BuildPopup());
    // The command is posted to the application window and dispatched from
    // the message loop after the menu has closed.
    TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, Application::Instance().Handle(),
                   nullptr);
}

}  // namespace pwg
