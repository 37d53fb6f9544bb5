#include "media-player/data-providers/VisualDataProvider.h"

#include <tuple>
#include <utility>

#include "media-player/data-providers/DataProviderFailureLog.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/dispatch/DispatchPredicate.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGGeometry.h"

namespace quillon {

using platform::CMSampleBufferRef;
using platform::CMTime;
using platform::dispatchPrecondition;
using platform::DispatchPredicate;
using platform::DispatchQueue;

VisualDataProvider::VisualDataProvider(
    std::shared_ptr<MediaSource> mediaSource,
    std::shared_ptr<QLSampleBufferDisplayLayer> displayLayer,
    std::shared_ptr<SubtitlesView> primarySubtitlesView,
    std::shared_ptr<SubtitlesView> secondarySubtitlesView,
    CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper)
    : RendererDataProvider(queueLabel, std::move(displayLayer), std::move(decoderWrapper),
                           "Failed to start decoding video packet: "),
      mediaSource_(std::move(mediaSource)),
      primarySubtitlesView_(std::move(primarySubtitlesView)),
      secondarySubtitlesView_(std::move(secondarySubtitlesView)) {}

void VisualDataProvider::selectVideoTrack(std::shared_ptr<VideoTrack> track) {
    dispatchPrecondition(DispatchPredicate::onQueue(*queue()));
    selectedVideoTrack_ = std::move(track);
    openDecodeSession(selectedVideoTrack_ ? selectedVideoTrack_->decoder() : nullptr);
    renderer()->flushAndRemoveImage();

    platform::CGSize size{0, 0};
    platform::CGAffineTransform transform = platform::CGAffineTransformIdentity;
    if (selectedVideoTrack_) {
        const VideoDimensions& dimensions = selectedVideoTrack_->dimensions();
        size = dimensions.squarePixelSize;
        transform = dimensions.displayTransform.value_or(platform::CGAffineTransformIdentity);
    }
    DispatchQueue::main().sync([&] {
        renderer()->setBounds(platform::CGRectMake(0, 0, size.width, size.height));
        renderer()->setAffineTransform(transform);
    });

    renewRequests();
}

void VisualDataProvider::selectPrimarySubtitlesTrack(std::shared_ptr<SubtitlesTrack> track) {
    dispatchPrecondition(DispatchPredicate::onQueue(*queue()));
    const auto previous = std::exchange(selectedPrimarySubtitlesTrack_, std::move(track));
    if (selectedPrimarySubtitlesTrack_) {
        selectedPrimarySubtitlesTrack_->decoder()->flush();
    }
    clearView(*primarySubtitlesView_, previous, selectedPrimarySubtitlesTrack_);
}

void VisualDataProvider::selectSecondarySubtitlesTrack(std::shared_ptr<SubtitlesTrack> track) {
    dispatchPrecondition(DispatchPredicate::onQueue(*queue()));
    const auto previous = std::exchange(selectedSecondarySubtitlesTrack_, std::move(track));
    if (selectedSecondarySubtitlesTrack_) {
        selectedSecondarySubtitlesTrack_->decoder()->flush();
    }
    clearView(*secondarySubtitlesView_, previous, selectedSecondarySubtitlesTrack_);
}

void VisualDataProvider::clearView(SubtitlesView& view,
                                   const std::shared_ptr<SubtitlesTrack>& previous,
                                   const std::shared_ptr<SubtitlesTrack>& selected) {
    view.removeSubtitlesAsync(previous.get());
    if (selected && selected != previous) {
        view.removeSubtitlesAsync(selected.get());
    }
}

void VisualDataProvider::seekSelectedTracks(CMTime target) {
    if (selectedPrimarySubtitlesTrack_) {
        selectedPrimarySubtitlesTrack_->decoder()->flush();
        primarySubtitlesView_->removeSubtitlesAsync(selectedPrimarySubtitlesTrack_.get());
    }
    if (selectedSecondarySubtitlesTrack_) {
        selectedSecondarySubtitlesTrack_->decoder()->flush();
        secondarySubtitlesView_->removeSubtitlesAsync(selectedSecondarySubtitlesTrack_.get());
    }
    seekVisualTracks(target);
}

void VisualDataProvider::provideWhileReady() {
    const FramesHandler primaryFrames =
        viewFramesHandler(primarySubtitlesView_, selectedPrimarySubtitlesTrack_.get());
    const FramesHandler secondaryFrames =
        viewFramesHandler(secondarySubtitlesView_, selectedSecondarySubtitlesTrack_.get());
    feedWhileReady([&] { return provideNextSample(primaryFrames, secondaryFrames); });
}

bool VisualDataProvider::provideNextSample(const FramesHandler& primaryFrames,
                                           const FramesHandler& secondaryFrames) {
    std::optional<VisualPacket> next;
    try {
        next = readVisualPacket(*mediaSource_, selectedVideoTrack_, selectedSubtitlesTracks());
    } catch (...) {
        logDataProviderFailure("Failed to read packet from video/subtitles tracks: ");
        return true;
    }
    if (next) {
        decodePacket(*next->packet, *next->track, primaryFrames, secondaryFrames);
        return false;
    }
    // The end of the file: what the decoders still hold is the last of the stream.
    drainDecodeSession();
    const std::pair<const std::shared_ptr<SubtitlesTrack>&, const FramesHandler&> subtitles[] = {
        {selectedPrimarySubtitlesTrack_, primaryFrames},
        {selectedSecondarySubtitlesTrack_, secondaryFrames}};
    if (selectedPrimarySubtitlesTrack_ &&
        selectedPrimarySubtitlesTrack_ == selectedSecondarySubtitlesTrack_) {
        // One decoder for both positions: drained once, its last frames go to both views.
        try {
            auto frames = drainSubtitlesFrameDecoder(*selectedPrimarySubtitlesTrack_->decoder());
            secondaryFrames(frames);
            primaryFrames(std::move(frames));
        } catch (...) {
            // The drain logged its own line; the stream ends either way.
        }
        return true;
    }
    for (const auto& [track, handler] : subtitles) {
        if (!track) {
            continue;
        }
        try {
            handler(drainSubtitlesFrameDecoder(*track->decoder()));
        } catch (...) {
            // The drain logged its own line; the other track still gives its last frames.
        }
    }
    return true;
}

void VisualDataProvider::decodePacket(Packet& packet, const MediaTrack& track,
                                      const FramesHandler& primaryFrames,
                                      const FramesHandler& secondaryFrames) {
    if (&track == selectedVideoTrack_.get()) {
        decode(packet);
        return;
    }
    // One embedded track may be chosen in both positions. Its decoder keeps state between
    // packets (closed captions build their rows from them), so each packet is decoded once and
    // the frames go to both views.
    const bool isPrimary = &track == selectedPrimarySubtitlesTrack_.get();
    const bool isSecondary = &track == selectedSecondarySubtitlesTrack_.get();
    if (isPrimary) {
        try {
            auto frames = selectedPrimarySubtitlesTrack_->decoder()->decode(packet);
            if (isSecondary) {
                secondaryFrames(frames);
            }
            primaryFrames(std::move(frames));
        } catch (...) {
            logDataProviderFailure("Failed to decode packet from primary subtitles track: ");
        }
    } else if (isSecondary) {
        try {
            secondaryFrames(selectedSecondarySubtitlesTrack_->decoder()->decode(packet));
        } catch (...) {
            logDataProviderFailure("Failed to decode packet from secondary subtitles track: ");
        }
    }
    // A packet of a track that is no longer selected is dropped silently.
}

template <typename Use>
void VisualDataProvider::useDecodeSession(Use&& use) {
    const bool wasDecodingOnHardware = selectedVideoTrack_->decoder()->isDecodingOnHardware();
    use();
    if (wasDecodingOnHardware && !selectedVideoTrack_->decoder()->isDecodingOnHardware() &&
        videoDecoderRestartHandler_) {
        videoDecoderRestartHandler_();
    }
}

bool VisualDataProvider::replaceStuckDecoder() {
    FFmpegVideoDecoder& decoder = *selectedVideoTrack_->decoder();
    if (!decoder.isDecodingOnHardware()) {
        return false;
    }
    platform::logWarning("Hardware decoder takes no packets; falling back to software decoder.");
    // The session's user sees the switch and asks for the restart.
    decoder.fallBackToSoftwareDecoder();
    return true;
}

void VisualDataProvider::setVideoDecoderRestartHandler(Work handler) {
    queue()->async([weakSelf = weak_from_this(), handler = std::move(handler)] {
        if (const auto self = weakSelf.lock()) {
            self->videoDecoderRestartHandler_ = handler;
        }
    });
}

void VisualDataProvider::seekVisualTracks(CMTime target) {
    // Frames decoded until the choice below, which knows the new picture, are not moved.
    seekPicture_ = {};
    PacketsByTrack packetsByTrack;
    try {
        packetsByTrack = quillon::seekVisualTracks(*mediaSource_, selectedVideoTrack_,
                                                   selectedSubtitlesTracks(), target);
    } catch (...) {
        logDataProviderFailure("Failed to seek visual tracks: ");
        return;
    }
    // Subtitle frames met while seeking wait until the seek ends, to be trimmed to those that
    // matter at the target.
    std::vector<SubtitlesFrame> primaryList;
    std::vector<SubtitlesFrame> secondaryList;
    const FramesHandler appendToPrimary = [&](std::vector<SubtitlesFrame> frames) {
        primaryList.insert(primaryList.end(), frames.begin(), frames.end());
    };
    const FramesHandler appendToSecondary = [&](std::vector<SubtitlesFrame> frames) {
        secondaryList.insert(secondaryList.end(), frames.begin(), frames.end());
    };
    const bool endedBeforeTarget = decodeToSeekTarget(
        target,
        [&] {
            for (const auto& entry : packetsByTrack.entries()) {
                for (const auto& packet : entry.packets) {
                    decodePacket(*packet, *entry.track, appendToPrimary, appendToSecondary);
                }
            }
        },
        [&] { return provideNextSample(appendToPrimary, appendToSecondary); });
    if (endedBeforeTarget) {
        // Past the last picture (a film that had played to its end, a sound track that runs on
        // after the picture), the last one stays, as it does when playing gets there. Only a
        // file that gave no picture at all leaves the view empty.
        if (lastPictureBeforeSeekTarget_) {
            // The layer was flushed as this seek began and took nothing since.
            renderer()->enqueueSampleBuffer(lastPictureBeforeSeekTarget_);
        } else {
            renderer()->flushAndRemoveImage();
        }
    }
    // Held only for the seek's last step (the filter is set nowhere else).
    lastPictureBeforeSeekTarget_ = nullptr;

    // The subtitles that matter are those of the picture on screen: it may lie after the target.
    seekPicture_.target = target;
    if (!CMTIME_IS_VALID(seekPicture_.pictureTime)) {
        seekPicture_.pictureTime = target;
    }
    const std::tuple<const std::shared_ptr<SubtitlesView>&, const SubtitlesTrack*,
                     const std::vector<SubtitlesFrame>&>
        lists[] = {
            {primarySubtitlesView_, selectedPrimarySubtitlesTrack_.get(), primaryList},
            {secondarySubtitlesView_, selectedSecondarySubtitlesTrack_.get(), secondaryList}};
    for (const auto& [view, track, list] : lists) {
        enqueueFrames(view, track, subtitlesFramesToShow(seekPicture_.pictureTime, list));
    }
}

void VisualDataProvider::SeekPicture::moveStartToTarget(SubtitlesFrame& frame) const {
    if (CMTIME_IS_VALID(target) && CMTIME_IS_VALID(pictureTime) &&
        platform::CMTimeCompare(target, frame.startTime) < 0 &&
        platform::CMTimeCompare(frame.startTime, pictureTime) <= 0) {
        frame.startTime = target;
    }
}

std::vector<std::shared_ptr<SubtitlesTrack>> VisualDataProvider::selectedSubtitlesTracks() const {
    std::vector<std::shared_ptr<SubtitlesTrack>> tracks;
    for (const auto& track : {selectedPrimarySubtitlesTrack_, selectedSecondarySubtitlesTrack_}) {
        // A track chosen in both positions is read once; decodePacket feeds both views.
        if (track && (tracks.empty() || tracks.front() != track)) {
            tracks.push_back(track);
        }
    }
    return tracks;
}

void VisualDataProvider::enqueueFrames(const std::shared_ptr<SubtitlesView>& view,
                                       const SubtitlesTrack* track,
                                       std::vector<SubtitlesFrame> frames) const {
    viewFramesHandler(view, track)(std::move(frames));
}

VisualDataProvider::FramesHandler VisualDataProvider::viewFramesHandler(
    const std::shared_ptr<SubtitlesView>& view, const SubtitlesTrack* track) const {
    // A frame read after the seek may still start with its picture; later ones start after it.
    return [weakView = std::weak_ptr(view), track,
            seekPicture = seekPicture_](std::vector<SubtitlesFrame> frames) {
        for (auto& frame : frames) {
            seekPicture.moveStartToTarget(frame);
            DispatchQueue::main().async(
                SubtitlesView::enqueueFrameClosure(weakView, std::move(frame), track));
        }
    };
}

void VisualDataProvider::sampleBufferBeforeSeekTarget(const CMSampleBufferRef& sampleBuffer) {
    lastPictureBeforeSeekTarget_ = sampleBuffer;
}

void VisualDataProvider::firstSampleBufferOfSeek(const CMSampleBufferRef& sampleBuffer,
                                                 CMTime target) {
    // The first picture of the seek stays on screen while the clock stands at the target.
    const CMTime presentationTime = platform::CMSampleBufferGetPresentationTimeStamp(sampleBuffer);
    seekPicture_.pictureTime =
        platform::CMTimeCompare(presentationTime, target) > 0 ? presentationTime : target;
}

}  // namespace quillon
