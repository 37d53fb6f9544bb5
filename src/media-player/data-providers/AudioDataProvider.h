#pragma once

#include <memory>

#include "media-player/data-providers/RendererDataProvider.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/media-source/AudioTrack.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/renderers/QLAirPlayAudioRenderer.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// Feeds the player's audio renderer with decoded sample buffers of the selected audio track,
// read from the source's audio context, so that audio seeks and reads independently of video.
//
// Every piece of work runs on the provider's serial queue and reaches it through restart(); the
// operations marked "on queue" are such work and must be called only from there. The renderer
// pulls: the provider decodes one packet per pass while the renderer is ready for more (see
// RendererDataProvider, which also says how the provider stops when the decoder takes no
// more packets).
class AudioDataProvider : public RendererDataProvider<AudioDataProvider, QLAirPlayAudioRenderer> {
public:
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

    // On queue. Makes a fresh decode session for the track (none: no session), flushes the
    // renderer and registers for its requests again (none: requests stop).
    void selectAudioTrack(std::shared_ptr<AudioTrack> track);
    // On queue.
    const std::shared_ptr<AudioTrack>& selectedAudioTrack() const { return selectedAudioTrack_; }

private:
    friend RendererDataProvider;

    // Repositions the selected track; the renderer gets only output that covers or follows
    // `target`.
    void seekSelectedTracks(platform::CMTime target);
    void provideWhileReady();
    // Reads and decodes one packet; true at the end of the stream (or after a read failure).
    bool provideNextSample();

    std::shared_ptr<MediaSource> mediaSource_;
    // Used on queue only.
    std::shared_ptr<AudioTrack> selectedAudioTrack_;
};

}  // namespace quillon
