#include <cstdlib>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "VideoDecoderTestSupport.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "platform/corevideo/CVPixelFormatType.h"
#include "support/TestDemuxer.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

// interlaced-tff.ts is a bar crossing the picture, woven from fields 5 pixels apart;
// interlaced-tff-twin.ts the same film progressive, each picture the moment of its twin's
// first field.
const char* const interlacedFile = "interlaced-tff.ts";
const char* const progressiveTwinFile = "interlaced-tff-twin.ts";

const std::uint8_t* lumaRow(const CVPixelBufferRef& buffer, std::size_t row) {
    return buffer->baseAddressOfPlane(0) + row * buffer->geometry().planes[0].bytesPerRow;
}

// The mean difference of each luma sample from the one below it: the teeth of a woven picture
// whose fields show a moving edge at two places.
double lineToLineDifference(const CVPixelBufferRef& buffer) {
    const std::size_t width = CVPixelBufferGetWidth(buffer);
    const std::size_t height = CVPixelBufferGetHeight(buffer);
    double total = 0;
    for (std::size_t row = 0; row + 1 < height; ++row) {
        const std::uint8_t* line = lumaRow(buffer, row);
        const std::uint8_t* next = lumaRow(buffer, row + 1);
        for (std::size_t column = 0; column < width; ++column) {
            total += std::abs(line[column] - next[column]);
        }
    }
    return total / static_cast<double>(width * (height - 1));
}

// The mean difference between the luma samples of two pictures of one size.
double pictureDifference(const CVPixelBufferRef& a, const CVPixelBufferRef& b) {
    const std::size_t width = CVPixelBufferGetWidth(a);
    const std::size_t height = CVPixelBufferGetHeight(a);
    double total = 0;
    for (std::size_t row = 0; row < height; ++row) {
        for (std::size_t column = 0; column < width; ++column) {
            total += std::abs(lumaRow(a, row)[column] - lumaRow(b, row)[column]);
        }
    }
    return total / static_cast<double>(width * height);
}

std::vector<CVPixelBufferRef> pixelBuffers(const std::vector<CMSampleBufferRef>& sampleBuffers) {
    std::vector<CVPixelBufferRef> buffers;
    for (const CMSampleBufferRef& sampleBuffer : sampleBuffers) {
        buffers.push_back(CMSampleBufferGetImageBuffer(sampleBuffer));
    }
    return buffers;
}

// What was shown before pictures were deinterlaced: the decoded frames as they are.
std::vector<CVPixelBufferRef> wovenPictures() {
    std::vector<CVPixelBufferRef> buffers;
    for (const AVFramePointer& frame : referenceFrames(mediaPath(interlacedFile))) {
        buffers.push_back(expectedPixelBuffer(*frame));
    }
    return buffers;
}

double meanOf(const std::vector<CVPixelBufferRef>& pictures,
              double (*measure)(const CVPixelBufferRef&)) {
    double total = 0;
    for (const CVPixelBufferRef& picture : pictures) {
        total += measure(picture);
    }
    return total / static_cast<double>(pictures.size());
}

}  // namespace

