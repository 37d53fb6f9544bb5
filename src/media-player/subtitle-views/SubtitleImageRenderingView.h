#pragma once

#include <QImage>
#include <QWidget>
#include <optional>

#include "media-player/decoders/subtitles/ImageSubtitle.h"

namespace quillon {

// Shows the bitmap of one image subtitle as its contents, scaled proportionally to fit its
// frame and centred; it draws nothing of its own. Main thread only.
class SubtitleImageRenderingView : public QWidget {
public:
    explicit SubtitleImageRenderingView(QWidget* parent = nullptr);

    const std::optional<ImageSubtitle>& subtitle() const { return subtitle_; }
    void setSubtitle(std::optional<ImageSubtitle> subtitle);

    // The contents: the subtitle's pixels, shared with its pixel buffer; null without a
    // subtitle, and for a buffer that is not 32-bit BGRA, which the view cannot show.
    const QImage& contents() const { return contents_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateLayer();

    std::optional<ImageSubtitle> subtitle_;
    QImage contents_;
    // contents_ at the size last painted.
    QImage scaled_;
};

}  // namespace quillon
