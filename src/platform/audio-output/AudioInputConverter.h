#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/audio-output/AudioSampleQueue.h"
#include "platform/audio-output/AudioSink.h"
#include "platform/coremedia/CMSampleBuffer.h"

struct SwrContext;

namespace platform {

// Turns linear PCM sample buffers of any layout, rate and sample type into chunks in the sink's
// format, placed on the time line by their presentation times. Buffers that follow each other
// without a gap form one stream through the resampler, so a rate conversion has no seams; a
// jump in time or a new format starts a new stream.
//
// Used by one thread at a time.
class AudioInputConverter {
public:
    explicit AudioInputConverter(AudioSinkFormat output);
    ~AudioInputConverter();
    AudioInputConverter(const AudioInputConverter&) = delete;
    AudioInputConverter& operator=(const AudioInputConverter&) = delete;

    // The buffer's frames as one chunk, written into `storage` (resized as needed); none when
    // the buffer holds no frames. Throws an NSError of AVFoundationErrorDomain when the buffer is
    // not linear PCM that can be played.
    std::optional<AudioChunk> convert(const CMSampleBufferRef& sampleBuffer,
                                      std::vector<float> storage);

    // Forgets the current stream (after a flush): the next buffer starts a new one.
    void reset();

private:
    struct InputFormat;
    struct Stream;

    void startStream(const InputFormat& format, CMTime presentationTime);

    const AudioSinkFormat output_;
    std::unique_ptr<Stream> stream_;
    // Reused for every buffer: the input as float, channels in FFmpeg's order.
    std::vector<float> scratch_;
    std::vector<std::uint8_t> gatherBuffer_;
};

}  // namespace platform
