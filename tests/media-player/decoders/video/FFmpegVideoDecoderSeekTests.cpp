#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "VideoDecoderTestSupport.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "support/TestDemuxer.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

// A packet that carries the same data without any timestamp.
PacketRef withoutTimestamps(const Packet& packet) {
    AVPacket* copy = av_packet_clone(&packet.avPacket());
    copy->pts = AV_NOPTS_VALUE;
    copy->dts = AV_NOPTS_VALUE;
    PacketRef stripped = Packet::make(*copy);
    av_packet_free(&copy);
    return stripped;
}

// A seek flushes the decoder while it still holds pictures of the old position (in its threads
// and its reordering); what comes out afterwards starts at the new key frame and runs on from
// there without a gap, and nothing of the old position is among it.
TEST(FFmpegVideoDecoderSeek, FlushLeavesNothingOfTheOldPosition) {
    TestDemuxer demuxer(mediaPath("gop-1s.mkv"));
    auto decoder = std::make_shared<FFmpegVideoDecoder>(demuxer.stream());
    std::vector<CMSampleBufferRef> shown;
    CoreMediaCompatibleDecodeSession session(
        decoder, [&](CMSampleBufferRef sampleBuffer) { shown.push_back(sampleBuffer); });

    for (const PacketRef& packet : demuxer.readPackets(40)) {
        session.decode(*packet);
    }
    ASSERT_FALSE(shown.empty());
    const AVRational timeBase = demuxer.timeBase();
    const std::int64_t target = av_rescale_q(5, AVRational{1, 1}, timeBase);
    demuxer.seek(target);
    decoder->flush();
    EXPECT_FALSE(decoder->guessedNextPresentationTimestamp());
    shown.clear();

    // Whole groups of pictures, so that the pictures shown cover one stretch of time.
    std::vector<PacketRef> packets;
    while (PacketRef packet = demuxer.readPacket()) {
        if (packets.size() >= 50 && (packet->avPacket().flags & AV_PKT_FLAG_KEY)) {
            break;
        }
        packets.push_back(std::move(packet));
    }
    ASSERT_FALSE(packets.empty());
    ASSERT_TRUE(packets.front()->avPacket().flags & AV_PKT_FLAG_KEY);
    const std::int64_t keyFrame = packets.front()->avPacket().pts;
    EXPECT_LE(keyFrame, target);
    for (const PacketRef& packet : packets) {
        session.decode(*packet);
    }
    session.drain();

    ASSERT_EQ(shown.size(), packets.size());
    EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(shown.front()),
                            streamTime(keyFrame, timeBase)),
              0);
    EXPECT_TRUE(contiguousPresentationTimes(shown));
}

// Pictures without a timestamp of their own follow the previous one; after a flush there is
// nothing to follow.
TEST(FFmpegVideoDecoderTimestamps, GuessesMissingTimesFromThePreviousPicture) {
    TestDemuxer demuxer(mediaPath("rawvideo-yuv420p.nut"));
    auto decoder = std::make_shared<FFmpegVideoDecoder>(demuxer.stream());
    const std::vector<PacketRef> packets = demuxer.readPackets(6);
    ASSERT_EQ(packets.size(), 6u);
    std::vector<CMSampleBufferRef> shown;
    CoreMediaCompatibleDecodeSession session(
        decoder, [&](CMSampleBufferRef sampleBuffer) { shown.push_back(sampleBuffer); });

    session.decode(*packets[0]);
    for (std::size_t index = 1; index < 4; ++index) {
        session.decode(*withoutTimestamps(*packets[index]));
    }
    session.drain();
    ASSERT_EQ(shown.size(), 4u);
    for (std::size_t index = 0; index < shown.size(); ++index) {
        EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(shown[index]),
                                streamTime(packets[index]->avPacket().pts, demuxer.timeBase())),
                  0)
            << "picture " << index;
    }

    decoder->flush();
    ASSERT_TRUE(decoder->startDecoding(*withoutTimestamps(*packets[4])));
    try {
        decoder->dequeueSampleBuffer();
        ADD_FAILURE() << "a picture without any time was given out";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error.kind(), FFmpegError::Kind::noPresentationTimestamp);
    }
    // Having failed, the decoder has nothing to go on for the next picture either.
    ASSERT_TRUE(decoder->startDecoding(*withoutTimestamps(*packets[5])));
    EXPECT_THROW(decoder->dequeueSampleBuffer(), FFmpegError);
}

// Without a duration, the next picture has nothing to be guessed from.
TEST(FFmpegVideoDecoderTimestamps, APictureWithoutDurationEndsTheGuessing) {
    TestDemuxer demuxer(mediaPath("rawvideo-yuv420p.nut"));
    auto decoder = std::make_shared<FFmpegVideoDecoder>(demuxer.stream());
    const std::vector<PacketRef> packets = demuxer.readPackets(2);
    ASSERT_EQ(packets.size(), 2u);
    packets[0]->avPacket().duration = 0;

    ASSERT_TRUE(decoder->startDecoding(*packets[0]));
    const CMSampleBufferRef first = decoder->dequeueSampleBuffer();
    ASSERT_TRUE(first);
    EXPECT_TRUE(CMTIME_IS_INVALID(CMSampleBufferGetDuration(first)));
    EXPECT_FALSE(decoder->guessedNextPresentationTimestamp());

    ASSERT_TRUE(decoder->startDecoding(*withoutTimestamps(*packets[1])));
    EXPECT_THROW(decoder->dequeueSampleBuffer(), FFmpegError);
}

}  // namespace
