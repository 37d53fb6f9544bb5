#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "platform/foundation/FatalError.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGGeometry.h"

namespace quillon {

// The geometry of a video picture: its coded size, the shape of its pixels and the display
// matrix of its stream, with the sizes derived from them. Image subtitles carry the one their
// rectangles are measured against.
struct VideoDimensions {
    int width = 1;
    int height = 1;
    double pixelAspectRatio = 1;
    std::optional<platform::CGAffineTransform> displayTransform;
    platform::CGSize squarePixelSize{1, 1};
    platform::CGSize effectiveSize{1, 1};
    double aspectRatio = 1;

    // Width and height at least 1 and a finite pixel aspect ratio above 0; anything else is a
    // caller's broken assumption (see isValid for input that comes from a file).
    VideoDimensions(int width, int height,
                    std::optional<platform::CGAffineTransform> displayTransform,
                    double pixelAspectRatio)
        : width(width),
          height(height),
          pixelAspectRatio(pixelAspectRatio),
          displayTransform(displayTransform) {
        platform::precondition(isValid(width, height, pixelAspectRatio),
                               "VideoDimensions need a positive size and pixel aspect ratio.");
        // Pixels are made square by stretching, never by shrinking, so no picture detail is
        // lost on the way to the screen.
        if (pixelAspectRatio > 1) {
            squarePixelSize = {width * pixelAspectRatio, static_cast<double>(height)};
        } else {
            squarePixelSize = {static_cast<double>(width), height / pixelAspectRatio};
        }
        effectiveSize =
            displayTransform ? boundingSize(squarePixelSize, *displayTransform) : squarePixelSize;
        aspectRatio = effectiveSize.width / effectiveSize.height;
    }

    static bool isValid(int width, int height, double pixelAspectRatio) {
        return width >= 1 && height >= 1 && std::isfinite(pixelAspectRatio) && pixelAspectRatio > 0;
    }

    friend bool operator==(const VideoDimensions&, const VideoDimensions&) = default;

private:
    // The size of the box that bounds the rectangle (0, 0, size) after the transform; the same
    // as CGRectApplyAffineTransform's, kept here so that this header needs no library.
    static platform::CGSize boundingSize(platform::CGSize size,
                                         const platform::CGAffineTransform& t) {
        const std::array<platform::CGPoint, 4> corners{
            platform::CGPoint{0, 0}, {size.width, 0}, {0, size.height}, {size.width, size.height}};
        double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
        for (const platform::CGPoint& p : corners) {
            const double x = t.a * p.x + t.c * p.y + t.tx;
            const double y = t.b * p.x + t.d * p.y + t.ty;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
        return {maxX - minX, maxY - minY};
    }
};

}  // namespace quillon
