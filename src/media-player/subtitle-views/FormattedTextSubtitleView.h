#pragma once

#include <QWidget>

#include "media-player/decoders/subtitles/FormattedTextSubtitle.h"
#include "platform/graphics/CGGeometry.h"

namespace quillon {

class SubtitleTextRenderingView;

// One formatted subtitle over the picture. It fills the subtitles view, which has the picture's
// size, and scales the text with the picture height: a font of the style's initial base size
// comes out at the style's percentage of the height, times its additional multiplier. The
// container insets follow the picture size but not the additional multiplier. Main thread only.
class FormattedTextSubtitleView : public QWidget {
public:
    FormattedTextSubtitleView(const FormattedTextSubtitle& subtitle, bool drawsAtBottom,
                              QWidget* parent = nullptr);
    ~FormattedTextSubtitleView() override;

    const FormattedTextSubtitle& subtitle() const { return subtitle_; }
    SubtitleTextRenderingView& renderingView() const { return *renderingView_; }

    // The picture-height scale for a view `height` points high; 1 where it would not be a
    // positive finite number.
    static platform::CGFloat scale(const SubtitleTextStyle& style, platform::CGFloat height);

    // Sizes the rendering view and gives it the insets and drawing scale for the current size.
    void performLayout();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    FormattedTextSubtitle subtitle_;
    SubtitleTextRenderingView* renderingView_;  // a child: owned by the widget tree
};

}  // namespace quillon
