#include "media-player/subtitle-views/ImageSubtitleView.h"

#include <QResizeEvent>
#include <algorithm>
#include <cmath>

#include "media-player/subtitle-views/SubtitleImageRenderingView.h"

namespace quillon {

using platform::CGFloat;
using platform::CGRect;
using platform::CGSize;

namespace {

// The rectangle with each edge on the nearest pixel boundary, as a widget's geometry must be.
QRect centerScanRect(const CGRect& rect) {
    const CGRect r = rect.standardized();
    const long left = std::lround(r.minX());
    const long top = std::lround(r.minY());
    const long right = std::lround(r.maxX());
    const long bottom = std::lround(r.maxY());
    return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                 static_cast<int>(bottom - top));
}

}  // namespace

ImageSubtitleView::ImageSubtitleView(const ImageSubtitle& subtitle, bool isPrimarySubtitle,
                                     const std::optional<VideoDimensions>& videoDimensions,
                                     QWidget* parent)
    : QWidget(parent),
      subtitle_(subtitle),
      isPrimarySubtitle_(isPrimarySubtitle),
      renderingView_(new SubtitleImageRenderingView(this)) {
    if (subtitle.videoDimensions) {
        videoDimensions_ = subtitle.videoDimensions->effectiveSize;
    } else if (videoDimensions) {
        videoDimensions_ = videoDimensions->effectiveSize;
    }
    setGeometry(0, 0, 1, 1);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    renderingView_->setSubtitle(subtitle_);
    performLayout();
}

ImageSubtitleView::~ImageSubtitleView() = default;

CGFloat ImageSubtitleView::imageScale() const {
    if (!videoDimensions_) {
        return 1;
    }
    const CGFloat scale =
        std::min(width() / videoDimensions_->width, height() / videoDimensions_->height);
    return scale > 0 && std::isfinite(scale) ? scale : 1;
}

CGRect ImageSubtitleView::imageFrameInCanvas(CGFloat scale,
                                             std::optional<CGSize> canvasSize) const {
    const CGRect& frame = subtitle_.imageFrame;
    CGRect r = platform::CGRectMake(frame.origin.x * scale, frame.origin.y * scale,
                                    frame.size.width * scale, frame.size.height * scale);
    if (isPrimarySubtitle_) {
        return r;
    }
    const CGSize canvas = canvasSize.value_or(
        platform::CGSizeMake(static_cast<CGFloat>(width()), static_cast<CGFloat>(height())));
    r.origin.y = canvas.height - r.maxY();
    if (r.minY() <= canvas.height * 0.5 && canvas.height * 0.5 < r.maxY()) {
        r.origin.x = canvas.width - r.maxX();
    }
    return r;
}

CGRect ImageSubtitleView::imageFrameInView() const {
    const CGFloat scale = imageScale();
    platform::CGPoint canvasOrigin{0, 0};
    std::optional<CGSize> canvasSize;
    if (videoDimensions_) {
        canvasSize =
            platform::CGSizeMake(videoDimensions_->width * scale, videoDimensions_->height * scale);
        canvasOrigin = {width() * 0.5 - canvasSize->width * 0.5,
                        height() * 0.5 - canvasSize->height * 0.5};
    }
    return imageFrameInCanvas(scale, canvasSize).offsetBy(canvasOrigin.x, canvasOrigin.y);
}

void ImageSubtitleView::performLayout() {
    renderingView_->setGeometry(centerScanRect(imageFrameInView()));
}

void ImageSubtitleView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    performLayout();
}

}  // namespace quillon
