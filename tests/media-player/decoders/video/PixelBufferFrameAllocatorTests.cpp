#include <gtest/gtest.h>

#include <set>

#include "VideoDecoderTestSupport.h"
#include "media-player/decoders/common/FFmpegDecoding.h"
#include "media-player/decoders/video/PixelBufferFrameAllocator.h"
#include "media-player/decoders/video/PixelBufferOutput.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "support/TestDemuxer.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

// Pictures decoded straight into the decoder's pool must stay as decoded for as long as a sample
// buffer holds them: while the decoder still uses them as references, and after it is gone.
TEST(PixelBufferFrameAllocator, PicturesDecodedIntoThePoolOutliveTheDecoderUnchanged) {
    const std::string path = mediaPath("gop-1s.mkv");
    DecodedVideo video = decodeWholeFile(path);
    const auto reference = referenceFrames(path);
    ASSERT_EQ(video.sampleBuffers.size(), reference.size());
    // Every picture came without a copy, each in a buffer of its own.
    EXPECT_EQ(video.decoder->frameAllocator().takenPixelBufferCount(), reference.size());
    std::set<const CVPixelBuffer*> distinct;
    for (const CMSampleBufferRef& sampleBuffer : video.sampleBuffers) {
        distinct.insert(CMSampleBufferGetImageBuffer(sampleBuffer).get());
    }
    EXPECT_EQ(distinct.size(), reference.size());

    video.decoder.reset();
    for (std::size_t index = 0; index < reference.size(); ++index) {
        SCOPED_TRACE(::testing::Message() << "picture " << index);
        EXPECT_TRUE(samePixels(CMSampleBufferGetImageBuffer(video.sampleBuffers[index]),
                               expectedPixelBuffer(*reference[index])));
    }
}

// A software H.264 decoder with the allocator installed, fed by hand.
class AllocatorDecoder {
public:
    explicit AllocatorDecoder(const std::string& path, int threadCount = 1) : demuxer_(path) {
        const AVStream& stream = demuxer_.stream();
        const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
        context_ = makeDecoderContext(codec, stream.codecpar, stream.time_base);
        context_->thread_count = threadCount;
        allocator_->install(*context_);
        openDecoder(codec, *context_);
    }

    // The next decoded picture, or null at the end of the file.
    AVFramePointer nextFrame() {
        AVFramePointer frame(av_frame_alloc());
        while (true) {
            if (avcodec_receive_frame(context_.get(), frame.get()) >= 0) {
                return frame;
            }
            PacketRef packet = demuxer_.readPacket();
            if (!packet) {
                avcodec_send_packet(context_.get(), nullptr);
                return avcodec_receive_frame(context_.get(), frame.get()) >= 0 ? std::move(frame)
                                                                               : nullptr;
            }
            avcodec_send_packet(context_.get(), &packet->avPacket());
        }
    }

    std::unique_ptr<PixelBufferOutput> makeOutput(int width, int height) {
        DecodedPictureFormat format = DecodedPictureFormat::of(*context_);
        format.width = width;
        format.height = height;
        return std::make_unique<PixelBufferOutput>(format, *context_, "test");
    }

    AVCodecContext& context() { return *context_; }
    PixelBufferFrameAllocator& allocator() { return *allocator_; }

private:
    TestDemuxer demuxer_;
    std::shared_ptr<PixelBufferFrameAllocator> allocator_ =
        std::make_shared<PixelBufferFrameAllocator>();
    AVCodecContextPointer context_;
};

// A buffer is given out once, only for a frame that shows its planes unchanged, and only while
// its pool is the target.
TEST(PixelBufferFrameAllocator, GivesOutABufferOnlyForTheFrameDecodedIntoIt) {
    AllocatorDecoder decoder(mediaPath("gop-1s.mkv"));
    const AVCodecContext& context = decoder.context();
    auto output = decoder.makeOutput(context.width, context.height);
    ASSERT_TRUE(output->poolForDecodingInto());
    decoder.allocator().setTargetPool(output->poolForDecodingInto(), context.pix_fmt);

    AVFramePointer first = decoder.nextFrame();
    ASSERT_TRUE(first);
    // A picture shown a second time (a reference to the same frame) must not share the buffer.
    AVFramePointer again(av_frame_clone(first.get()));
    const CVPixelBufferRef buffer = decoder.allocator().takePixelBuffer(*first);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->baseAddressOfPlane(0), first->data[0]);
    EXPECT_FALSE(decoder.allocator().takePixelBuffer(*again));

    // Cropping from the top moves the planes' start.
    AVFramePointer cropped = decoder.nextFrame();
    ASSERT_TRUE(cropped);
    for (int plane = 0; plane < 3; ++plane) {
        cropped->data[plane] += cropped->linesize[plane];
    }
    cropped->height -= 2;
    EXPECT_FALSE(decoder.allocator().takePixelBuffer(*cropped));

    // A frame of libavcodec's own memory.
    AVFramePointer foreign(av_frame_alloc());
    foreign->format = context.pix_fmt;
    foreign->width = context.width;
    foreign->height = context.height;
    ASSERT_GE(av_frame_get_buffer(foreign.get(), 0), 0);
    EXPECT_FALSE(decoder.allocator().takePixelBuffer(*foreign));

    // Decoded before the target moved on: its pool is no longer the output's.
    AVFramePointer beforeChange = decoder.nextFrame();
    ASSERT_TRUE(beforeChange);
    auto newOutput = decoder.makeOutput(context.width, context.height);
    decoder.allocator().setTargetPool(newOutput->poolForDecodingInto(), context.pix_fmt);
    EXPECT_FALSE(decoder.allocator().takePixelBuffer(*beforeChange));
}

// A pool whose buffers do not fit the pictures is left alone: libavcodec allocates for itself
// and nothing is handed out.
TEST(PixelBufferFrameAllocator, FallsBackToLibavcodecWhenThePoolDoesNotFit) {
    AllocatorDecoder decoder(mediaPath("gop-1s.mkv"), 2);
    const AVCodecContext& context = decoder.context();
    auto smaller = decoder.makeOutput(context.width / 2, context.height / 2);
    decoder.allocator().setTargetPool(smaller->poolForDecodingInto(), context.pix_fmt);
    for (int index = 0; index < 5; ++index) {
        AVFramePointer frame = decoder.nextFrame();
        ASSERT_TRUE(frame);
        EXPECT_FALSE(decoder.allocator().takePixelBuffer(*frame));
    }
    EXPECT_EQ(decoder.allocator().liveBufferCount(), 0u);
}

}  // namespace
