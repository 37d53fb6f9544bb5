#pragma once

#include <QWidget>
#include <optional>

#include "media-player/decoders/subtitles/ImageSubtitle.h"
#include "media-player/media-types/VideoDimensions.h"
#include "platform/graphics/CGGeometry.h"

namespace quillon {

class SubtitleImageRenderingView;

// One bitmap subtitle over the picture. It fills the subtitles view, fits a canvas of the
// video's shape into itself, centred, and places its bitmap where the subtitle's rectangle falls
// on that canvas. A secondary bitmap is mirrored to the other half of the picture: one at the
// bottom shows as far from the top; one across the middle line is turned through a half turn
// about the canvas centre. Coordinates are top-down. Main thread only.
class ImageSubtitleView : public QWidget {
public:
    // The picture size is the subtitle's own when it carries dimensions, else `videoDimensions`'
    // (the selected video track's when the frame started), else unknown: the rectangle is then
    // used unchanged, in view points, from the top left corner.
    ImageSubtitleView(const ImageSubtitle& subtitle, bool isPrimarySubtitle,
                      const std::optional<VideoDimensions>& videoDimensions,
                      QWidget* parent = nullptr);
    ~ImageSubtitleView() override;

    const ImageSubtitle& subtitle() const { return subtitle_; }
    bool isPrimarySubtitle() const { return isPrimarySubtitle_; }
    const std::optional<platform::CGSize>& videoDimensions() const { return videoDimensions_; }
    SubtitleImageRenderingView& renderingView() const { return *renderingView_; }

    // Points per picture pixel; 1 without a picture size or where it would not be a positive
    // finite number.
    platform::CGFloat imageScale() const;
    // The subtitle's rectangle scaled, and mirrored for a secondary subtitle, on a canvas of
    // `canvasSize` (the view's size when absent), relative to the canvas's top left corner.
    platform::CGRect imageFrameInCanvas(platform::CGFloat scale,
                                        std::optional<platform::CGSize> canvasSize) const;
    // Where the bitmap goes in the view for its current size, before pixel alignment.
    platform::CGRect imageFrameInView() const;

    // Places the rendering view for the current size.
    void performLayout();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ImageSubtitle subtitle_;
    bool isPrimarySubtitle_;
    std::optional<platform::CGSize> videoDimensions_;
    SubtitleImageRenderingView* renderingView_;  // a child: owned by the widget tree
};

}  // namespace quillon
