#include "player-interface/views/VideoView.h"

#include <QEvent>

#include "player-interface/views/ContentLayoutGuideConstraint.h"

namespace quillon {

VideoView::VideoView(std::shared_ptr<platform::AVSampleBufferDisplayLayer> displayLayer,
                     const QRect& frame, QWidget* parent)
    : QWidget(parent),
      displayLayer_(std::move(displayLayer)),
      layer_(new VideoContainerLayer(displayLayer_, this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(frame);
    // Low hugging and compression resistance: the picture takes whatever room it is given.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    layer_->setGeometry(rect());
    viewDidChangeBackingProperties();
}

VideoView::~VideoView() = default;

QWidget* VideoView::hitTest(platform::CGPoint) const {
    return nullptr;
}

void VideoView::viewDidChangeBackingProperties() {
    layer_->setContentsScale(windowOfView(*this) != nullptr || isVisible() ? devicePixelRatioF()
                                                                           : 1.0);
}

bool VideoView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    switch (event->type()) {
        case QEvent::ParentChange:
        case QEvent::Show:
        case QEvent::ScreenChangeInternal:
            viewDidChangeBackingProperties();
            break;
        default:
            break;
    }
    return handled;
}

void VideoView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layer_->setGeometry(rect());
}

}  // namespace quillon
