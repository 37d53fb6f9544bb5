#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/video/FFmpegVideoDecoder.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace quillon::test {

// What a decoder gave out for a whole file, fed packet by packet through a decode session and
// drained at the end of the file.
struct DecodedVideo {
    std::shared_ptr<FFmpegVideoDecoder> decoder;
    std::vector<platform::CMSampleBufferRef> sampleBuffers;
    // Of every packet read, in the stream's time base.
    std::vector<std::int64_t> packetPresentationTimes;
    AVRational timeBase{0, 1};
};

DecodedVideo decodeWholeFile(const std::string& path);

// Every picture of the file decoded by libavcodec alone (one thread), in presentation order.
std::vector<AVFramePointer> referenceFrames(const std::string& path);

// The buffer that the decoder's output for the frame must equal: the frame copied, or converted
// the way the decoder converts it, into a plain buffer of the output format.
platform::CVPixelBufferRef expectedPixelBuffer(const AVFrame& frame);

// Same format, size and visible pixels (row padding and extended pixels are not compared).
::testing::AssertionResult samePixels(const platform::CVPixelBufferRef& actual,
                                      const platform::CVPixelBufferRef& expected);

// The presentation times follow each other without gap or overlap: each one is the previous one
// plus the previous duration, and every duration is positive.
::testing::AssertionResult contiguousPresentationTimes(
    const std::vector<platform::CMSampleBufferRef>& sampleBuffers);

// The decoder's time for a timestamp of the stream.
platform::CMTime streamTime(std::int64_t timestamp, AVRational timeBase);

}  // namespace quillon::test
