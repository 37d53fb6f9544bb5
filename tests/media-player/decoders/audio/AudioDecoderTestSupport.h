#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include "media-player/decoders/audio/FFmpegAudioDecoder.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/media-types/Packet.h"
#include "platform/coreaudio/AudioChannelLayoutTag.h"
#include "platform/coremedia/CMSampleBuffer.h"

namespace quillon::test {

using SampleBuffers = std::vector<platform::CMSampleBufferRef>;

// What the decoder gave out for a whole file, fed packet by packet through a decode session and
// drained at the end of the file.
struct DecodedAudio {
    std::shared_ptr<FFmpegAudioDecoder> decoder;
    SampleBuffers sampleBuffers;
};
DecodedAudio decodeWholeFile(const std::string& path);

// The file's audio decoded by libavcodec alone: every frame's samples, interleaved.
struct ReferenceAudio {
    std::int64_t frameCount = 0;
    std::vector<std::uint8_t> interleavedBytes;
    // Runs of frames of one sample rate: (rate, frames) in decoding order.
    std::vector<std::pair<int, std::int64_t>> rateRuns;
};
// From the start, or from the first packet read after a seek to seekTimestamp (stream time
// base).
ReferenceAudio referenceAudio(const std::string& path, std::int64_t seekTimestamp = -1);

// Interleaved samples with their channels put in `order` (for each channel, the index of the
// channel it comes from); unchanged when the order is empty.
std::vector<std::uint8_t> inChannelOrder(const std::vector<std::uint8_t>& interleaved,
                                         std::size_t bytesPerSample, const std::vector<int>& order);

// All samples of the buffers, concatenated.
std::vector<std::uint8_t> sampleBytes(const SampleBuffers& sampleBuffers);
std::int64_t totalFrameCount(const SampleBuffers& sampleBuffers);
double sampleRateOf(const platform::CMSampleBufferRef& sampleBuffer);
platform::AudioChannelLayoutTag layoutTagOf(const platform::CMSampleBufferRef& sampleBuffer);
// Runs of buffers of one sample rate: (rate, frames).
std::vector<std::pair<int, std::int64_t>> rateRuns(const SampleBuffers& sampleBuffers);
// The time just after the buffer's last sample.
platform::CMTime endTimeOf(const platform::CMSampleBufferRef& sampleBuffer);

// Each buffer starts where the one before it ends.
::testing::AssertionResult contiguousPresentationTimes(const SampleBuffers& sampleBuffers);

// An audio stream made in memory, whose decoder takes packets of raw samples.
class SyntheticStream {
public:
    SyntheticStream(AVCodecID codecID, int sampleRate, const AVChannelLayout& layout,
                    AVRational timeBase);
    const AVStream& stream() const { return *stream_; }
    // A packet of the given bytes at the time (stream time base).
    PacketRef packet(const std::vector<std::uint8_t>& bytes, std::int64_t presentationTimestamp);

private:
    AVFormatContextPointer context_;
    AVStream* stream_ = nullptr;
};

// A layout of these channels in this order (uninitialise it when done).
AVChannelLayout customLayout(const std::vector<AVChannel>& channels);

// A frame with its own buffers, nbSamples per channel, every sample of channel c set to the
// byte pattern of c + 1; times in the stream time base.
AVFramePointer makeAudioFrame(AVSampleFormat format, int sampleRate, const AVChannelLayout& layout,
                              int nbSamples, std::int64_t timestamp);

}  // namespace quillon::test
