#include "libraries/calyxware/ViewCoding.h"

#include <algorithm>
#include <cmath>

namespace calyxware {

namespace {

constexpr std::string_view kFrameXKey = "frameX";
constexpr std::string_view kFrameYKey = "frameY";
constexpr std::string_view kFrameWidthKey = "frameWidth";
constexpr std::string_view kFrameHeightKey = "frameHeight";
constexpr std::string_view kHiddenKey = "hidden";

}  // namespace

void encodeViewFrame(platform::NSKeyedArchiver& coder, const platform::CGRect& frame, bool hidden) {
    coder.encodeDouble(frame.origin.x, kFrameXKey);
    coder.encodeDouble(frame.origin.y, kFrameYKey);
    coder.encodeDouble(frame.size.width, kFrameWidthKey);
    coder.encodeDouble(frame.size.height, kFrameHeightKey);
    coder.encodeBool(hidden, kHiddenKey);
}

DecodedViewFrame decodeViewFrame(platform::NSKeyedUnarchiver& coder) {
    DecodedViewFrame decoded;
    decoded.frame =
        platform::CGRectMake(coder.decodeDouble(kFrameXKey), coder.decodeDouble(kFrameYKey),
                             std::max(0.0, coder.decodeDouble(kFrameWidthKey)),
                             std::max(0.0, coder.decodeDouble(kFrameHeightKey)));
    decoded.hidden = coder.decodeBool(kHiddenKey);
    return decoded;
}

platform::CGRect frameOfWidget(const QWidget& widget) {
    const QRect geometry = widget.geometry();
    return platform::CGRectMake(geometry.x(), geometry.y(), geometry.width(), geometry.height());
}

QRect widgetGeometry(const platform::CGRect& frame) {
    const platform::CGRect r = frame.standardized();
    const auto round = [](double value) {
        return std::isfinite(value) ? static_cast<int>(std::lround(std::clamp(value, -1e7, 1e7)))
                                    : 0;
    };
    const int left = round(r.origin.x);
    const int top = round(r.origin.y);
    return QRect(left, top, std::max(0, round(r.origin.x + r.size.width) - left),
                 std::max(0, round(r.origin.y + r.size.height) - top));
}

}  // namespace calyxware
