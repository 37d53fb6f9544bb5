#include "libraries/calyxware/ColorInterpolation.h"

#include <QVariantAnimation>
#include <mutex>

#include "platform/graphics/NSColor.h"

namespace calyxware {

namespace {

QVariant interpolateColor(const platform::NSColor& from, const platform::NSColor& to,
                          qreal progress) {
    const auto mix = [progress](platform::CGFloat a, platform::CGFloat b) {
        return a + (b - a) * progress;
    };
    return QVariant::fromValue(
        platform::NSColor::colorWithSRGBRed(mix(from.redComponent(), to.redComponent()),
                                            mix(from.greenComponent(), to.greenComponent()),
                                            mix(from.blueComponent(), to.blueComponent()),
                                            mix(from.alphaComponent(), to.alphaComponent())));
}

}  // namespace

void registerColorInterpolation() {
    static std::once_flag once;
    std::call_once(once,
                   [] { qRegisterAnimationInterpolator<platform::NSColor>(interpolateColor); });
}

}  // namespace calyxware
