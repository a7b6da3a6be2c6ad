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

}  // namespace pwg
