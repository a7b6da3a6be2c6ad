#pragma once
#include <string_view>

namespace pwg {

// A modal box centred on the screen, captioned with the application title,
// without an icon: the text as given above one "OK" button, which Enter and
// Esc both press. The box is at most half the screen wide, with the text
// wrapped and words too long for a line broken; it grows in height up to the
// work area, beyond which the text is cut (never inside a double-byte
// character) and ends with "…".
void ShowMessage(std::string_view ansiText);

}  // namespace pwg
