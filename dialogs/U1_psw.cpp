#include "dialogs/U1_psw.h"

#include "app/AppState.h"
#include "common/Ansi.h"

namespace pwg {

Tf1_psw::Tf1_psw(Component* owner) : Form(owner, "管理员密码", 244, 119, Border::Dialog) {
    sLabelFX1 = AddLabel(kLabelFX1, 32, 8, 62, 15, "输入密码：");
    sEdit1 = AddEdit(kEdit1, 34, 29, 178, 21);
    sLabelFX2 = AddLabel(kLabelFX2, 35, 56, 176, 15, "", true);
    sBitBtn1 = AddButton(kBitBtn1, 80, 80, 75, 25, "确 认");
    SetActiveControl(sEdit1);
    PlaceBottomRight();
}

void Tf1_psw::OnCommand(int id, int code, HWND) {
    if (id == kBitBtn1 && code == BN_CLICKED) sBitBtn1Click();
}

bool Tf1_psw::PreTranslateMessage(MSG& msg) {
    // Enter in the entry does what the button does.
    if (IsEnterIn(msg, sEdit1)) {
        sBitBtn1Click();
        return true;
    }
    return Form::PreTranslateMessage(msg);
}

void Tf1_psw::sBitBtn1Click() {
    // Compared exactly as typed; a wrong entry stays in the field, selected
    // for the next try.
    if (ControlText(sEdit1) == State().password) {
        SetModalResult(kModalOk);
    } else {
        SetControlText(sLabelFX2, ToAnsi("密码错误！"));
        FocusEntry(sEdit1);
    }
}

}  // namespace pwg
