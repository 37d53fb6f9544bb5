#include "media-player/subtitle-views/SubtitlesView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <utility>

#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "media-player/subtitle-views/FormattedTextSubtitleView.h"
#include "media-player/subtitle-views/ImageSubtitleView.h"
#include "media-player/subtitle-views/SubtitleTextRenderingView.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

bool isOnMainThread() {
    if (const QCoreApplication* application = QCoreApplication::instance()) {
        if (QThread::currentThread() == application->thread()) {
            return true;
        }
    }
    return platform::DispatchQueue::main().isCurrent();
}

}  // namespace

std::shared_ptr<SubtitlesView> SubtitlesView::make(
    bool isPrimarySubtitlesView, MediaPlayerTimeObserverManager timeObserverManager,
    std::shared_ptr<SubtitleTextStyleManager> styleManager) {
    // Providers may drop the last reference on their own queues; a widget goes on the main
    // thread only.
    return std::shared_ptr<SubtitlesView>(
        new SubtitlesView(Passkey{}, isPrimarySubtitlesView, std::move(timeObserverManager),
                          std::move(styleManager)),
        [](SubtitlesView* view) {
            if (isOnMainThread()) {
                delete view;
            } else {
                platform::DispatchQueue::main().async([view] { delete view; });
            }
        });
}

