#include "player-interface/style/ImageTinting.h"

#include <QImage>
#include <QPainter>
#include <cmath>

#include "libraries/calyxware/QtConversions.h"
#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"

namespace quillon {

namespace {

bool drawTinted(const platform::NSImage& image, const QColor& tint, QPainter& painter,
                const platform::CGRect& destination) {
    const QRectF target = calyxware::toQRectF(destination);
    if (target.isEmpty()) {
        return true;
    }
    // Tint in a layer of its own, at the pixels the painter really draws, so that only the
    // image's coverage takes the colour and nothing already on the painter does.
    const qreal scale = calyxware::effectiveDevicePixelRatio(painter);
    QImage layer(static_cast<int>(std::ceil(target.width() * scale)),
                 static_cast<int>(std::ceil(target.height() * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(scale);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        image.drawInRect(layerPainter, platform::CGRectMake(0, 0, target.width(), target.height()));
        layerPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        layerPainter.fillRect(QRectF(0, 0, target.width(), target.height()), tint);
    }
    painter.drawImage(target, layer);
    return true;
}

}  // namespace

std::shared_ptr<platform::NSImage> ql_imageByApplyingTintColor(
    const std::shared_ptr<const platform::NSImage>& image, const platform::NSColor& tintColor) {
    if (!image) {
        return nullptr;
    }
    std::shared_ptr<platform::NSImage> tinted;
    const bool succeeded = QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* error) {
        const QColor tint = calyxware::toQColor(tintColor);
        tinted = std::make_shared<platform::NSImage>(
            image->size(), [image, tint](QPainter& painter, const platform::CGRect& destination) {
                return drawTinted(*image, tint, painter, destination);
            });
        if (!tinted) {
            *error = QLMakePrivateAPIUsageError(QLPrivateAPIUsageErrorCodeMissingResult);
        }
    });
    return succeeded ? tinted : nullptr;
}

}  // namespace quillon
