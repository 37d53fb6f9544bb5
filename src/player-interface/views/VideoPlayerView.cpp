#include "player-interface/views/VideoPlayerView.h"

#include <QEvent>
#include <algorithm>
#include <cmath>

#include "media-player/MediaPlayer.h"

namespace quillon {

using platform::CGFloat;

namespace {

int rounded(CGFloat value) {
    return static_cast<int>(std::lround(value));
}

}  // namespace

VideoPlayerView::VideoPlayerView(const MediaPlayer& mediaPlayer, QWidget* controlsView,
                                 QWidget* parent)
    : VideoPlayerView(mediaPlayer.displayLayer(), mediaPlayer.primarySubtitlesView(),
                      mediaPlayer.secondarySubtitlesView(), controlsView, parent) {}

VideoPlayerView::VideoPlayerView(std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer,
                                 std::shared_ptr<SubtitlesView> primarySubtitlesView,
                                 std::shared_ptr<SubtitlesView> secondarySubtitlesView,
                                 QWidget* controlsView, QWidget* parent)
    : MediaPlayerView(platform::CGRectMake(0, 0, 1, 1), parent),
      primarySubtitlesView_(std::move(primarySubtitlesView)),
      secondarySubtitlesView_(std::move(secondarySubtitlesView)),
      floatingControlsView_(new platform::NSVisualEffectView(this)),
      videoViewForPictureInPicture_(new QWidget(this)),
      controlsView_(controlsView) {
    floatingControlsView_->setMaterial(platform::NSVisualEffectMaterial::hudWindow);
    floatingControlsView_->setBlendingMode(platform::NSVisualEffectBlendingMode::withinWindow);
    floatingControlsView_->setState(platform::NSVisualEffectState::active);
    floatingControlsView_->setCornerRadius(floatingControlsCornerRadius);
    setBackgroundColor(platform::NSColor::colorWithWhite(0, 1));

    // The container keeps its own layout wherever it is, here or in the Picture in Picture
    // window.
    videoViewForPictureInPicture_->installEventFilter(this);
    videoView_ =
        new VideoView(std::move(displayLayer), QRect(0, 0, 1, 1), videoViewForPictureInPicture_);
    if (secondarySubtitlesView_) {
        addSubtitlesView(*secondarySubtitlesView_);
    }
    if (primarySubtitlesView_) {
        addSubtitlesView(*primarySubtitlesView_);
    }

    if (controlsView_) {
        controlsView_->setParent(floatingControlsView_);
        controlsView_->show();
    }
    putVideoViewForPictureInPictureInPlace();
}

VideoPlayerView::~VideoPlayerView() {
    // The controls belong to their controller, and the subtitles views to the player.
    if (controlsView_) {
        controlsView_->setParent(nullptr);
    }
    if (videoViewForPictureInPicture_) {
        videoViewForPictureInPicture_->removeEventFilter(this);
        // The container is ours even while another window shows it.
        if (videoViewForPictureInPicture_->parent() != this) {
            delete videoViewForPictureInPicture_.data();
        }
    }
}

void VideoPlayerView::addSubtitlesView(SubtitlesView& view) {
    // Added later, so above what is there: the picture, then the secondary subtitles.
    view.setParent(videoViewForPictureInPicture_);
    view.show();
    view.raise();
}

void VideoPlayerView::putVideoViewForPictureInPictureInPlace() {
    QWidget* container = videoViewForPictureInPicture_;
    if (container == nullptr) {
        return;
    }
    if (container->parent() != this) {
        container->setParent(this);
    }
    container->stackUnder(floatingControlsView_);
    container->show();
    layOut();
}

void VideoPlayerView::setEffectiveVideoSize(std::optional<platform::CGSize> size) {
    effectiveVideoSize_ = size;
    updateAspectRatioConstraints();
}

void VideoPlayerView::updateAspectRatioConstraints() {
    primarySubtitlesViewAspectRatioConstraint_.reset();
    secondarySubtitlesViewAspectRatioConstraint_.reset();
    if (effectiveVideoSize_ && effectiveVideoSize_->height != 0) {
        const CGFloat ratio = effectiveVideoSize_->width / effectiveVideoSize_->height;
        primarySubtitlesViewAspectRatioConstraint_ = AspectRatioConstraint{ratio};
        secondarySubtitlesViewAspectRatioConstraint_ = AspectRatioConstraint{ratio};
    }
    layOutContainer();
}

void VideoPlayerView::pictureInPictureWillStart() {
    pictureInPictureIndicatorView_ = ExternalPlaybackIndicatorView::makePictureInPictureIndicator();
    pictureInPictureIndicatorView_->setParent(this);
    if (videoViewForPictureInPicture_ && videoViewForPictureInPicture_->parent() == this) {
        pictureInPictureIndicatorView_->stackUnder(videoViewForPictureInPicture_);
    } else {
        pictureInPictureIndicatorView_->stackUnder(floatingControlsView_);
    }
    pictureInPictureIndicatorView_->show();
    layOut();
}

void VideoPlayerView::pictureInPictureDidStop() {
    putVideoViewForPictureInPictureInPlace();
    pictureInPictureIndicatorView_.reset();
}

void VideoPlayerView::viewDidMoveToWindow() {
    contentLayoutGuideTopConstraint_.reset();
    if (QWidget* window = windowOfView(*this)) {
        contentLayoutGuideTopConstraint_ =
            ContentLayoutGuideTopConstraint{window, floatingControlsVerticalInset};
    }
    updateGeometry();
    layOut();
}

QRect VideoPlayerView::aspectFitRect(const QRect& bounds, std::optional<CGFloat> ratio) {
    if (!ratio || !(*ratio > 0) || !std::isfinite(*ratio)) {
        return bounds;
    }
    const CGFloat width = std::min<CGFloat>(bounds.width(), bounds.height() * *ratio);
    const CGFloat height = width / *ratio;
    const CGFloat left = bounds.x() + (bounds.width() - width) / 2;
    const CGFloat top = bounds.y() + (bounds.height() - height) / 2;
    const int x = rounded(left);
    const int y = rounded(top);
    return QRect(x, y, rounded(left + width) - x, rounded(top + height) - y);
}

QRect VideoPlayerView::floatingControlsFrame(QSize viewSize, int controlsHeight,
                                             std::optional<CGFloat> guideTop) {
    // Preferred: 21 points from both sides; never wider than 611 or narrower than 377.
    const CGFloat width =
        std::clamp<CGFloat>(viewSize.width() - 2 * floatingControlsHorizontalInset,
                            floatingControlsMinimumWidth, floatingControlsMaximumWidth);
    const CGFloat left = (viewSize.width() - width) / 2;
    CGFloat top = viewSize.height() - floatingControlsVerticalInset - controlsHeight;
    if (guideTop) {
        // The title bar wins over the bottom inset.
        top = std::max(top, *guideTop);
    }
    return QRect(rounded(left), rounded(top), rounded(width), controlsHeight);
}

int VideoPlayerView::controlsHeight() const {
    return controlsView_ ? std::max(0, controlsView_->sizeHint().height()) : 0;
}

std::optional<CGFloat> VideoPlayerView::guideTop() const {
    if (!contentLayoutGuideTopConstraint_) {
        return std::nullopt;
    }
    return contentLayoutGuideTopConstraint_->minimumY(*this);
}

void VideoPlayerView::layOut() {
    if (videoViewForPictureInPicture_ && videoViewForPictureInPicture_->parent() == this) {
        videoViewForPictureInPicture_->setGeometry(rect());
    }
    if (pictureInPictureIndicatorView_) {
        pictureInPictureIndicatorView_->setGeometry(rect());
    }
    floatingControlsView_->setGeometry(floatingControlsFrame(size(), controlsHeight(), guideTop()));
    if (controlsView_) {
        controlsView_->setGeometry(floatingControlsView_->rect());
    }
}

void VideoPlayerView::layOutContainer() {
    QWidget* container = videoViewForPictureInPicture_;
    if (container == nullptr) {
        return;
    }
    const QRect bounds = container->rect();
    videoView_->setGeometry(bounds);
    const auto place = [&](const std::shared_ptr<SubtitlesView>& view,
                           const std::optional<AspectRatioConstraint>& constraint) {
        if (view && view->parent() == container) {
            view->setGeometry(aspectFitRect(
                bounds, constraint ? std::optional(constraint->ratio) : std::nullopt));
        }
    };
    place(secondarySubtitlesView_, secondarySubtitlesViewAspectRatioConstraint_);
    place(primarySubtitlesView_, primarySubtitlesViewAspectRatioConstraint_);
}

bool VideoPlayerView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == videoViewForPictureInPicture_ && event->type() == QEvent::Resize) {
        layOutContainer();
    }
    return MediaPlayerView::eventFilter(watched, event);
}

bool VideoPlayerView::event(QEvent* event) {
    const bool handled = MediaPlayerView::event(event);
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show) {
        checkWindow();
    }
    return handled;
}

void VideoPlayerView::resizeEvent(QResizeEvent* event) {
    MediaPlayerView::resizeEvent(event);
    checkWindow();
    layOut();
}

void VideoPlayerView::checkWindow() {
    if (windowTracker_.update(*this)) {
        viewDidMoveToWindow();
    }
}

QSize VideoPlayerView::sizeHint() const {
    const QSize minimum = minimumSizeHint();
    return {std::max(minimum.width(),
                     rounded(floatingControlsMaximumWidth + 2 * floatingControlsHorizontalInset)),
            minimum.height()};
}

QSize VideoPlayerView::minimumSizeHint() const {
    // The panel's required limits: its least width with the insets, and its height between
    // the title bar's limit and the bottom inset.
    const int width = rounded(floatingControlsMinimumWidth + 2 * floatingControlsHorizontalInset);
    const std::optional<CGFloat> top = guideTop();
    const int height =
        top ? rounded(std::max<CGFloat>(0, *top) + floatingControlsVerticalInset) + controlsHeight()
            : 0;
    return {width, height};
}

}  // namespace quillon
