#include "media-player/AudioDataProvider.h"

#include "media-player/DataProviderFailureLog.h"
#include "media-player/DataProviderRestart.h"
#include "media-player/SeekSampleBufferFilter.h"
#include "media-player/decoders/common/StuckDecoderError.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/dispatch/DispatchPredicate.h"

namespace quillon {

using platform::CMSampleBufferRef;
using platform::CMTime;
using platform::dispatchPrecondition;
using platform::DispatchPredicate;
using platform::DispatchQueue;

AudioDataProvider::AudioDataProvider(
    std::shared_ptr<MediaSource> mediaSource, std::shared_ptr<QLAirPlayAudioRenderer> audioRenderer,
    CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper)
    : mediaSource_(std::move(mediaSource)),
      audioRenderer_(std::move(audioRenderer)),
      queue_(DispatchQueue::makeSerial(queueLabel, platform::DispatchQoS::userInitiated)),
      decoderWrapper_(std::move(decoderWrapper)) {}

AudioDataProvider::~AudioDataProvider() {
    audioRenderer_->stopRequestingMediaData();
}

void AudioDataProvider::restart(bool cancellingCurrentWork, Work work) {
    restartDataProvider(*this, &AudioDataProvider::shouldCancelProvideFunction_, *queue_,
                        cancellingCurrentWork, std::move(work));
}

void AudioDataProvider::selectAudioTrack(std::shared_ptr<AudioTrack> track) {
    dispatchPrecondition(DispatchPredicate::onQueue(*queue_));
    selectedAudioTrack_ = std::move(track);
    decoderFailed_ = false;
    if (selectedAudioTrack_) {
        std::shared_ptr<CoreMediaCompatibleDecoder> decoder = selectedAudioTrack_->decoder();
        if (decoderWrapper_) {
            decoder = decoderWrapper_(std::move(decoder));
        }
        audioDecodeSession_ =
            CoreMediaCompatibleDecodeSession::make(std::move(decoder), plainSampleBufferHandler());
        audioDecodeSession_->decoder()->flush();
    } else {
        audioDecodeSession_.reset();
    }
    audioRenderer_->flush();
    audioRenderer_->stopRequestingMediaData();
    if (selectedAudioTrack_) {
        requestMediaDataFromRenderer();
    }
}

void AudioDataProvider::provideMediaData(CMTime time, bool provideImmediately,
                                         std::shared_ptr<DispatchQueue> completionQueue,
                                         Completion completion) {
    dispatchPrecondition(DispatchPredicate::onQueue(*queue_));
    if (selectedAudioTrack_ && audioDecodeSession_ && !decoderFailed_) {
        // The request block runs on this queue too, so it cannot start before this work ends.
        audioRenderer_->stopRequestingMediaData();
        requestMediaDataFromRenderer();
        audioDecodeSession_->decoder()->flush();
        audioRenderer_->flush();
        seekAudioTrack(time);
        if (provideImmediately) {
            provideWhileReady();
        }
    }
    completionQueue->async(std::move(completion));
}

void AudioDataProvider::requestMediaDataFromRenderer() {
    audioRenderer_->requestMediaDataWhenReadyOnQueue(queue_, [weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) {
            self->handleMediaDataRequest();
        }
    });
}

void AudioDataProvider::handleMediaDataRequest() {
    if (!selectedAudioTrack_ || !audioDecodeSession_ || decoderFailed_) {
        audioRenderer_->stopRequestingMediaData();
        return;
    }
    provideWhileReady();
}

void AudioDataProvider::provideWhileReady() {
    while (audioRenderer_->isReadyForMoreMediaData()) {
        // A cancelled loop leaves the requests registered: the work that cancelled it decides.
        // A stuck decoder stopped them already.
        if (shouldCancelProvideFunction_.wrappedValue() || decoderFailed_) {
            return;
        }
        if (provideNextSample()) {
            audioRenderer_->stopRequestingMediaData();
            return;
        }
    }
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
        try {
            audioDecodeSession_->drain();
        } catch (const StuckDecoderError&) {
            logDataProviderFailure("Failed to start decoding audio packet: ");
            decoderIsStuck();
        } catch (...) {
            // The drain logged its own line; the stream ends either way.
        }
        return true;
    }
    decode(*packet);
    return false;
}

void AudioDataProvider::decode(const Packet& packet) {
    if (decoderFailed_) {
        return;
    }
    try {
        audioDecodeSession_->decode(packet);
    } catch (const StuckDecoderError&) {
        logDataProviderFailure("Failed to start decoding audio packet: ");
        decoderIsStuck();
    } catch (...) {
        logDataProviderFailure("Failed to start decoding audio packet: ");
    }
}

void AudioDataProvider::decoderIsStuck() {
    // Every further packet would wait for it as long again, and none would be heard.
    decoderFailed_ = true;
    audioRenderer_->stopRequestingMediaData();
    if (decoderFailureHandler_) {
        decoderFailureHandler_(platform::currentError());
    }
}

void AudioDataProvider::setDecoderFailureHandler(DecoderFailureHandler handler) {
    queue_->async([weakSelf = weak_from_this(), handler = std::move(handler)] {
        if (const auto self = weakSelf.lock()) {
            self->decoderFailureHandler_ = handler;
        }
    });
}

void AudioDataProvider::seekAudioTrack(CMTime target) {
    std::vector<PacketRef> packets;
    try {
        packets = seekAudioTrackOnQueue(*mediaSource_, selectedAudioTrack_, target);
    } catch (...) {
        logDataProviderFailure("Failed to seek audio track: ");
        return;
    }
    foundSampleBufferRelevantForSeeking_ = false;
    if (!packets.empty()) {
        audioDecodeSession_->setSampleBufferHandler(seekSampleBufferFilter(target));
        for (const auto& packet : packets) {
            decode(*packet);
        }
        audioDecodeSession_->setSampleBufferHandler(plainSampleBufferHandler());
        if (foundSampleBufferRelevantForSeeking_) {
            return;
        }
    }
    audioDecodeSession_->setSampleBufferHandler(seekSampleBufferFilter(target));
    // Not cancellable: a seek that stopped half way would leave stale audio queued.
    while (!foundSampleBufferRelevantForSeeking_ && !decoderFailed_) {
        if (provideNextSample()) {
            audioRenderer_->stopRequestingMediaData();
            break;
        }
    }
    audioDecodeSession_->setSampleBufferHandler(plainSampleBufferHandler());
}

CoreMediaCompatibleDecodeSession::SampleBufferHandler
AudioDataProvider::plainSampleBufferHandler() {
    return [weakSelf = weak_from_this()](CMSampleBufferRef sampleBuffer) {
        if (const auto self = weakSelf.lock()) {
            self->audioRenderer_->enqueueSampleBuffer(sampleBuffer);
        }
    };
}

CoreMediaCompatibleDecodeSession::SampleBufferHandler AudioDataProvider::seekSampleBufferFilter(
    CMTime target) {
    return [weakSelf = weak_from_this(), target](CMSampleBufferRef sampleBuffer) {
        const auto self = weakSelf.lock();
        if (!self || !seekSampleBufferFilterAccepts(sampleBuffer, target)) {
            return;
        }
        self->audioRenderer_->enqueueSampleBuffer(sampleBuffer);
        self->foundSampleBufferRelevantForSeeking_ = true;
    };
}

}  // namespace quillon
