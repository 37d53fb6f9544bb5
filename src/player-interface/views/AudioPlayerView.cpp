#include "player-interface/views/AudioPlayerView.h"

#include <QEvent>
#include <algorithm>
#include <cmath>

namespace quillon {

AudioPlayerView::AudioPlayerView(QWidget* controlsView, QWidget* parent)
    : MediaPlayerView(platform::CGRectMake(0, 0, 1, 1), parent),
      controlsView_(controlsView),
      backgroundView_(new platform::NSVisualEffectView(this)) {
    backgroundView_->setBlendingMode(platform::NSVisualEffectBlendingMode::behindWindow);
    backgroundView_->setState(platform::NSVisualEffectState::active);
    if (controlsView_) {
        controlsView_->setParent(backgroundView_);
        controlsView_->show();
    }
    layOut();
}

AudioPlayerView::~AudioPlayerView() {
    // The controls view belongs to its controller, which may outlive this view.
    if (controlsView_) {
        controlsView_->setParent(nullptr);
    }
}

void AudioPlayerView::viewDidMoveToWindow() {
    contentLayoutGuideTopConstraint_.reset();
    if (QWidget* window = windowOfView(*this)) {
        contentLayoutGuideTopConstraint_ = ContentLayoutGuideTopConstraint{window, 0};
    }
    updateGeometry();
    layOut();
}

bool AudioPlayerView::event(QEvent* event) {
    const bool handled = MediaPlayerView::event(event);
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show) {
        checkWindow();
    }
    return handled;
}

void AudioPlayerView::resizeEvent(QResizeEvent* event) {
    MediaPlayerView::resizeEvent(event);
    checkWindow();
    layOut();
}

void AudioPlayerView::checkWindow() {
    if (windowTracker_.update(*this)) {
        viewDidMoveToWindow();
    }
}

platform::CGFloat AudioPlayerView::controlsTop() const {
    if (contentLayoutGuideTopConstraint_) {
        if (auto top = contentLayoutGuideTopConstraint_->minimumY(*this)) {
            return std::max(0.0, *top);
        }
    }
    // Only the bottom is tied: the controls take their own height.
    const int controlsHeight = controlsView_ ? controlsView_->sizeHint().height() : 0;
    return std::max(0, height() - controlsHeight);
}

void AudioPlayerView::layOut() {
    backgroundView_->setGeometry(rect());
    if (!controlsView_) {
        return;
    }
    const int top = static_cast<int>(std::lround(controlsTop()));
    controlsView_->setGeometry(0, top, static_cast<int>(audioControlsWidth),
                               std::max(0, height() - top));
}

QSize AudioPlayerView::sizeHint() const {
    const int controlsHeight = controlsView_ ? controlsView_->sizeHint().height() : 0;
    // Width and height are fixed by the controls: the window fits around them.
    const platform::CGFloat top =
        contentLayoutGuideTopConstraint_
            ? std::max(0.0, contentLayoutGuideTopConstraint_->minimumY(*this).value_or(0))
            : 0;
    return {static_cast<int>(audioControlsWidth),
            static_cast<int>(std::lround(top)) + controlsHeight};
}

QSize AudioPlayerView::minimumSizeHint() const {
    return sizeHint();
}

}  // namespace quillon
