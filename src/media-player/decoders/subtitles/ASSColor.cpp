#include "media-player/decoders/subtitles/ASSColor.h"

namespace quillon {

platform::NSColor assColor(std::uint32_t colour) {
    constexpr platform::CGFloat maximum = 255;
    return platform::NSColor::colorWithSRGBRed(
        static_cast<platform::CGFloat>(colour & 0xFF) / maximum,
        static_cast<platform::CGFloat>((colour >> 8) & 0xFF) / maximum,
        static_cast<platform::CGFloat>((colour >> 16) & 0xFF) / maximum, assAlpha(colour >> 24));
}

platform::CGFloat assAlpha(std::uint32_t alpha) {
    return static_cast<platform::CGFloat>(255 - (alpha & 0xFF)) / 255;
}

}  // namespace quillon
