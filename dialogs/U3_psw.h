#pragma once
// The unlock dialog: opened by the enforcement tick while the computer is
// locked outside its usage window; shows the seconds left and lifts the lock
// when the administrator password is typed.
#include "app/framework/Form.h"

namespace pwg {

class Tf3_psw : public Form {
public:
    enum ControlId { kLabelFX1 = 101, kEdit1, kLabelFX4, kLabelFX2, kLabelFX3, kBitBtn1 };

    Tf3_psw();
    // Clears the application's reference, so the next outside tick opens a fresh one.
    ~Tf3_psw() override;

    void SetSecondsLeft(int seconds);

    HWND sLabelFX1, sEdit1, sLabelFX4, sLabelFX2, sLabelFX3, sBitBtn1;

protected:
    void OnCommand(int id, int code, HWND control) override;
    void OnClose(CloseAction& action) override;
    bool PreTranslateMessage(MSG& msg) override;

private:
    void sBitBtn1Click();
};

}  // namespace pwg
