#include "dialogs/U2_psw.h"

#include "app/AppState.h"
#include "app/Settings.h"
#include "app/framework/ShowMessage.h"
#include "common/Ansi.h"

namespace pwg {

std::string Trimmed(std::string_view text) {
    // Blanks and control characters are all bytes up to ' '; no byte of a
    // double-byte character is that low.
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return std::string(text.substr(first, last - first));
}

TF2_psw::TF2_psw(Component* owner) : Form(owner, "管理员密码修改", 248, 193, Border::Dialog) {
    sLabelFX1 = AddLabel(kLabelFX1, 32, 8, 50, 15, "原密码：");
    sEdit1 = AddEdit(kEdit1, 32, 24, 185, 21);
    sLabelFX3 = AddLabel(kLabelFX3, 32, 56, 98, 15, "新密码输入两次：");
    sEdit2 = AddEdit(kEdit2, 32, 80, 185, 21);
    sEdit3 = AddEdit(kEdit3, 32, 112, 185, 21);
    sBitBtn1 = AddButton(kBitBtn1, 88, 152, 75, 25, "确 认");
    SetActiveControl(sEdit1);
    PlaceBottomRight();
}

void TF2_psw::OnCommand(int id, int code, HWND) {
    if (id == kBitBtn1 && code == BN_CLICKED) sBitBtn1Click();
}

void TF2_psw::sBitBtn1Click() {
    // The old password is compared trimmed; the prompts compare as typed.
    if (Trimmed(ControlText(sEdit1)) != State().password) {
        ShowMessage(ToAnsi("原密码错误,请重新输入"));
        FocusEntry(sEdit1);
        return;
    }
    const std::string typed = ControlText(sEdit2);
    // Different or empty: stay open without a word.
    if (typed.empty() || typed != ControlText(sEdit3)) return;
    settings::ChangePassword(Trimmed(typed));
    SetModalResult(kModalOk);
}

}  // namespace pwg
