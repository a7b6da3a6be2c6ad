// The three password dialogs typed into with real keystrokes and clicks
// (SendInput), not with window messages: each opens with the caret in its
// first entry; Enter confirms in the prompt and in the unlock dialog and
// means nothing in the change dialog; Esc ends none of them; after a wrong
// password the caret is back in the entry, the wrong try selected, even when
// the button was clicked.
#include <gtest/gtest.h>

#include "app/AppState.h"
#include "common/Ansi.h"
#include "dialogs/U1_psw.h"
#include "dialogs/U2_psw.h"
#include "dialogs/U3_psw.h"
#include "enforcement/u0_shutThread.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Controls.h"
#include "tests/support/UiDriver.h"

namespace pwg::test {
namespace {

class KeyboardTest : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        CreateMainForm();
        State().password = "pw";
    }
};

TEST_F(KeyboardTest, PromptTakesTheKeysAtOnceAndEnterConfirmsButEscDoesNot) {
    Tf1_psw prompt(main_);
    WhenModal<Tf1_psw> typing("管理员密码", [](Tf1_psw&) { PressKeys("x\r\x1bpw\r"); });
    int result = kModalNone;
    WithinBound("the prompt confirmed from the keyboard", [&] { result = prompt.ShowModal(); });
    EXPECT_EQ(result, kModalOk);
    EXPECT_EQ(Text(prompt.sLabelFX2), ToAnsi("密码错误！"));
    EXPECT_EQ(Text(prompt.sEdit1), "pw") << "the wrong try was not replaced";
}

TEST_F(KeyboardTest, UnlockDialogTakesTheKeysAtOnceAndAgainAfterAClickOnItsButton) {
    AppState& state = State();
    state.locked = true;
    state.windowStart = Hours(8);
    state.windowEnd = Hours(21.5);
    state.trustedTime = Hours(22);  // outside
    WhenModal<Tf3_psw> typing("管理员解锁", [](Tf3_psw& unlock) {
        PressKeys("x");
        ClickWithMouse(unlock.sBitBtn1);
        PressKeys("\x1bpw\r");
    });
    WithinBound("the unlock dialog confirmed from the keyboard", EnforcementTick);
    EXPECT_FALSE(state.locked);
}

TEST_F(KeyboardTest, ChangeDialogTakesTheKeysAtOnceAndEnterMeansNothing) {
    TF2_psw change(main_);
    HWND again = change.sEdit3;
    WhenModal<TF2_psw> typing("管理员密码修改", [](TF2_psw&) { PressKeys("pw\tn3w\tn3w\r!"); });
    // The "!" typed after Enter lands in the open dialog's last entry.
    WhenTrue passed("Enter passed by", [&] { return Text(again) == "n3w!"; }, [] { PressKeys("\b\x1b\t "); });
    int result = kModalNone;
    WithinBound("the change dialog confirmed with its button", [&] { result = change.ShowModal(); });
    EXPECT_EQ(result, kModalOk);
    EXPECT_EQ(State().password, "n3w");
}

}  // namespace
}  // namespace pwg::test
