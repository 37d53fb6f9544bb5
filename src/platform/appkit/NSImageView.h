#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "platform/appkit/NSImage.h"
#include "platform/graphics/CGGeometry.h"

namespace platform {

// How large a symbol image shows: a point size as for text, and a scale relative to it.
struct NSImageSymbolConfiguration {
    enum class Weight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };
    enum class Scale { small, medium, large };

    CGFloat pointSize = 13;
    Weight weight = Weight::regular;
    Scale scale = Scale::medium;

    // The side of the square the symbol takes.
    CGFloat symbolSide() const;

    friend bool operator==(const NSImageSymbolConfiguration&,
                           const NSImageSymbolConfiguration&) = default;
};

// Shows one image, scaled down to fit when the view is smaller, never up, its aspect kept and
// centred. With a symbol configuration the image is a symbol and takes the configuration's size.
// Main thread only.
class NSImageView : public QWidget {
public:
    explicit NSImageView(QWidget* parent = nullptr);

    const std::shared_ptr<NSImage>& image() const { return image_; }
    void setImage(std::shared_ptr<NSImage> image);
    const std::optional<NSImageSymbolConfiguration>& symbolConfiguration() const {
        return symbolConfiguration_;
    }
    void setSymbolConfiguration(std::optional<NSImageSymbolConfiguration> configuration);

    // The size the image asks for: the configured symbol's square, else the image's size.
    CGSize intrinsicContentSize() const;
    // Where the image is drawn in the view's bounds; empty without an image.
    CGRect imageRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Whether a mouse-down on the view may drag the window about.
    virtual bool mouseDownCanMoveWindow() const { return false; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::shared_ptr<NSImage> image_;
    std::optional<NSImageSymbolConfiguration> symbolConfiguration_;
};

}  // namespace platform
