#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media-player/decoders/audio/FFmpegAudioDecoder.h"
#include "media-player/media-source/MediaTrack.h"

namespace quillon {

// An audio stream with its decoder. The decoder is made first, by whoever builds the track: its
// refusal is what tells that a stream is no (playable) audio stream.
class AudioTrack : public MediaTrack {
public:
    AudioTrack(std::shared_ptr<FFmpegAudioDecoder> decoder, const std::string& sourceID,
               const AVStream& stream);
    ~AudioTrack() override;

    static std::shared_ptr<AudioTrack> make(std::shared_ptr<FFmpegAudioDecoder> decoder,
                                            const std::string& sourceID, const AVStream& stream) {
        return std::make_shared<AudioTrack>(std::move(decoder), sourceID, stream);
    }

    const std::shared_ptr<FFmpegAudioDecoder>& decoder() const { return decoder_; }

private:
    std::shared_ptr<FFmpegAudioDecoder> decoder_;
};

}  // namespace quillon
