#pragma once
#include <string_view>

namespace pwg {

// A modal box centred on the screen, captioned with the application title,
// without an icon: the text as given (word-wrapped, at most half the screen
// wide) above one "OK" button, which Enter and Esc both press.
void ShowMessage(std::string_view ansiText);

}  // namespace pwg
