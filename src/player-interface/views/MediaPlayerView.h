#pragma once

#include <QMimeData>
#include <QPointF>
#include <memory>
#include <optional>

#include "libraries/calyxware/LayerView.h"
#include "media-player/media-source/SupportedFileExtensions.h"
#include "platform/foundation/URL.h"
#include "player-interface/views/MediaPlayerViewDraggingDelegate.h"

namespace quillon {

// The common base of a player window's content views: takes a subtitle file dropped on the
// window and hands it to the dragging delegate (the window's view controller). Only file URLs
// are accepted, and only copied. Dragging the background with the left button moves the window
// (outside full screen); presses, clicks and double-clicks still reach whoever handled them
// before. Main thread only.
class MediaPlayerView : public calyxware::LayerView {
public:
    // What a drag offers: its data and the operations its source allows.
    struct DraggingInfo {
        const QMimeData* pasteboard = nullptr;
        Qt::DropActions sourceOperationMask = Qt::IgnoreAction;
    };

    explicit MediaPlayerView(const platform::CGRect& frame, QWidget* parent = nullptr);
    ~MediaPlayerView() override;

    std::shared_ptr<MediaPlayerViewDraggingDelegate> draggingDelegate() const {
        return draggingDelegate_.lock();
    }
    // Held weakly.
    void setDraggingDelegate(const std::shared_ptr<MediaPlayerViewDraggingDelegate>& delegate);

    // The extensions a dropped file must have; the application's subtitles types by default.
    void setSupportedFileExtensions(const SupportedFileExtensions* extensions);

    // The operation the drag would get: copy when the source allows it and the file is a
    // subtitle file the delegate can take now, none otherwise.
    Qt::DropAction draggingEntered(const DraggingInfo& info) const;
    bool prepareForDragOperation(const DraggingInfo& info) const;
    // Starts loading the file; true when the delegate got it.
    bool performDragOperation(const DraggingInfo& info);

    // The first URL that the data carry (the platform's URL-from-pasteboard reader).
    static std::optional<platform::URL> urlFromPasteboard(const QMimeData* pasteboard);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    // Hands the move of the window under the pressed button to the window system; true when it
    // took it. Tests observe the request here, since some platforms cannot move windows.
    virtual bool startWindowMove();

private:
    // The file and the delegate when the drag carries a file URL and there is a delegate.
    std::optional<std::pair<platform::URL, std::shared_ptr<MediaPlayerViewDraggingDelegate>>>
    fileAndDelegate(const DraggingInfo& info) const;

    std::weak_ptr<MediaPlayerViewDraggingDelegate> draggingDelegate_;
    const SupportedFileExtensions* supportedFileExtensions_;
    Qt::DropAction enteredOperation_ = Qt::IgnoreAction;
    // Where the left button went down, while a move of the window may still start from it.
    std::optional<QPointF> windowMovePressPosition_;
};

}  // namespace quillon
