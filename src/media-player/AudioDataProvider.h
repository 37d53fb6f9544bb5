#pragma once

#include <functional>
#include <memory>

#include "media-player/QLAirPlayAudioRenderer.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/media-source/Atomic.h"
#include "media-player/media-source/AudioTrack.h"
#include "media-player/media-source/MediaSource.h"
#include "platform/coremedia/CMTime.h"
#include "platform/dispatch/DispatchQueue.h"

namespace quillon {

// Feeds the player's audio renderer with decoded sample buffers of the selected audio track,
// read from the source's audio context, so that audio seeks and reads independently of video.
//
// Every piece of work runs on the provider's serial queue and reaches it through restart(); the
// operations marked "on queue" are such work and must be called only from there. The renderer
// pulls: the provider decodes one packet per pass while the renderer is ready for more. Blocks
// handed to the renderer and to the decode session hold the provider weakly.
class AudioDataProvider : public std::enable_shared_from_this<AudioDataProvider> {
public:
    using Work = std::function<void()>;
    using Completion = std::function<void()>;
    using DecoderFailureHandler = std::function<void(std::shared_ptr<const platform::Error>)>;

    static constexpr const char* queueLabel = "Audio Data Provider Queue";

    // The decode sessions decode with what `decoderWrapper` makes of the track's decoder, when
    // given.
    AudioDataProvider(std::shared_ptr<MediaSource> mediaSource,
                      std::shared_ptr<QLAirPlayAudioRenderer> audioRenderer,
                      CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper = {});
    static std::shared_ptr<AudioDataProvider> make(
        std::shared_ptr<MediaSource> mediaSource,
        std::shared_ptr<QLAirPlayAudioRenderer> audioRenderer,
        CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper = {}) {
        return std::make_shared<AudioDataProvider>(std::move(mediaSource), std::move(audioRenderer),
                                                   std::move(decoderWrapper));
    }
    // Stops the renderer's requests.
    ~AudioDataProvider();

    AudioDataProvider(const AudioDataProvider&) = delete;
    AudioDataProvider& operator=(const AudioDataProvider&) = delete;

    // Submits `work` to the queue. With cancellingCurrentWork a request loop running there stops
    // after its current packet; the flag is lowered when the new work begins. `work` runs even
    // when the provider is gone by then: it must hold the provider weakly.
    void restart(bool cancellingCurrentWork, Work work);

    // On queue. Makes a fresh decode session for the track (none: no session), flushes the
    // renderer and registers for its requests again (none: requests stop).
    void selectAudioTrack(std::shared_ptr<AudioTrack> track);

    // On queue. Repositions the selected track at `time` (the file's time line), handing the
    // renderer only output that covers or follows it, and restarts the requests; with
    // provideImmediately it also fills the renderer at once. `completion` is submitted to
    // `completionQueue` in every case, also with nothing selected.
    void provideMediaData(platform::CMTime time, bool provideImmediately,
                          std::shared_ptr<platform::DispatchQueue> completionQueue,
                          Completion completion);

    const std::shared_ptr<platform::DispatchQueue>& queue() const { return queue_; }

    // Called on the queue, with the error, when the audio decoder takes no more packets. The
    // provider has stopped: it gives the renderer nothing more until the next audio selection.
    // Set before the first track is selected.
    void setDecoderFailureHandler(DecoderFailureHandler handler);
    // On queue.
    const std::shared_ptr<AudioTrack>& selectedAudioTrack() const { return selectedAudioTrack_; }

private:
    void requestMediaDataFromRenderer();
    void handleMediaDataRequest();
    // Runs provideNextSample while the renderer is ready; false when the cancel flag stopped it.
    void provideWhileReady();
    void seekAudioTrack(platform::CMTime target);
    // Reads and decodes one packet; true at the end of the stream (or after a read failure).
    bool provideNextSample();
    void decode(const Packet& packet);
    // Inside the catch block of a StuckDecoderError of the session.
    void decoderIsStuck();

    CoreMediaCompatibleDecodeSession::SampleBufferHandler plainSampleBufferHandler();
    CoreMediaCompatibleDecodeSession::SampleBufferHandler seekSampleBufferFilter(
        platform::CMTime target);

    std::shared_ptr<MediaSource> mediaSource_;
    std::shared_ptr<QLAirPlayAudioRenderer> audioRenderer_;
    std::shared_ptr<platform::DispatchQueue> queue_;
    Atomic<bool> shouldCancelProvideFunction_{false};
    // The fields below are used on queue only.
    std::shared_ptr<CoreMediaCompatibleDecodeSession> audioDecodeSession_;
    bool foundSampleBufferRelevantForSeeking_ = true;
    std::shared_ptr<AudioTrack> selectedAudioTrack_;
    DecoderFailureHandler decoderFailureHandler_;
    CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper_;
    // Set when the decoder got stuck; the session is not used again.
    bool decoderFailed_ = false;
};

}  // namespace quillon
