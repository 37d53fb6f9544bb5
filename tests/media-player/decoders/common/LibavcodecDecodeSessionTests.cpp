#include <gtest/gtest.h>

#include <algorithm>

#include "TestSampleBuffer.h"
#include "TestVideoFile.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/decoders/common/FFmpegDecoding.h"
#include "platform/foundation/Log.h"

using namespace quillon;
using quillon::testing::TestVideoFile;

namespace {

// A real libavcodec video decoder behind the decoder interface: one sample buffer per frame,
// stamped with the frame's presentation time in the stream's time base.
class LibavcodecVideoDecoder : public CoreMediaCompatibleDecoder {
public:
    LibavcodecVideoDecoder(const AVStream& stream, int threadCount) {
        const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
        if (codec == nullptr) {
            throw FFmpegError::decoderNotFound(stream.codecpar->codec_id);
        }
        context_ = makeDecoderContext(codec, stream.codecpar, stream.time_base);
        context_->thread_count = threadCount;
        openDecoder(codec, *context_);
        frame_ = makeFrame("init(stream:)");
    }

    MediaType mediaType() const override { return MediaType::video; }
    void flush() override { avcodec_flush_buffers(context_.get()); }

    bool startDecoding(const Packet& packet) override {
        const bool accepted = quillon::startDecoding(packet.avPacket(), *context_);
        refusals += accepted ? 0 : 1;
        return accepted;
    }

    platform::CMSampleBufferRef dequeueSampleBuffer() override {
        if (!dequeue(*context_, *frame_)) {
            return nullptr;
        }
        auto buffer = quillon::testing::makeTestSampleBuffer(
            platform::CMTimeMake(frame_->pts, context_->pkt_timebase.den));
        av_frame_unref(frame_.get());
        return buffer;
    }

    int refusals = 0;

private:
    AVCodecContextPointer context_;
    AVFramePointer frame_;
};

std::vector<std::int64_t> sortedPresentationTimes(const std::vector<PacketRef>& packets) {
    std::vector<std::int64_t> times;
    for (const auto& packet : packets) {
        times.push_back(packet->avPacket().pts);
    }
    std::sort(times.begin(), times.end());
    return times;
}

class LibavcodecDecodeSession : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        const std::string path = quillon::testing::smallVideoFilePath();
        if (path.empty()) {
            GTEST_SKIP() << "no ffmpeg CLI to make the test video";
        }
        file = std::make_unique<TestVideoFile>(path);
        // Sample buffer times then count in the stream's own ticks.
        ASSERT_EQ(file->stream->time_base.num, 1);
        decoder = std::make_shared<LibavcodecVideoDecoder>(*file->stream, GetParam());
        session = CoreMediaCompatibleDecodeSession::make(
            decoder, [this](platform::CMSampleBufferRef buffer) {
                shown.push_back(buffer->presentationTimeStamp().value);
            });
    }

    std::unique_ptr<TestVideoFile> file;
    std::shared_ptr<LibavcodecVideoDecoder> decoder;
    std::shared_ptr<CoreMediaCompatibleDecodeSession> session;
    std::vector<std::int64_t> shown;
};

}  // namespace

TEST_P(LibavcodecDecodeSession, DrainDeliversEveryFrameInPresentationOrder) {
    const auto packets = file->readVideoPackets();
    ASSERT_GT(packets.size(), 20u);
    platform::ScopedLogCapture log;

    for (const auto& packet : packets) {
        session->decode(*packet);
    }
    // The decoder holds frames back for reordering, so some packets were refused first.
    EXPECT_GT(decoder->refusals, 0);
    EXPECT_LT(shown.size(), packets.size());

    session->drain();
    EXPECT_EQ(shown, sortedPresentationTimes(packets));
    EXPECT_TRUE(log.lines().empty());
}

TEST_P(LibavcodecDecodeSession, FlushAfterSeekLeavesNoStaleOutput) {
    const auto packets = file->readVideoPackets();
    // Seek to the last key frame, after decoding a little past it so that the decoder holds
    // frames of the old position.
    std::size_t keyFrame = 0;
    for (std::size_t index = 1; index < packets.size(); ++index) {
        if (packets[index]->avPacket().flags & AV_PKT_FLAG_KEY) {
            keyFrame = index;
        }
    }
    ASSERT_GT(keyFrame, 0u);
    for (std::size_t index = 0; index < std::min(keyFrame + 3, packets.size()); ++index) {
        session->decode(*packets[index]);
    }

    decoder->flush();
    shown.clear();
    file->seek(packets[keyFrame]->avPacket().pts);
    const auto rest = file->readVideoPackets();
    ASSERT_EQ(rest.size(), packets.size() - keyFrame);
    for (const auto& packet : rest) {
        session->decode(*packet);
    }
    session->drain();
    EXPECT_EQ(shown, sortedPresentationTimes(rest));
}

INSTANTIATE_TEST_SUITE_P(Threads, LibavcodecDecodeSession, ::testing::Values(1, 3),
                         [](const auto& info) { return "threads" + std::to_string(info.param); });
