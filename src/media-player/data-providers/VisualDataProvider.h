#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "media-player/data-providers/RendererDataProvider.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/decoders/subtitles/SubtitlesFrame.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/SubtitlesTrack.h"
#include "media-player/media-source/VideoTrack.h"
#include "media-player/renderers/QLSampleBufferDisplayLayer.h"
#include "media-player/subtitle-views/SubtitlesView.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// Feeds the player's display layer with decoded video and hands the frames of the selected
// embedded subtitles tracks to the two subtitles views (primary frames to the primary view,
// secondary to the secondary). Video and embedded subtitles share the source's visual context,
// so they are read together, packet by packet, in file order; subtitles are provided only while
// a video track is selected.
//
// Every piece of work runs on the provider's serial queue and reaches it through restart(); the
// operations marked "on queue" are such work and must be called only from there. The layer
// pulls: one packet is decoded per pass while the layer is ready for more (see
// RendererDataProvider). A video decoder that takes no more packets stops the provider
// only in software: a stuck hardware decoder is replaced by the software one. Blocks handed to
// the layer, the decode session and the main queue hold the provider (or the view) weakly.
class VisualDataProvider
    : public RendererDataProvider<VisualDataProvider, QLSampleBufferDisplayLayer> {
public:
    static constexpr const char* queueLabel = "Visual Data Provider Queue";

    // The video decode sessions decode with what `decoderWrapper` makes of the track's
    // decoder, when given.
    VisualDataProvider(std::shared_ptr<MediaSource> mediaSource,
                       std::shared_ptr<QLSampleBufferDisplayLayer> displayLayer,
                       std::shared_ptr<SubtitlesView> primarySubtitlesView,
                       std::shared_ptr<SubtitlesView> secondarySubtitlesView,
                       CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper = {});
    static std::shared_ptr<VisualDataProvider> make(
        std::shared_ptr<MediaSource> mediaSource,
        std::shared_ptr<QLSampleBufferDisplayLayer> displayLayer,
        std::shared_ptr<SubtitlesView> primarySubtitlesView,
        std::shared_ptr<SubtitlesView> secondarySubtitlesView,
        CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper = {}) {
        return std::make_shared<VisualDataProvider>(
            std::move(mediaSource), std::move(displayLayer), std::move(primarySubtitlesView),
            std::move(secondarySubtitlesView), std::move(decoderWrapper));
    }

    // On queue. Makes a fresh decode session for the track, takes the picture off the layer,
    // gives the layer the track's size and display transform (waiting for the main queue), and
    // registers for the layer's requests again; with none, requests stop and the layer's size
    // is zero.
    void selectVideoTrack(std::shared_ptr<VideoTrack> track);
    // On queue. Embedded tracks only; the matching view is cleared in every case.
    void selectPrimarySubtitlesTrack(std::shared_ptr<SubtitlesTrack> track);
    void selectSecondarySubtitlesTrack(std::shared_ptr<SubtitlesTrack> track);

    // Called on the queue when the video decoder has just given up its hardware decoder: the
    // software decoder takes over in the middle of a group of pictures and shows broken
    // pictures up to the next key frame unless it restarts from the last one, which a seek to
    // the current time does. Set before the first track is selected.
    void setVideoDecoderRestartHandler(Work handler);

private:
    friend RendererDataProvider;
    using FramesHandler = std::function<void(std::vector<SubtitlesFrame>)>;

    // Repositions video and the selected subtitles: the layer gets only pictures that cover or
    // follow `target`, the views only the subtitles that matter there.
    void seekSelectedTracks(platform::CMTime target);
    void seekVisualTracks(platform::CMTime target);
    void provideWhileReady();
    // Reads and decodes one packet; true at the end of the stream (or after a read failure).
    bool provideNextSample(const FramesHandler& primaryFrames,
                           const FramesHandler& secondaryFrames);
    void decodePacket(Packet& packet, const MediaTrack& track, const FramesHandler& primaryFrames,
                      const FramesHandler& secondaryFrames);
    // Runs one use of the video decode session, and asks for the restart when the decoder gave
    // up its hardware decoder meanwhile.
    template <typename Use>
    void useDecodeSession(Use&& use);
    // A stuck hardware decoder gives way to the software one.
    bool replaceStuckDecoder();
    void sampleBufferBeforeSeekTarget(const platform::CMSampleBufferRef& sampleBuffer);
    void firstSampleBufferOfSeek(const platform::CMSampleBufferRef& sampleBuffer,
                                 platform::CMTime target);

    // The selected embedded subtitles tracks, primary first, absent ones left out.
    std::vector<std::shared_ptr<SubtitlesTrack>> selectedSubtitlesTracks() const;
    // Hands each frame, in order, to the view on the main queue, starting with the picture on
    // screen (see seekPicture_).
    void enqueueFrames(const std::shared_ptr<SubtitlesView>& view, const SubtitlesTrack* track,
                       std::vector<SubtitlesFrame> frames) const;
    FramesHandler viewFramesHandler(const std::shared_ptr<SubtitlesView>& view,
                                    const SubtitlesTrack* track) const;
    // Takes the frames of the track that left the position, and any stale ones of the track
    // that took it, off the view.
    static void clearView(SubtitlesView& view, const std::shared_ptr<SubtitlesTrack>& previous,
                          const std::shared_ptr<SubtitlesTrack>& selected);

    std::shared_ptr<MediaSource> mediaSource_;
    std::shared_ptr<SubtitlesView> primarySubtitlesView_;
    std::shared_ptr<SubtitlesView> secondarySubtitlesView_;
    // The fields below are used on queue only.
    std::shared_ptr<VideoTrack> selectedVideoTrack_;
    std::shared_ptr<SubtitlesTrack> selectedPrimarySubtitlesTrack_;
    std::shared_ptr<SubtitlesTrack> selectedSecondarySubtitlesTrack_;
    Work videoDecoderRestartHandler_;
    // Where the last seek went, and the time of the first picture it gave the layer. A seek to
    // before the first picture (a file whose sound starts earlier, as after an encoder's priming
    // delay) leaves that picture on screen while the clock stands at the target: a subtitle that
    // starts by the picture's time belongs with it, and is shown from the target on.
    struct SeekPicture {
        platform::CMTime target = platform::kCMTimeInvalid;
        platform::CMTime pictureTime = platform::kCMTimeInvalid;

        void moveStartToTarget(SubtitlesFrame& frame) const;
    };
    SeekPicture seekPicture_;
    // The latest picture a seek's filter passed over as ending before the target: where the
    // target lies after the last picture of the file, it is the one that playing there shows.
    platform::CMSampleBufferRef lastPictureBeforeSeekTarget_;
};

}  // namespace quillon