TEST(FFmpegVideoDecoderInterlaced, ShowsThePictureOfTheFirstFieldWithoutCombs) {
    const DecodedVideo interlaced = decodeWholeFile(mediaPath(interlacedFile));
    const DecodedVideo twin = decodeWholeFile(mediaPath(progressiveTwinFile));
    const std::vector<CVPixelBufferRef> shown = pixelBuffers(interlaced.sampleBuffers);
    const std::vector<CVPixelBufferRef> progressive = pixelBuffers(twin.sampleBuffers);
    const std::vector<CVPixelBufferRef> woven = wovenPictures();
    ASSERT_EQ(shown.size(), progressive.size());
    ASSERT_EQ(shown.size(), woven.size());
    ASSERT_EQ(CVPixelBufferGetPixelFormatType(shown.front()), kCVPixelFormatType_420YpCbCr8Planar);

    const double shownDifference = meanOf(shown, lineToLineDifference);
    const double progressiveDifference = meanOf(progressive, lineToLineDifference);
    const double wovenDifference = meanOf(woven, lineToLineDifference);
    EXPECT_LT(shownDifference, progressiveDifference + 0.5)
        << shownDifference << " against " << progressiveDifference;
    // The clip does show combs when woven.
    EXPECT_GT(wovenDifference, 4 * (progressiveDifference + 0.5))
        << wovenDifference << " against " << progressiveDifference;

    // Each picture is the moment of its frame's first field: the bar where the twin has it.
    for (std::size_t index = 0; index < shown.size(); ++index) {
        const double shownFromTwin = pictureDifference(shown[index], progressive[index]);
        const double wovenFromTwin = pictureDifference(woven[index], progressive[index]);
        EXPECT_LT(shownFromTwin * 4, wovenFromTwin)
            << "picture " << index << ": " << shownFromTwin << " against " << wovenFromTwin;
    }
}

// bwdif looks one picture ahead; none may be lost at the end, and each keeps its own time.
TEST(FFmpegVideoDecoderInterlaced, KeepsEveryPictureAtItsOwnTime) {
    const DecodedVideo interlaced = decodeWholeFile(mediaPath(interlacedFile));
    const std::vector<AVFramePointer> frames = referenceFrames(mediaPath(interlacedFile));
    ASSERT_EQ(interlaced.sampleBuffers.size(), frames.size());
    for (std::size_t index = 0; index < frames.size(); ++index) {
        EXPECT_EQ(
            CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(interlaced.sampleBuffers[index]),
                          streamTime(frames[index]->best_effort_timestamp, interlaced.timeBase)),
            0)
            << "picture " << index;
    }
    EXPECT_TRUE(contiguousPresentationTimes(interlaced.sampleBuffers));
    EXPECT_EQ(interlaced.decoder->deinterlacer().graphCount(), 1u);

    // Progressive pictures never make a graph.
    const DecodedVideo progressive = decodeWholeFile(mediaPath(progressiveTwinFile));
    EXPECT_EQ(progressive.decoder->deinterlacer().graphCount(), 0u);
}

// A seek flushes the decoder while the deinterlacer holds pictures of the old position: none of
// them comes out afterwards, nor is any of their fields woven into the new pictures.
TEST(FFmpegVideoDecoderInterlaced, AFlushLeavesNothingOfTheOldPosition) {
    TestDemuxer demuxer(mediaPath(interlacedFile));
    auto decoder = std::make_shared<FFmpegVideoDecoder>(demuxer.stream());
    std::vector<CMSampleBufferRef> shown;
    CoreMediaCompatibleDecodeSession session(
        decoder, [&](CMSampleBufferRef sampleBuffer) { shown.push_back(sampleBuffer); });
    for (const PacketRef& packet : demuxer.readPackets(18)) {
        session.decode(*packet);
    }
    ASSERT_FALSE(shown.empty());
    ASSERT_TRUE(decoder->deinterlacer().holdsPictures());

    decoder->flush();
    EXPECT_FALSE(decoder->deinterlacer().holdsPictures());
    shown.clear();
    // Back to the start, as a seek there would read.
    TestDemuxer fromTheStart(mediaPath(interlacedFile));
    while (PacketRef packet = fromTheStart.readPacket()) {
        session.decode(*packet);
    }
    session.drain();

    const DecodedVideo whole = decodeWholeFile(mediaPath(interlacedFile));
    ASSERT_EQ(shown.size(), whole.sampleBuffers.size());
    for (std::size_t index = 0; index < shown.size(); ++index) {
        EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(shown[index]),
                                CMSampleBufferGetPresentationTimeStamp(whole.sampleBuffers[index])),
                  0)
            << "picture " << index;
        EXPECT_TRUE(samePixels(CMSampleBufferGetImageBuffer(shown[index]),
                               CMSampleBufferGetImageBuffer(whole.sampleBuffers[index])))
            << "picture " << index;
    }
}
