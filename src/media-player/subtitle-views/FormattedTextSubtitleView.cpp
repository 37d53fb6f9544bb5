#include "media-player/subtitle-views/FormattedTextSubtitleView.h"

#include <QResizeEvent>
#include <cmath>

#include "media-player/subtitle-views/SubtitleTextRenderingView.h"

namespace quillon {

using platform::CGFloat;

FormattedTextSubtitleView::FormattedTextSubtitleView(const FormattedTextSubtitle& subtitle,
                                                     bool drawsAtBottom, QWidget* parent)
    : QWidget(parent), subtitle_(subtitle), renderingView_(new SubtitleTextRenderingView(this)) {
    setGeometry(0, 0, 1, 1);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    renderingView_->setSubtitle(subtitle_);
    renderingView_->setDrawsAtBottom(drawsAtBottom);
    performLayout();
}

FormattedTextSubtitleView::~FormattedTextSubtitleView() = default;

CGFloat FormattedTextSubtitleView::scale(const SubtitleTextStyle& style, CGFloat height) {
    const SubtitleTextStyle::ScalingInfo& info = style.scalingInfo;
    const CGFloat scale = (info.baseFontSizePercentageRelativeToVideoHeight * height / 100) /
                          info.initialBaseFontSize;
    return scale > 0 && std::isfinite(scale) ? scale : 1;
}

void FormattedTextSubtitleView::performLayout() {
    const SubtitleTextStyle& style = subtitle_.style;
    const CGFloat scale = FormattedTextSubtitleView::scale(style, height());
    renderingView_->setGeometry(rect());
    const platform::NSEdgeInsets& insets = style.containerInsets;
    renderingView_->setAlignmentRectInsets(
        {insets.top * scale, insets.left * scale, insets.bottom * scale, insets.right * scale});
    const CGFloat drawingScale = scale * style.scalingInfo.additionalFontSizeMultiplier;
    renderingView_->scaleUnitSquareToSize({drawingScale, drawingScale});
}

void FormattedTextSubtitleView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    performLayout();
}

}  // namespace quillon
