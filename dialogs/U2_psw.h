#pragma once
// The password change dialog: the old password once, the new one twice.
#include <string>
#include <string_view>

#include "app/framework/Form.h"

namespace pwg {

// Without leading and trailing blanks and control characters.
std::string Trimmed(std::string_view text);

class TF2_psw : public Form {
public:
    enum ControlId { kLabelFX1 = 101, kEdit1, kLabelFX3, kEdit2, kEdit3, kBitBtn1 };

    explicit TF2_psw(Component* owner);

    HWND sLabelFX1, sEdit1, sLabelFX3, sEdit2, sEdit3, sBitBtn1;

protected:
    void OnCommand(int id, int code, HWND control) override;

private:
    void sBitBtn1Click();
};

}  // namespace pwg
