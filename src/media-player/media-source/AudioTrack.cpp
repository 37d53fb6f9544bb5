#include "media-player/media-source/AudioTrack.h"

namespace quillon {

AudioTrack::AudioTrack(std::shared_ptr<FFmpegAudioDecoder> decoder, const std::string& sourceID,
                       const AVStream& stream)
    : MediaTrack(sourceID, stream), decoder_(std::move(decoder)) {}

AudioTrack::~AudioTrack() = default;

}  // namespace quillon
