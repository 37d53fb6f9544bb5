#include "player-interface/views/MediaPlayerView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QUrl>
#include <QWindow>

namespace quillon {

MediaPlayerView::MediaPlayerView(const platform::CGRect& frame, QWidget* parent)
    : calyxware::LayerView(frame, parent), supportedFileExtensions_(&supportedFileExtensions()) {
    // Only file URLs are asked for: they are the one thing a drop can be.
    setAcceptDrops(true);
}

MediaPlayerView::~MediaPlayerView() = default;

void MediaPlayerView::setDraggingDelegate(
    const std::shared_ptr<MediaPlayerViewDraggingDelegate>& delegate) {
    draggingDelegate_ = delegate;
}

void MediaPlayerView::setSupportedFileExtensions(const SupportedFileExtensions* extensions) {
    supportedFileExtensions_ = extensions != nullptr ? extensions : &supportedFileExtensions();
}

std::optional<platform::URL> MediaPlayerView::urlFromPasteboard(const QMimeData* pasteboard) {
    if (pasteboard == nullptr || !pasteboard->hasUrls()) {
        return std::nullopt;
    }
    const QList<QUrl> urls = pasteboard->urls();
    if (urls.isEmpty() || !urls.front().isValid()) {
        return std::nullopt;
    }
    return platform::URL::fromString(urls.front().toString(QUrl::FullyEncoded).toStdString());
}

std::optional<std::pair<platform::URL, std::shared_ptr<MediaPlayerViewDraggingDelegate>>>
MediaPlayerView::fileAndDelegate(const DraggingInfo& info) const {
    std::optional<platform::URL> url = urlFromPasteboard(info.pasteboard);
    if (!url || !url->isFileURL()) {
        return std::nullopt;
    }
    std::shared_ptr<MediaPlayerViewDraggingDelegate> delegate = draggingDelegate_.lock();
    if (!delegate) {
        return std::nullopt;
    }
    return std::pair(std::move(*url), std::move(delegate));
}

bool MediaPlayerView::prepareForDragOperation(const DraggingInfo& info) const {
    const auto found = fileAndDelegate(info);
    return found && !found->second->isLoadingExternalSubtitles() &&
           supportedFileExtensions_->contains(found->first.pathExtension());
}

Qt::DropAction MediaPlayerView::draggingEntered(const DraggingInfo& info) const {
    if (!prepareForDragOperation(info)) {
        return Qt::IgnoreAction;
    }
    return (info.sourceOperationMask & Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction;
}

bool MediaPlayerView::performDragOperation(const DraggingInfo& info) {
    // The extension and a running load were checked when the drop was prepared.
    const auto found = fileAndDelegate(info);
    if (!found) {
        return false;
    }
    found->second->loadExternalSubtitles(found->first);
    return true;
}

void MediaPlayerView::dragEnterEvent(QDragEnterEvent* event) {
    enteredOperation_ = draggingEntered({event->mimeData(), event->possibleActions()});
    if (enteredOperation_ == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(enteredOperation_);
    event->accept();
}

void MediaPlayerView::dragMoveEvent(QDragMoveEvent* event) {
    // The answer on entering holds for the whole visit.
    if (enteredOperation_ == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(enteredOperation_);
    event->accept();
}

void MediaPlayerView::dropEvent(QDropEvent* event) {
    const DraggingInfo info{event->mimeData(), event->possibleActions()};
    if (!prepareForDragOperation(info) || !performDragOperation(info)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void MediaPlayerView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        windowMovePressPosition_ = event->position();
    }
    // Left unaccepted, as before, so the press still reaches the parents.
    calyxware::LayerView::mousePressEvent(event);
}

void MediaPlayerView::mouseMoveEvent(QMouseEvent* event) {
    if (windowMovePressPosition_ && (event->buttons() & Qt::LeftButton) != 0 &&
        !window()->isFullScreen() &&
        (event->position() - *windowMovePressPosition_).manhattanLength() >=
            QApplication::startDragDistance()) {
        // One move per press: the window system keeps it going until the button comes up.
        windowMovePressPosition_.reset();
        if (startWindowMove()) {
            event->accept();
            return;
        }
    }
    calyxware::LayerView::mouseMoveEvent(event);
}

void MediaPlayerView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        windowMovePressPosition_.reset();
    }
    calyxware::LayerView::mouseReleaseEvent(event);
}

bool MediaPlayerView::startWindowMove() {
    QWindow* handle = window()->windowHandle();
    return handle != nullptr && handle->startSystemMove();
}

}  // namespace quillon
