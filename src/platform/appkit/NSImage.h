#pragma once

#include <QIcon>
#include <QImage>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>

#include "platform/graphics/CGGeometry.h"

class QPainter;

namespace platform {

// An image of a size in points: either a bitmap, whose device pixel ratio says how many pixels
// make one point, or a drawing handler that draws the image afresh each time it is drawn.
// Shared by reference (std::shared_ptr); immutable once made. Drawing needs a GUI application.
class NSImage {
public:
    // Draws the image into `destination` (in the painter's coordinates) and reports success.
    using DrawingHandler = std::function<bool(QPainter& painter, const CGRect& destination)>;

    explicit NSImage(QImage bitmap);
    NSImage(CGSize size, DrawingHandler drawingHandler);

    // The image that encoded data (PNG and the other formats Qt reads) decode to, at `scale`
    // pixels per point; null when the data do not decode.
    static std::shared_ptr<NSImage> imageWithData(std::span<const std::byte> data,
                                                  double scale = 1.0);

    CGSize size() const { return size_; }
    // The decoded pixels; null for an image drawn by a handler.
    const QImage& bitmap() const { return bitmap_; }

    // Draws the whole image scaled into `destination`.
    void drawInRect(QPainter& painter, const CGRect& destination) const;

private:
    QImage bitmap_;
    CGSize size_;
    DrawingHandler drawingHandler_;
};

// An icon for Qt's widgets (tool buttons, actions) that draws `image` each time a pixmap is
// asked for, fitted into the asked size with its aspect ratio kept.
QIcon makeIcon(std::shared_ptr<const NSImage> image);

}  // namespace platform
