#pragma once
// The program calls the ANSI entry points of Windows, so its own text lives in
// the system's ANSI code page (936 on the systems it is for). Source files are
// UTF-8: literal text crosses into the code page here, and only here.
#include <string>
#include <string_view>

namespace pwg {

// UTF-8 to the ANSI code page.
std::string ToAnsi(std::string_view utf8);
// ANSI text to UTF-16, for the few interfaces that take only wide text (COM).
std::wstring WideFromAnsi(std::string_view ansi);

}  // namespace pwg
