#pragma once

#include <QWidget>
#include <memory>

#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "player-interface/views/VideoContainerLayer.h"

namespace quillon {

// Hosts the player's display layer inside a container layer that fits the picture into the
// view. Clicks pass through to the views behind and to the window. Main thread only.
class VideoView : public QWidget {
public:
    explicit VideoView(std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer,
                       const QRect& frame = QRect(0, 0, 1, 1), QWidget* parent = nullptr);
    ~VideoView() override;

    const std::shared_ptr<platform::AVSampleBufferDisplayLayer>& displayLayer() const {
        return displayLayer_;
    }
    VideoContainerLayer* layer() const { return layer_; }

    // Never the view: clicks are for what lies behind it.
    QWidget* hitTest(platform::CGPoint point) const;

    // The window's pixels per point (1 without a window) become the layers' contents scale.
    void viewDidChangeBackingProperties();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer_;
    VideoContainerLayer* layer_;
};

}  // namespace quillon
