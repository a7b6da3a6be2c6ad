#pragma once
// The password prompt that guards the administrator's commands.
#include "app/framework/Form.h"

namespace pwg {

class Tf1_psw : public Form {
public:
    enum ControlId { kLabelFX1 = 101, kEdit1, kLabelFX2, kBitBtn1 };

    explicit Tf1_psw(Component* owner);

    HWND sLabelFX1, sEdit1, sLabelFX2, sBitBtn1;

protected:
    void OnCommand(int id, int code, HWND control) override;
    bool PreTranslateMessage(MSG& msg) override;

private:
    void sBitBtn1Click();
};

}  // namespace pwg
