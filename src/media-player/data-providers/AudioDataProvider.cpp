#include "media-player/data-providers/AudioDataProvider.h"

#include <vector>

#include "media-player/data-providers/DataProviderFailureLog.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/dispatch/DispatchPredicate.h"

namespace quillon {

using platform::CMTime;
using platform::dispatchPrecondition;
using platform::DispatchPredicate;

AudioDataProvider::AudioDataProvider(
    std::shared_ptr<MediaSource> mediaSource, std::shared_ptr<QLAirPlayAudioRenderer> audioRenderer,
    CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper)
    : RendererDataProvider(queueLabel, std::move(audioRenderer), std::move(decoderWrapper),
                           "Failed to start decoding audio packet: "),
      mediaSource_(std::move(mediaSource)) {}

void AudioDataProvider::selectAudioTrack(std::shared_ptr<AudioTrack> track) {
    dispatchPrecondition(DispatchPredicate::onQueue(*queue()));
    selectedAudioTrack_ = std::move(track);
    openDecodeSession(selectedAudioTrack_ ? selectedAudioTrack_->decoder() : nullptr);
    renderer()->flush();
    renewRequests();
}

void AudioDataProvider::provideWhileReady() {
    feedWhileReady([this] { return provideNextSample(); });
}

bool AudioDataProvider::provideNextSample() {
    PacketRef packet;
    try {
        packet = readAudioPacketOnQueue(*mediaSource_, *selectedAudioTrack_);
    } catch (...) {
        logDataProviderFailure("Failed to read packet from audio track: ");
        return true;
    }
    if (!packet) {
        drainDecodeSession();
        return true;
    }
    decode(*packet);
    return false;
}

void AudioDataProvider::seekSelectedTracks(CMTime target) {
    std::vector<PacketRef> packets;
    try {
        packets = seekAudioTrackOnQueue(*mediaSource_, selectedAudioTrack_, target);
    } catch (...) {
        logDataProviderFailure("Failed to seek audio track: ");
        return;
    }
    decodeToSeekTarget(
        target,
        [&] {
            for (const auto& packet : packets) {
                decode(*packet);
            }
        },
        [this] { return provideNextSample(); });
}

}  // namespace quillon
