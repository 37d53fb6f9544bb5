#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "media-player/data-providers/RestartableDataProvider.h"
#include "media-player/decoders/subtitles/SubtitlesFrame.h"
#include "media-player/media-source/ExternalSubtitlesReading.h"
#include "media-player/media-source/ExternalSubtitlesTrack.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/subtitle-views/SubtitlesView.h"
#include "media-player/timing/BufferDataRequester.h"
#include "platform/coremedia/CMTime.h"

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
    : public RestartableDataProvider<ExternalSubtitlesDataProvider> {
public:
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
    // Reads and decodes one packet; at the end of the file (or after a read failure), drains.
    NextFrames readNextFrames();
    // At most one frame; a failure is logged and gives none.
    std::optional<SubtitlesFrame> decode(Packet& packet);

    BufferDataRequester::DataProducer dataProducer();
    void removeDataProducer();
    void enqueueFrames(const std::vector<SubtitlesFrame>& frames) const;

    std::shared_ptr<MediaSource> mediaSource_;
    std::shared_ptr<SubtitlesView> subtitlesView_;
    // Frames submitted to the main queue that the view has not received yet.
    std::shared_ptr<std::atomic<int>> framesInFlight_ = std::make_shared<std::atomic<int>>(0);
    // Used on queue only.
    std::shared_ptr<ExternalSubtitlesTrack> selectedSubtitlesTrack_;
    // The selected track's file, read for this provider alone: the other position may show
    // another track of the same file.
    std::unique_ptr<ExternalSubtitlesReading> reading_;
};

}  // namespace quillon