SubtitlesView::SubtitlesView(Passkey, bool isPrimarySubtitlesView,
                             MediaPlayerTimeObserverManager timeObserverManager,
                             std::shared_ptr<SubtitleTextStyleManager> styleManager)
    : QWidget(nullptr),
      isPrimarySubtitlesView_(isPrimarySubtitlesView),
      timeObserverManager_(std::move(timeObserverManager)),
      mediaDataRequester_(std::make_shared<BufferDataRequester>(2, 10, 0)),
      styleManager_(std::move(styleManager)) {
    setGeometry(0, 0, 1, 1);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

SubtitlesView::~SubtitlesView() {
    for (const auto& [uuid, observer] : frameUUIDToStartTimeObserver_) {
        cancel(observer);
    }
    for (const auto& [uuid, observer] : frameUUIDToEndTimeObserver_) {
        cancel(observer);
    }
    if (parentDestroyedConnection_) {
        QObject::disconnect(parentDestroyedConnection_);
    }
}

void SubtitlesView::updateVideoDimensions(std::optional<VideoDimensions> dimensions) {
    platform::DispatchQueue::main().async(
        [weakView = weak_from_this(), dimensions = std::move(dimensions)] {
            if (const auto view = weakView.lock()) {
                view->currentVideoDimensions_ = dimensions;
            }
        });
}

platform::DispatchBlock SubtitlesView::enqueueFrameClosure(std::weak_ptr<SubtitlesView> view,
                                                           SubtitlesFrame frame,
                                                           FrameSource source) {
    return [view = std::move(view), frame = std::move(frame), source] {
        if (const auto strongView = view.lock()) {
            strongView->enqueueFrame(frame, source);
        }
    };
}

void SubtitlesView::acceptFramesOnlyFrom(FrameSource source) {
    {
        std::lock_guard lock(acceptedSourceMutex_);
        acceptedSource_ = source;
    }
    // Posted before the new provider is given its track, so this runs ahead of its frames.
    platform::DispatchQueue::main().async([weakView = weak_from_this()] {
        if (const auto view = weakView.lock()) {
            view->removeFrames([&](FrameSource held) { return !view->accepts(held); });
        }
    });
}

bool SubtitlesView::accepts(FrameSource source) const {
    std::lock_guard lock(acceptedSourceMutex_);
    return !acceptedSource_ || *acceptedSource_ == source;
}

void SubtitlesView::removeAllSubtitlesAsync() {
    platform::DispatchQueue::main().async([weakView = weak_from_this()] {
        if (const auto view = weakView.lock()) {
            view->removeAllSubtitles();
        }
    });
}

void SubtitlesView::removeSubtitlesAsync(FrameSource source) {
    platform::DispatchQueue::main().async([weakView = weak_from_this(), source] {
        if (const auto view = weakView.lock()) {
            view->removeFrames([source](FrameSource held) { return held == source; });
        }
    });
}

std::size_t SubtitlesView::pendingFrameCount(FrameSource source) const {
    std::size_t count = 0;
    for (const auto& [uuid, observer] : frameUUIDToEndTimeObserver_) {
        if (const auto found = frameUUIDToSource_.find(uuid);
            found != frameUUIDToSource_.end() && found->second == source) {
            ++count;
        }
    }
    return count;
}

void SubtitlesView::enqueueFrame(const SubtitlesFrame& frame, FrameSource source) {
    // A frame of a source that has since lost the position was on its way when the selection
    // changed: it must not show up over the new track's.
    if (!accepts(source)) {
        return;
    }
    const platform::UUID uuid;
    const std::weak_ptr<SubtitlesView> weakView = weak_from_this();
    const MediaPlayerTimeObserverManager manager = timeObserverManager_;

    // The holders let each block find its own observer; registration returns before the block
    // can run, since both happen on the main queue.
    auto startHolder = std::make_shared<MediaPlayerTimeObserverManager::ObserverRef>();
    auto startObserver = timeObserverManager_.addSingleBoundaryTimeObserver(
        frame.startTime, nullptr, [manager, weakView, frame, uuid, startHolder] {
            frameStartTimeReached(manager, weakView, frame, uuid, startHolder);
        });
    *startHolder = startObserver;
    frameUUIDToStartTimeObserver_[uuid] = startObserver;
    frameUUIDToSource_[uuid] = source;

    if (frame.subtitles.kind() == Subtitles::Kind::clearPreviousSubtitles) {
        return;
    }

    auto endHolder = std::make_shared<MediaPlayerTimeObserverManager::ObserverRef>();
    auto endObserver = timeObserverManager_.addSingleBoundaryTimeObserver(
        frame.endTime, nullptr, [manager, weakView, uuid, endHolder] {
            frameEndTimeReached(manager, weakView, uuid, endHolder);
        });
    *endHolder = endObserver;
    frameUUIDToEndTimeObserver_[uuid] = endObserver;

    updateBufferCount();
}

void SubtitlesView::frameStartTimeReached(const MediaPlayerTimeObserverManager& manager,
                                          const std::weak_ptr<SubtitlesView>& weakView,
                                          const SubtitlesFrame& frame, const platform::UUID& uuid,
                                          const ObserverHolder& holder) {
    manager.removeTimeObserver(*holder);
    if (const auto view = weakView.lock()) {
        // A frame removed while its start was already on its way to the main queue must not
        // come back: only a frame that is still scheduled is shown.
        if (view->frameUUIDToStartTimeObserver_.contains(uuid)) {
            view->showSubtitles(frame.subtitles, uuid);
        }
    }
}

void SubtitlesView::frameEndTimeReached(const MediaPlayerTimeObserverManager& manager,
                                        const std::weak_ptr<SubtitlesView>& weakView,
                                        const platform::UUID& uuid, const ObserverHolder& holder) {
    manager.removeTimeObserver(*holder);
    if (const auto view = weakView.lock()) {
        view->removeFrame(uuid);
    }
}

void SubtitlesView::showSubtitles(const Subtitles& subtitles, const platform::UUID& uuid) {
    std::vector<QPointer<QWidget>> views;
    switch (subtitles.kind()) {
        case Subtitles::Kind::text: {
            // The style is read when the frame starts, so a change of preferences shows from the
            // next subtitle on.
            const auto& manager =
                styleManager_ ? styleManager_ : SubtitleTextStyleManager::shared();
            const SubtitleTextStyle style = manager->userSpecifiedStyle();
            FormattedTextSubtitle subtitle{
                platform::NSAttributedString(subtitles.textSubtitle()->text,
                                             style.textAttributes.underlyingTextAttributes)
                    .copy(),
                style};
            views.emplace_back(new FormattedTextSubtitleView(subtitle, isPrimarySubtitlesView_));
            break;
        }
        case Subtitles::Kind::formattedText:
            for (const FormattedTextSubtitle& subtitle : *subtitles.formattedTextSubtitles()) {
                views.emplace_back(
                    new FormattedTextSubtitleView(subtitle, isPrimarySubtitlesView_));
            }
            break;
        case Subtitles::Kind::images:
            for (const ImageSubtitle& subtitle : *subtitles.imageSubtitles()) {
                views.emplace_back(new ImageSubtitleView(subtitle, isPrimarySubtitlesView_,
                                                         currentVideoDimensions_));
            }
            break;
        case Subtitles::Kind::clearPreviousSubtitles:
            if (const auto found = frameUUIDToSource_.find(uuid);
                found != frameUUIDToSource_.end()) {
                removeDisplayedSubtitles(found->second);
            }
            // Its observer is spent and it has nothing on screen: keeping the entry would only let
            // bitmap streams, which clear after every picture, pile entries up until the next seek.
            frameUUIDToStartTimeObserver_.erase(uuid);
            frameUUIDToSource_.erase(uuid);
            break;
    }
    if (views.empty()) {
        return;
    }
    for (const QPointer<QWidget>& view : views) {
        addSubtitleView(view);
    }
    frameUUIDToSubtitleViewsMap_[uuid] = std::move(views);
    stackTextSubtitles();
}

void SubtitlesView::stackTextSubtitles() {
    using Vertical = SubtitleTextStyle::VerticalAlignment;
    struct Placed {
        platform::CGRect box;
        Vertical alignment;
    };
    std::vector<Placed> placed;
    // Children run from the earliest started to the latest.
    for (QWidget* child : subtitleViews()) {
        auto* textView = dynamic_cast<FormattedTextSubtitleView*>(child);
        if (textView == nullptr) {
            continue;
        }
        textView->performLayout();
        SubtitleTextRenderingView& renderingView = textView->renderingView();
        renderingView.setStackingOffset(0);
        if (!renderingView.isStackable()) {
            continue;
        }
        const Vertical alignment = renderingView.verticalAlignment();
        platform::CGRect box = renderingView.boxFrame();
        const platform::CGFloat natural = box.origin.y;
        // Moving only ever away from the edge, this ends: each move clears one box for good.
        for (bool moved = true; moved;) {
            moved = false;
            for (const Placed& other : placed) {
                if (other.alignment != alignment || !box.intersects(other.box)) {
                    continue;
                }
                box.origin.y = alignment == Vertical::bottom ? other.box.minY() - box.size.height
                                                             : other.box.maxY();
                moved = true;
            }
        }
        renderingView.setStackingOffset(box.origin.y - natural);
        placed.push_back({box, alignment});
    }
}

void SubtitlesView::addSubtitleView(QWidget* view) {
    // Pinned to all four edges: every child fills the view. A new child goes on top.
    view->setParent(this);
    view->setAttribute(Qt::WA_TransparentForMouseEvents);
    view->setGeometry(rect());
    view->raise();
    view->show();
}

void SubtitlesView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (const auto& [uuid, views] : frameUUIDToSubtitleViewsMap_) {
        for (const QPointer<QWidget>& view : views) {
            if (view) {
                view->setGeometry(rect());
            }
        }
    }
    stackTextSubtitles();
}

