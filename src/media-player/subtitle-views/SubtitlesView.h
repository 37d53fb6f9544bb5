#pragma once

#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "media-player/decoders/subtitles/Subtitles.h"
#include "media-player/decoders/subtitles/SubtitlesFrame.h"
#include "media-player/media-types/VideoDimensions.h"
#include "media-player/timing/BufferDataRequester.h"
#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/dispatch/DispatchBlock.h"
#include "platform/foundation/UUID.h"
#include "platform/graphics/CGGeometry.h"

namespace quillon {

class SubtitleTextStyleManager;
class SubtitlesTrack;

// Shows one stream of subtitles over the picture: the primary view draws its text at the bottom,
// the secondary at the top. Data providers hand it decoded frames ahead of the playback position;
// it shows each frame from its start time to its end time on the render synchronizer's clock,
// with one child view per subtitle, each filling the whole view, later ones above earlier ones.
// Overlapping frames are on screen together. Their text boxes never cover each other: whenever
// a subtitle starts (or the view changes size), the boxes placed by alignment are stacked in the
// order they started, each moved away from its edge past the boxes before it (upward at the
// bottom, downward at the top and in the middle). A subtitle that ends leaves the others where
// they are until the next one starts.
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

    // The track a frame was decoded from. Two providers may feed one view in turn (an embedded
    // track through the visual provider, an external one through its own provider), each from
    // its own queue: frames and clears name their track, so that one provider's late clear or
    // late frames cannot touch what the other has handed over.
    using FrameSource = const SubtitlesTrack*;

    // Any thread; called when the position's selection changes, before the new provider starts.
    // From then on the view takes frames of `source` only (none: no frames at all) and drops
    // the others' late arrivals; frames of other sources it already holds leave on the main
    // queue, ahead of anything the new provider sends. Until the first call, every frame is
    // taken.
    void acceptFramesOnlyFrom(FrameSource source);

    // Schedules the frame's showing and hiding, unless its source is not accepted. Main thread.
    void enqueueFrame(const SubtitlesFrame& frame, FrameSource source = nullptr);
    // What a provider hands the main queue for each frame: enqueues it into the view if the view
    // still exists, and drops it otherwise.
    static platform::DispatchBlock enqueueFrameClosure(std::weak_ptr<SubtitlesView> view,
                                                       SubtitlesFrame frame,
                                                       FrameSource source = nullptr);

    // Any thread: on the main queue, forgets every pending frame and takes every shown one off
    // the screen.
    void removeAllSubtitlesAsync();
    // Any thread: the same for the frames of `source` only (a seek, a flush, a new track).
    void removeSubtitlesAsync(FrameSource source);

    // The requester through which a pull-driven provider registers its producer (2, 10).
    const std::shared_ptr<BufferDataRequester>& mediaDataRequester() const {
        return mediaDataRequester_;
    }

    // Frames accepted and not yet ended or removed: the count the requester last got.
    std::size_t pendingFrameCount() const { return frameUUIDToEndTimeObserver_.size(); }
    // The same, of one source.
    std::size_t pendingFrameCount(FrameSource source) const;
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
    void stackTextSubtitles();
    void removeAllSubtitles();
    void removeDisplayedSubtitles(FrameSource source);
    void removeFrame(const platform::UUID& uuid);
    void removeFrames(const std::function<bool(FrameSource)>& matching);
    bool accepts(FrameSource source) const;
    void cancel(const Observer& observer) const;
    void updateBufferCount();
    void watchParent();

    const bool isPrimarySubtitlesView_;
    std::optional<VideoDimensions> currentVideoDimensions_;
    const MediaPlayerTimeObserverManager timeObserverManager_;
    std::map<platform::UUID, Observer> frameUUIDToStartTimeObserver_;
    std::map<platform::UUID, Observer> frameUUIDToEndTimeObserver_;
    std::map<platform::UUID, std::vector<QPointer<QWidget>>> frameUUIDToSubtitleViewsMap_;
    std::map<platform::UUID, FrameSource> frameUUIDToSource_;
    mutable std::mutex acceptedSourceMutex_;
    std::optional<FrameSource> acceptedSource_;
    std::shared_ptr<BufferDataRequester> mediaDataRequester_;
    std::shared_ptr<SubtitleTextStyleManager> styleManager_;
    QPointer<QWidget> watchedParent_;
    QMetaObject::Connection parentDestroyedConnection_;
};

}  // namespace quillon
