#include "common/Error.h"

namespace pwg {

std::string MessageWith(const char* pattern, std::string_view arg) {
    std::string out;
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out.append(arg);
            ++p;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

std::string HexText(uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
    return text;
}

}  // namespace pwg