void SubtitlesView::removeFrame(const platform::UUID& uuid) {
    frameUUIDToSource_.erase(uuid);
    if (const auto found = frameUUIDToStartTimeObserver_.find(uuid);
        found != frameUUIDToStartTimeObserver_.end()) {
        const Observer observer = std::move(found->second);
        frameUUIDToStartTimeObserver_.erase(found);
        cancel(observer);
    }
    if (const auto found = frameUUIDToEndTimeObserver_.find(uuid);
        found != frameUUIDToEndTimeObserver_.end()) {
        const Observer observer = std::move(found->second);
        frameUUIDToEndTimeObserver_.erase(found);
        updateBufferCount();
        cancel(observer);
    }
    if (const auto found = frameUUIDToSubtitleViewsMap_.find(uuid);
        found != frameUUIDToSubtitleViewsMap_.end()) {
        const std::vector<QPointer<QWidget>> views = std::move(found->second);
        frameUUIDToSubtitleViewsMap_.erase(found);
        for (const QPointer<QWidget>& view : views) {
            delete view.data();
        }
    }
}

void SubtitlesView::removeDisplayedSubtitles(FrameSource source) {
    // Only frames on screen: those still waiting for their start are shown at their time.
    std::vector<platform::UUID> shown;
    for (const auto& [uuid, views] : frameUUIDToSubtitleViewsMap_) {
        if (const auto found = frameUUIDToSource_.find(uuid);
            found != frameUUIDToSource_.end() && found->second == source) {
            shown.push_back(uuid);
        }
    }
    for (const platform::UUID& uuid : shown) {
        removeFrame(uuid);
    }
}

