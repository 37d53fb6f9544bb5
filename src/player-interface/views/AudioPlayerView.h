#pragma once

#include <QPointer>
#include <optional>

#include "platform/appkit/NSVisualEffectView.h"
#include "player-interface/views/ContentLayoutGuideConstraint.h"
#include "player-interface/views/MediaPlayerView.h"

namespace quillon {

// The content view of a player window whose media has no picture: the controls, 377 points wide,
// right below the title bar on a translucent background, and nothing else. The window takes the
// view's size. Main thread only.
class AudioPlayerView : public MediaPlayerView {
public:
    static constexpr platform::CGFloat audioControlsWidth = 377;

    // `controlsView` becomes a subview (the controls view controller still owns it).
    explicit AudioPlayerView(QWidget* controlsView, QWidget* parent = nullptr);
    ~AudioPlayerView() override;

    QWidget* controlsView() const { return controlsView_; }
    platform::NSVisualEffectView* backgroundView() const { return backgroundView_; }
    const std::optional<ContentLayoutGuideTopConstraint>& contentLayoutGuideTopConstraint() const {
        return contentLayoutGuideTopConstraint_;
    }

    // Ties the controls' top to the new window's content layout guide (none without a window).
    void viewDidMoveToWindow();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void checkWindow();
    void layOut();
    platform::CGFloat controlsTop() const;

    QPointer<QWidget> controlsView_;
    std::optional<ContentLayoutGuideTopConstraint> contentLayoutGuideTopConstraint_;
    platform::NSVisualEffectView* backgroundView_;
    WindowChangeTracker windowTracker_;
};

}  // namespace quillon
