#pragma once
// A plain form for the tests that need one: it counts the live ones and
// notes the system commands and WM_NULL messages that reach its own procedure.
#include <windows.h>

#include <vector>

#include "app/framework/Form.h"

namespace pwg::test {

class TestForm : public Form {
public:
    explicit TestForm(Border border = Border::Dialog) : Form(nullptr, "test form", 200, 100, border) { ++alive; }
    ~TestForm() override { --alive; }
    static inline int alive = 0;
    std::vector<WPARAM> sysCommands;
    int nullMessages = 0;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_SYSCOMMAND) sysCommands.push_back(wParam);
        if (message == WM_NULL) ++nullMessages;
        return Form::HandleMessage(message, wParam, lParam);
    }
};

}  // namespace pwg::test
