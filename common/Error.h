#pragma once
// Failures are raised as exceptions carrying the message text the user sees.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pwg {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// printf-style formatting of one text argument into a message such as
// "'%s' is not a valid time".
std::string MessageWith(const char* pattern, std::string_view arg);

// "0x0000ABCD": access masks, exit codes.
std::string HexText(uint32_t value);

}  // namespace pwg
