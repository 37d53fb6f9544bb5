#include "platform/video-output/AVVideoWidget.h"

#include <cmath>

#include <QPainter>
#include <QRegion>

namespace platform {

AVVideoWidget::AVVideoWidget(QWidget* parent) : QWidget(parent), AVVideoOutput(this) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    VideoViewSink* sink = sink_.get();
    presenter_ = std::make_unique<VideoPicturePresenter>([sink] { sink->pictureIsReady(); });
    sink_->attach(presenter_.get());
}

AVVideoWidget::~AVVideoWidget() {
    sink_->detach();
    // The presenter's thread ends before the sink it reports to can go.
    presenter_.reset();
}

bool AVVideoWidget::currentPictureIsReady() const {
    return presenter_->newestFrame() == sink_->snapshot().frame;
}

void AVVideoWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    sink_->setView(size(), devicePixelRatioF());
}

void AVVideoWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const double ratio = devicePixelRatioF();
    sink_->setView(size(), ratio);
    const VideoViewSink::Snapshot current = sink_->snapshot();
    const VideoPicturePresenter::PictureRef picture = presenter_->takePicture();
    paintedFrame_ = nullptr;
    if (!current.frame || !picture) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const VideoPlacement placement =
        placeVideoPicture(current.frame, current.geometry, size(), ratio);
    if (!placement.valid) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    sink_->didPaint(picture->serial);
    paintedFrame_ = picture->frame;
    paintedLayout_ = picture->layout;
    // While a picture of the wanted shape is on its way, the last one is stretched to it.
    const QPointF centre(width() / 2.0, height() / 2.0);
    if (placement.drawnTurned) {
        painter.fillRect(rect(), Qt::black);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(centre);
        painter.setTransform(placement.turn, true);
        painter.drawImage(
            QRectF(QPointF(-placement.logical.width() / 2, -placement.logical.height() / 2),
                   placement.logical),
            picture->image);
        return;
    }
    const QSizeF shown = QSizeF(placement.layout.turnedSize()) / ratio;
    const QRectF target(QPointF(std::round(centre.x() - shown.width() / 2),
                                std::round(centre.y() - shown.height() / 2)),
                        shown);
    // Black goes only where the opaque picture leaves the view uncovered (the bars, and the
    // edge pixels that it covers in part): filling the whole view first would write every
    // pixel twice each frame.
    const QRect covered(QPoint(static_cast<int>(std::ceil(target.left())),
                               static_cast<int>(std::ceil(target.top()))),
                        QPoint(static_cast<int>(std::floor(target.right())) - 1,
                               static_cast<int>(std::floor(target.bottom())) - 1));
    for (const QRect& bar : QRegion(rect()).subtracted(QRegion(covered))) {
        painter.fillRect(bar, Qt::black);
    }
    if (picture->layout != placement.layout) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    painter.drawImage(target, picture->image);
}

}  // namespace platform
