#include "libraries/calyxware/QtConversions.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>

namespace calyxware {

QColor toQColor(const platform::NSColor& color) {
    const auto clamp = [](platform::CGFloat value) { return std::clamp(value, 0.0, 1.0); };
    return QColor::fromRgbF(static_cast<float>(clamp(color.redComponent())),
                            static_cast<float>(clamp(color.greenComponent())),
                            static_cast<float>(clamp(color.blueComponent())),
                            static_cast<float>(clamp(color.alphaComponent())));
}

platform::NSColor toNSColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return platform::NSColor::colorWithSRGBRed(rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF());
}

const QPaintDevice& layoutPaintDevice() {
    // Deliberately leaked: fonts resolved against it may be used until the process exits.
    static const QImage* const device = [] {
        auto* image = new QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        // 72 dpi in dots per metre; QImage reports qRound(2835 * 0.0254) = 72.
        image->setDotsPerMeterX(2835);
        image->setDotsPerMeterY(2835);
        return image;
    }();
    return *device;
}

QFont toQFont(const platform::NSFont& font) {
    QFont qfont(QString::fromStdString(font.familyName()));
    qfont.setPointSizeF(font.pointSize() > 0 ? font.pointSize() : 12.0);
    qfont.setBold(font.isBold());
    qfont.setItalic(font.isItalic());
    // Text is drawn scaled (subtitles) and measured once; hinting would make the size depend on
    // the scale it was measured at.
    qfont.setHintingPreference(QFont::PreferNoHinting);
    return QFont(qfont, &layoutPaintDevice());
}

qreal effectiveDevicePixelRatio(const QPainter& painter) {
    if (const QPaintEngine* engine = painter.paintEngine()) {
        if (const QPaintDevice* device = engine->paintDevice()) {
            return device->devicePixelRatioF();
        }
    }
    return painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
}

}  // namespace calyxware
