#include "platform/corefoundation/CFBase.h"

namespace platform {

std::string fourCharCodeString(FourCharCode code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((code >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            return std::to_string(code);
        }
        text.push_back(c);
    }
    return text;
}

}  // namespace platform