void SubtitlesView::removeFrames(const std::function<bool(FrameSource)>& matching) {
    std::vector<platform::UUID> matched;
    for (const auto& [uuid, source] : frameUUIDToSource_) {
        if (matching(source)) {
            matched.push_back(uuid);
        }
    }
    for (const platform::UUID& uuid : matched) {
        removeFrame(uuid);
    }
}

void SubtitlesView::removeAllSubtitles() {
    frameUUIDToSource_.clear();
    auto startObservers = std::move(frameUUIDToStartTimeObserver_);
    frameUUIDToStartTimeObserver_.clear();
    for (const auto& [uuid, observer] : startObservers) {
        cancel(observer);
    }
    auto endObservers = std::move(frameUUIDToEndTimeObserver_);
    frameUUIDToEndTimeObserver_.clear();
    for (const auto& [uuid, observer] : endObservers) {
        cancel(observer);
    }
    updateBufferCount();
    auto shown = std::move(frameUUIDToSubtitleViewsMap_);
    frameUUIDToSubtitleViewsMap_.clear();
    for (const auto& [uuid, views] : shown) {
        for (const QPointer<QWidget>& view : views) {
            delete view.data();
        }
    }
}

void SubtitlesView::cancel(const Observer& observer) const {
    if (observer) {
        timeObserverManager_.removeTimeObserver(observer);
    }
}

void SubtitlesView::updateBufferCount() {
    mediaDataRequester_->setBufferCount(
        static_cast<std::int64_t>(frameUUIDToEndTimeObserver_.size()));
}

std::vector<QWidget*> SubtitlesView::subtitleViews() const {
    std::vector<QWidget*> views;
    for (QObject* child : children()) {
        if (auto* widget = dynamic_cast<QWidget*>(child);
            widget != nullptr && !widget->isHidden()) {
            views.push_back(widget);
        }
    }
    return views;
}

QWidget* SubtitlesView::hitTest(platform::CGPoint) const {
    return nullptr;
}

bool SubtitlesView::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) {
        watchParent();
    }
    return QWidget::event(event);
}

void SubtitlesView::watchParent() {
    if (parentDestroyedConnection_) {
        QObject::disconnect(parentDestroyedConnection_);
    }
    watchedParent_ = parentWidget();
    if (watchedParent_) {
        // The shared owners keep the view; a parent that goes first must not delete it. Its
        // destroyed signal comes before it deletes its children.
        parentDestroyedConnection_ = QObject::connect(
            watchedParent_, &QObject::destroyed, this, [this] { setParent(nullptr); },
            Qt::DirectConnection);
    }
}

}  // namespace quillon
