#include "dialogs/U3_psw.h"

#include <string>

#include "app/AppState.h"
#include "common/Ansi.h"
#include "enforcement/Lock.h"

namespace pwg {

Tf3_psw::Tf3_psw() : Form(nullptr, "管理员解锁", 316, 92, Border::Dialog) {
    sLabelFX1 = AddLabel(kLabelFX1, 8, 16, 74, 15, "管理员解锁：");
    sEdit1 = AddEdit(kEdit1, 80, 11, 217, 21);
    sLabelFX4 = AddLabel(kLabelFX4, 72, 40, 230, 15, "默认密码739105，请在菜单中修改管理密码");
    sLabelFX2 = AddLabel(kLabelFX2, 8, 64, 146, 15, "电脑即将关闭，剩下秒数：");
    sLabelFX3 = AddLabel(kLabelFX3, 152, 64, 14, 15, "60");
    sBitBtn1 = AddButton(kBitBtn1, 221, 58, 75, 25, "确 定");
    SetActiveControl(sEdit1);
    PlaceBottomRight();
    // In front of whatever program is in use while the seconds run out, and
    // it stays there until it closes.
    SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

Tf3_psw::~Tf3_psw() {
    if (State().unlockDialog == this) State().unlockDialog = nullptr;
}

void Tf3_psw::SetSecondsLeft(int seconds) { SetControlText(sLabelFX3, std::to_string(seconds)); }

void Tf3_psw::OnCommand(int id, int code, HWND) {
    if (id == kBitBtn1 && code == BN_CLICKED) sBitBtn1Click();
}

bool Tf3_psw::PreTranslateMessage(MSG& msg) {
    // Enter in the entry does what the button does.
    if (IsEnterIn(msg, sEdit1)) {
        sBitBtn1Click();
        return true;
    }
    return Form::PreTranslateMessage(msg);
}

void Tf3_psw::sBitBtn1Click() {
    // Compared exactly as typed: blanks count.
    if (ControlText(sEdit1) == State().password) {
        Unlock();
        SetModalResult(kModalOk);
    } else {
        SetControlText(sLabelFX2, ToAnsi("密码错误！"));
        // The seconds run on: the next try is typed at once.
        FocusEntry(sEdit1);
    }
}

void Tf3_psw::OnClose(CloseAction& action) { action = CloseAction::Free; }

}  // namespace pwg
