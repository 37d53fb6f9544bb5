#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "media-player/BufferDataRequester.h"
#include "media-player/SubtitlesView.h"
#include "media-player/decoders/subtitles/SubtitlesFrame.h"
#include "media-player/media-source/Atomic.h"
#include "media-player/media-source/ExternalSubtitlesReading.h"
#include "media-player/media-source/ExternalSubtitlesTrack.h"
#include "media-player/media-source/MediaSource.h"
#include "platform/coremedia/CMTime.h"
#include "platform/dispatch/DispatchQueue.h"

namespace quillon {

// Decodes the frames of one external subtitles track (a subtitle file read through its own
// source) and hands them to one subtitles view. No renderer pulls here: the view's
// BufferDataRequester runs the provider's producer loop whenever the view holds few frames, and
// the loop decodes until the view holds enough or the file ends (which removes the producer
// until the next selection or seek).
//
// Every piece of work runs on the provider's serial queue and reaches it through restart() (or
// the requester); the operations marked "on queue" must be called only from there. Blocks handed
// to the requester and the main queue hold the provider (or the view) weakly.
class ExternalSubtitlesDataProvider
    : public std::enable_shared_from_this<ExternalSubtitlesDataProvider> {
public:
    using Work = std::function<void()>;
    using Completion = std::function<void()>;

    static constexpr const char* queueLabel = "External Subtitles Data Provider Queue";
    // The view counts a frame only once the main queue has handed it over, so a loop that went
    // by the view's count alone would decode the whole file before the first count arrived
    // whenever the main thread lags. A run stops once this many of its frames are still on their
    // way (the view's high-water mark); their arrival starts the next run when needed.
    static constexpr int maximumFramesInFlight = 10;

    ExternalSubtitlesDataProvider(std::shared_ptr<MediaSource> mediaSource,
                                  std::shared_ptr<SubtitlesView> subtitlesView);
    static std::shared_ptr<ExternalSubtitlesDataProvider> make(
        std::shared_ptr<MediaSource> mediaSource, std::shared_ptr<SubtitlesView> subtitlesView) {
        return std::make_shared<ExternalSubtitlesDataProvider>(std::move(mediaSource),
                                                               std::move(subtitlesView));
    }
    // Removes the producer from the view's requester.
    ~ExternalSubtitlesDataProvider();

    ExternalSubtitlesDataProvider(const ExternalSubtitlesDataProvider&) = delete;
    ExternalSubtitlesDataProvider& operator=(const ExternalSubtitlesDataProvider&) = delete;

    // Submits `work` to the queue. With cancellingCurrentWork a producer loop running there
    // stops before its next packet; the flag is lowered when the new work begins. `work` runs
    // even when the provider is gone by then: it must hold the provider weakly.
    void restart(bool cancellingCurrentWork, Work work);

    // On queue. Clears the view and installs the producer for the track (none: removes it);
    // the requester starts a run at once when the view holds two frames or fewer.
    void selectSubtitlesTrack(std::shared_ptr<ExternalSubtitlesTrack> track);
    // The same, then submits `completion` to `completionQueue`.
    void selectSubtitlesTrack(std::shared_ptr<ExternalSubtitlesTrack> track,
                              std::shared_ptr<platform::DispatchQueue> completionQueue,
                              Completion completion);

    // On queue. Repositions the track at `time` (synchronizer time) and hands the view the
    // frames that matter there; with provideImmediately it also runs the producer loop.
    // `completion` is submitted to `completionQueue` in every case, also with no track.
    void seekAndProvide(platform::CMTime time, bool provideImmediately,
                        std::shared_ptr<platform::DispatchQueue> completionQueue,
                        Completion completion);

    // On queue: the producer loop. Decodes and hands over frames while the view needs more.
    void provideMediaData();

    const std::shared_ptr<platform::DispatchQueue>& queue() const { return queue_; }
    // On queue.
    const std::shared_ptr<ExternalSubtitlesTrack>& selectedSubtitlesTrack() const {
        return selectedSubtitlesTrack_;
    }

private:
    struct NextFrames {
        std::vector<SubtitlesFrame> frames;
        bool endOfFile = false;
    };

    void seekExternalSubtitlesTrack(platform::CMTime target);
    void readAndDecodePackets(platform::CMTime target, std::vector<SubtitlesFrame> frames);
    NextFrames readNextFrames();
    // At most one frame; a failure is logged and gives none.
    std::optional<SubtitlesFrame> decode(Packet& packet);

    BufferDataRequester::DataProducer dataProducer();
    void removeDataProducer();
    void enqueueFrames(const std::vector<SubtitlesFrame>& frames) const;

    std::shared_ptr<MediaSource> mediaSource_;
    std::shared_ptr<SubtitlesView> subtitlesView_;
    std::shared_ptr<platform::DispatchQueue> queue_;
    Atomic<bool> shouldCancelProvideFunction_{false};
    // Frames submitted to the main queue that the view has not received yet.
    std::shared_ptr<std::atomic<int>> framesInFlight_ = std::make_shared<std::atomic<int>>(0);
    // Used on queue only.
    std::shared_ptr<ExternalSubtitlesTrack> selectedSubtitlesTrack_;
    // The selected track's file, read for this provider alone: the other position may show
    // another track of the same file.
    std::unique_ptr<ExternalSubtitlesReading> reading_;
};

}  // namespace quillon
