#pragma once

#include <QPointer>
#include <memory>
#include <optional>

#include "media-player/subtitle-views/SubtitlesView.h"
#include "platform/appkit/NSVisualEffectView.h"
#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "player-interface/views/ContentLayoutGuideConstraint.h"
#include "player-interface/views/ExternalPlaybackIndicatorView.h"
#include "player-interface/views/MediaPlayerView.h"
#include "player-interface/views/VideoView.h"

namespace quillon {

class MediaPlayer;

// The content view of a player window whose media has a picture. From back to front: the
// picture, fitted with its aspect kept; the secondary and then the primary subtitles laid over
// the rectangle the picture covers; and a rounded heads-up panel holding the controls, centred
// near the bottom. The picture and the subtitles share one container, the view that Picture in
// Picture takes away into its own window and gives back; meanwhile an indicator stands in.
// Main thread only.
class VideoPlayerView : public MediaPlayerView {
public:
    static constexpr platform::CGFloat floatingControlsHorizontalInset = 21;
    static constexpr platform::CGFloat floatingControlsVerticalInset = 21;
    static constexpr platform::CGFloat floatingControlsMinimumWidth = 377;
    static constexpr platform::CGFloat floatingControlsMaximumWidth = 611;
    static constexpr platform::CGFloat floatingControlsCornerRadius = 10;

    // A subtitles view's width = height × ratio.
    struct AspectRatioConstraint {
        platform::CGFloat ratio;
    };

    // Shows the player's display layer and subtitles views; `controlsView` is the view of the
    // controls view controller, which keeps owning it.
    VideoPlayerView(const MediaPlayer& mediaPlayer, QWidget* controlsView,
                    QWidget* parent = nullptr);
    VideoPlayerView(std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer,
                    std::shared_ptr<SubtitlesView> primarySubtitlesView,
                    std::shared_ptr<SubtitlesView> secondarySubtitlesView, QWidget* controlsView,
                    QWidget* parent = nullptr);
    ~VideoPlayerView() override;

    const std::optional<platform::CGSize>& effectiveVideoSize() const {
        return effectiveVideoSize_;
    }
    // The selected video track's effective size, or none without one; the subtitles take its
    // aspect ratio, or the whole container without it.
    void setEffectiveVideoSize(std::optional<platform::CGSize> size);

    // The container of the picture and the subtitles.
    QWidget* videoViewForPictureInPicture() const { return videoViewForPictureInPicture_; }
    VideoView* videoView() const { return videoView_; }
    const std::shared_ptr<SubtitlesView>& primarySubtitlesView() const {
        return primarySubtitlesView_;
    }
    const std::shared_ptr<SubtitlesView>& secondarySubtitlesView() const {
        return secondarySubtitlesView_;
    }
    platform::NSVisualEffectView* floatingControlsView() const { return floatingControlsView_; }
    QWidget* controlsView() const { return controlsView_; }
    ExternalPlaybackIndicatorView* pictureInPictureIndicatorView() const {
        return pictureInPictureIndicatorView_.get();
    }

    const std::optional<AspectRatioConstraint>& primarySubtitlesViewAspectRatioConstraint() const {
        return primarySubtitlesViewAspectRatioConstraint_;
    }
    const std::optional<AspectRatioConstraint>& secondarySubtitlesViewAspectRatioConstraint()
        const {
        return secondarySubtitlesViewAspectRatioConstraint_;
    }
    const std::optional<ContentLayoutGuideTopConstraint>& contentLayoutGuideTopConstraint() const {
        return contentLayoutGuideTopConstraint_;
    }

    // Picture in Picture takes the container away after the first and gives it back before the
    // second.
    void pictureInPictureWillStart();
    void pictureInPictureDidStop();

    // Keeps the panel below the new window's title bar.
    void viewDidMoveToWindow();

    // The largest rectangle of `ratio` (width / height) that fits in `bounds`, centred; the
    // bounds themselves without a ratio.
    static QRect aspectFitRect(const QRect& bounds, std::optional<platform::CGFloat> ratio);
    // Where the panel goes in a view of `viewSize` for controls of `controlsHeight`, with the
    // top of the window's content layout guide at `guideTop` (none outside a window).
    static QRect floatingControlsFrame(QSize viewSize, int controlsHeight,
                                       std::optional<platform::CGFloat> guideTop);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void addSubtitlesView(SubtitlesView& view);
    void putVideoViewForPictureInPictureInPlace();
    void updateAspectRatioConstraints();
    void layOut();
    void layOutContainer();
    void checkWindow();
    int controlsHeight() const;
    std::optional<platform::CGFloat> guideTop() const;

    std::shared_ptr<SubtitlesView> primarySubtitlesView_;
    std::shared_ptr<SubtitlesView> secondarySubtitlesView_;
    std::optional<AspectRatioConstraint> primarySubtitlesViewAspectRatioConstraint_;
    std::optional<AspectRatioConstraint> secondarySubtitlesViewAspectRatioConstraint_;
    std::optional<ContentLayoutGuideTopConstraint> contentLayoutGuideTopConstraint_;
    platform::NSVisualEffectView* floatingControlsView_;
    std::optional<platform::CGSize> effectiveVideoSize_;
    QPointer<QWidget> videoViewForPictureInPicture_;
    std::unique_ptr<ExternalPlaybackIndicatorView> pictureInPictureIndicatorView_;
    QPointer<QWidget> controlsView_;
    VideoView* videoView_ = nullptr;
    WindowChangeTracker windowTracker_;
};

}  // namespace quillon
