#pragma once

#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "media-player/BufferDataRequester.h"
#include "media-player/MediaPlayerTimeObserverManager.h"
#include "media-player/decoders/subtitles/Subtitles.h"
#include "media-player/decoders/subtitles/SubtitlesFrame.h"
#include "media-player/media-source/VideoDimensions.h"
#include "platform/dispatch/DispatchBlock.h"
#include "platform/foundation/UUID.h"
#include "platform/graphics/CGGeometry.h"

namespace quillon {

class SubtitleTextStyleManager;

// Shows one stream of subtitles over the picture: the primary view draws its text at the bottom,
// the secondary at the top. Data providers hand it decoded frames ahead of the playback position;
// it shows each frame from its start time to its end time on the render synchronizer's clock,
// with one child view per subtitle, each filling the whole view, later ones above earlier ones.
// Overlapping frames are on screen together.
//
// It tells its mediaDataRequester how many accepted frames have not yet ended, so that a
// pull-driven provider keeps between 2 and 10 of them queued.
//
// Owned through shared_ptr (make): the providers hold it, and everything they hand it on other
// threads holds it weakly. A parent widget never owns it: when the parent goes, the view leaves
// it first. The last reference may be dropped on any thread; the widget is then destroyed on
// the main queue. Mouse events pass through to the views behind. Everything but
// updateVideoDimensions, removeAllSubtitlesAsync, enqueueFrameClosure and mediaDataRequester
// runs on the main thread.
class SubtitlesView : public QWidget, public std::enable_shared_from_this<SubtitlesView> {
    struct Passkey {};

public:
    // `timeObserverManager` runs on the player's synchronizer with start time zero: frame times
    // are synchronizer times. Without a style manager, plain text subtitles take the shared
    // one's user-specified style.
    static std::shared_ptr<SubtitlesView> make(
        bool isPrimarySubtitlesView, MediaPlayerTimeObserverManager timeObserverManager,
        std::shared_ptr<SubtitleTextStyleManager> styleManager = nullptr);

    SubtitlesView(Passkey, bool isPrimarySubtitlesView,
                  MediaPlayerTimeObserverManager timeObserverManager,
                  std::shared_ptr<SubtitleTextStyleManager> styleManager);
    ~SubtitlesView() override;

    bool isPrimarySubtitlesView() const { return isPrimarySubtitlesView_; }
    const std::optional<VideoDimensions>& currentVideoDimensions() const {
        return currentVideoDimensions_;
    }

    // Any thread. Takes effect on the main queue, for image subtitles shown from then on; those
    // on screen keep the dimensions they were made with.
    void updateVideoDimensions(std::optional<VideoDimensions> dimensions);

    // Schedules the frame's showing and hiding. Main thread.
    void enqueueFrame(const SubtitlesFrame& frame);
    // What a provider hands the main queue for each frame: enqueues it into the view if the view
    // still exists, and drops it otherwise.
    static platform::DispatchBlock enqueueFrameClosure(std::weak_ptr<SubtitlesView> view,
                                                       SubtitlesFrame frame);

    // Any thread: on the main queue, forgets every pending frame and takes every shown one off
    // the screen (a seek, a flush, a new track).
    void removeAllSubtitlesAsync();

    // The requester through which a pull-driven provider registers its producer (2, 10).
    const std::shared_ptr<BufferDataRequester>& mediaDataRequester() const {
        return mediaDataRequester_;
    }

    // Frames accepted and not yet ended or removed: the count the requester last got.
    std::size_t pendingFrameCount() const { return frameUUIDToEndTimeObserver_.size(); }
    // The child views on screen, bottom to top.
    std::vector<QWidget*> subtitleViews() const;

    // Clicks and drags belong to the views behind.
    QWidget* hitTest(platform::CGPoint point) const;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    using Observer = std::shared_ptr<void>;
    using ObserverHolder = std::shared_ptr<MediaPlayerTimeObserverManager::ObserverRef>;

    static void frameStartTimeReached(const MediaPlayerTimeObserverManager& manager,
                                      const std::weak_ptr<SubtitlesView>& view,
                                      const SubtitlesFrame& frame, const platform::UUID& uuid,
                                      const ObserverHolder& holder);
    static void frameEndTimeReached(const MediaPlayerTimeObserverManager& manager,
                                    const std::weak_ptr<SubtitlesView>& view,
                                    const platform::UUID& uuid, const ObserverHolder& holder);

    void showSubtitles(const Subtitles& subtitles, const platform::UUID& uuid);
    void addSubtitleView(QWidget* view);
    void removeAllSubtitles();
    void removeDisplayedSubtitles();
    void removeFrame(const platform::UUID& uuid);
    void cancel(const Observer& observer) const;
    void updateBufferCount();
    void watchParent();

    const bool isPrimarySubtitlesView_;
    std::optional<VideoDimensions> currentVideoDimensions_;
    const MediaPlayerTimeObserverManager timeObserverManager_;
    std::map<platform::UUID, Observer> frameUUIDToStartTimeObserver_;
    std::map<platform::UUID, Observer> frameUUIDToEndTimeObserver_;
    std::map<platform::UUID, std::vector<QPointer<QWidget>>> frameUUIDToSubtitleViewsMap_;
    std::shared_ptr<BufferDataRequester> mediaDataRequester_;
    std::shared_ptr<SubtitleTextStyleManager> styleManager_;
    QPointer<QWidget> watchedParent_;
    QMetaObject::Connection parentDestroyedConnection_;
};

}  // namespace quillon
