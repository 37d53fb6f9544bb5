#include "media-player/data-providers/ExternalSubtitlesDataProvider.h"

#include <iterator>
#include <utility>

#include "media-player/data-providers/DataProviderFailureLog.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "platform/dispatch/DispatchPredicate.h"

namespace quillon {

using platform::CMTime;
using platform::dispatchPrecondition;
using platform::DispatchPredicate;
using platform::DispatchQueue;

ExternalSubtitlesDataProvider::ExternalSubtitlesDataProvider(
    std::shared_ptr<MediaSource> mediaSource, std::shared_ptr<SubtitlesView> subtitlesView)
    : RestartableDataProvider(queueLabel),
      mediaSource_(std::move(mediaSource)),
      subtitlesView_(std::move(subtitlesView)) {}

ExternalSubtitlesDataProvider::~ExternalSubtitlesDataProvider() {
    removeDataProducer();
}

void ExternalSubtitlesDataProvider::selectSubtitlesTrack(
    std::shared_ptr<ExternalSubtitlesTrack> track) {
    dispatchPrecondition(DispatchPredicate::onQueue(*queue()));
    const auto previous = std::exchange(selectedSubtitlesTrack_, std::move(track));
    if (selectedSubtitlesTrack_ != previous) {
        reading_ = selectedSubtitlesTrack_
                       ? std::make_unique<ExternalSubtitlesReading>(selectedSubtitlesTrack_)
                       : nullptr;
    }
    if (selectedSubtitlesTrack_) {
        selectedSubtitlesTrack_->decoder()->flush();
    }
    subtitlesView_->removeSubtitlesAsync(previous.get());
    if (selectedSubtitlesTrack_ && selectedSubtitlesTrack_ != previous) {
        subtitlesView_->removeSubtitlesAsync(selectedSubtitlesTrack_.get());
    }
    removeDataProducer();
    if (selectedSubtitlesTrack_) {
        subtitlesView_->mediaDataRequester()->setDataProducer(dataProducer());
    }
}

void ExternalSubtitlesDataProvider::selectSubtitlesTrack(
    std::shared_ptr<ExternalSubtitlesTrack> track, std::shared_ptr<DispatchQueue> completionQueue,
    Completion completion) {
    selectSubtitlesTrack(std::move(track));
    completionQueue->async(std::move(completion));
}

void ExternalSubtitlesDataProvider::seekAndProvide(CMTime time, bool provideImmediately,
                                                   std::shared_ptr<DispatchQueue> completionQueue,
                                                   Completion completion) {
    dispatchPrecondition(DispatchPredicate::onQueue(*queue()));
    if (selectedSubtitlesTrack_) {
        // A producer removed at the end of the file comes back; a run it starts waits on this
        // queue until the seek is done.
        removeDataProducer();
        subtitlesView_->mediaDataRequester()->setDataProducer(dataProducer());
        selectedSubtitlesTrack_->decoder()->flush();
        subtitlesView_->removeSubtitlesAsync(selectedSubtitlesTrack_.get());
        seekExternalSubtitlesTrack(time);
        if (provideImmediately) {
            provideMediaData();
        }
    }
    completionQueue->async(std::move(completion));
}

void ExternalSubtitlesDataProvider::seekExternalSubtitlesTrack(CMTime target) {
    std::vector<PacketRef> packets;
    try {
        packets = reading_->seek(target);
    } catch (...) {
        logDataProviderFailure("Failed to seek external subtitles track: ");
        return;
    }
    std::vector<SubtitlesFrame> frames;
    for (const auto& packet : packets) {
        if (auto frame = decode(*packet)) {
            frames.push_back(std::move(*frame));
        }
    }
    readAndDecodePackets(target, std::move(frames));
}

void ExternalSubtitlesDataProvider::readAndDecodePackets(CMTime target,
                                                         std::vector<SubtitlesFrame> frames) {
    // Reads on until a frame starts at or after the target: every frame on screen there has
    // been met by then.
    while (frames.empty() || CMTimeCompare(frames.back().startTime, target) < 0) {
        NextFrames next = readNextFrames();
        frames.insert(frames.end(), std::make_move_iterator(next.frames.begin()),
                      std::make_move_iterator(next.frames.end()));
        if (next.endOfFile) {
            removeDataProducer();
            break;
        }
    }
    enqueueFrames(subtitlesFramesToShow(target, frames));
}

void ExternalSubtitlesDataProvider::provideMediaData() {
    dispatchPrecondition(DispatchPredicate::onQueue(*queue()));
    if (!selectedSubtitlesTrack_) {
        removeDataProducer();
        return;
    }
    const auto& requester = subtitlesView_->mediaDataRequester();
    while (requester->needsMoreData() && !isCancelled() &&
           framesInFlight_->load() < maximumFramesInFlight) {
        NextFrames next = readNextFrames();
        enqueueFrames(next.frames);
        if (next.endOfFile) {
            removeDataProducer();
            return;
        }
    }
}

ExternalSubtitlesDataProvider::NextFrames ExternalSubtitlesDataProvider::readNextFrames() {
    const auto& track = *selectedSubtitlesTrack_;
    PacketRef next;
    try {
        next = reading_->readPacket();
    } catch (...) {
        logDataProviderFailure("Failed to read packet from external subtitles track: ");
        return {{}, true};
    }
    if (!next) {
        try {
            return {drainSubtitlesFrameDecoder(*track.decoder()), true};
        } catch (...) {
            // The drain logged its own line; the file ends either way.
            return {{}, true};
        }
    }
    NextFrames result;
    if (auto frame = decode(*next)) {
        result.frames.push_back(std::move(*frame));
    }
    return result;
}

std::optional<SubtitlesFrame> ExternalSubtitlesDataProvider::decode(Packet& packet) {
    try {
        return selectedSubtitlesTrack_->decoder()->dequeueFrame(packet);
    } catch (...) {
        logDataProviderFailure("Failed to decode external subtitles packet: ");
        return std::nullopt;
    }
}

BufferDataRequester::DataProducer ExternalSubtitlesDataProvider::dataProducer() {
    return {queue(), [weakSelf = weak_from_this()] {
                if (const auto self = weakSelf.lock()) {
                    self->provideMediaData();
                }
            }};
}

void ExternalSubtitlesDataProvider::removeDataProducer() {
    subtitlesView_->mediaDataRequester()->setDataProducer(std::nullopt);
}

void ExternalSubtitlesDataProvider::enqueueFrames(const std::vector<SubtitlesFrame>& frames) const {
    for (const auto& frame : frames) {
        ++*framesInFlight_;
        DispatchQueue::main().async([enqueue = SubtitlesView::enqueueFrameClosure(
                                         subtitlesView_, frame, selectedSubtitlesTrack_.get()),
                                     framesInFlight = framesInFlight_]() mutable {
            enqueue();
            --*framesInFlight;
        });
    }
}

}  // namespace quillon
