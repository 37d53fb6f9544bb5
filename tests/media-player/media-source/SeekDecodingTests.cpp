#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "MediaSourceTestSupport.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "media-player/media-source/PacketReading.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"
#include "platform/corevideo/CVPixelBuffer.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

PacketRef packetAt(std::int64_t pts, std::int64_t duration) {
    AVPacket* raw = av_packet_alloc();
    raw->pts = pts;
    raw->duration = duration;
    raw->flags = AV_PKT_FLAG_KEY;
    PacketRef packet = Packet::make(*raw);
    av_packet_free(&raw);
    return packet;
}

// A picture is over by the target when it ends at or before it; one without a duration only
// counts as shown when it starts after the target, as the seek's display filter has it.
TEST(SeekPacketMarking, MarksExactlyThePicturesThatAreOverByTheTarget) {
    struct Case {
        std::int64_t pts;
        std::int64_t duration;
        bool over;
    };
    const AVRational timeBase{1, 1000};
    const CMTime target = CMTimeMake(1000, 1000);
    for (const Case& test :
         {Case{900, 100, true}, Case{900, 101, false}, Case{-5000, 40, true}, Case{950, 0, true},
          Case{1000, 0, false}, Case{1000, 40, false}, Case{AV_NOPTS_VALUE, 40, false}}) {
        SCOPED_TRACE(testing::Message() << "pts " << test.pts << " duration " << test.duration);
        const PacketRef packet = packetAt(test.pts, test.duration);
        markPacketsOverBy(target, timeBase, {&packet, 1});
        EXPECT_EQ((packet->avPacket().flags & AV_PKT_FLAG_DISCARD) != 0, test.over);
        EXPECT_TRUE(packet->avPacket().flags & AV_PKT_FLAG_KEY);
    }
    // A time that does not fit in a Core Media time cannot be placed before the target.
    const PacketRef huge = packetAt(std::numeric_limits<std::int64_t>::min() / 2, 1);
    markPacketsOverBy(target, AVRational{1001, 30000}, {&huge, 1});
    EXPECT_FALSE(huge->avPacket().flags & AV_PKT_FLAG_DISCARD);
}

// Of the pictures over by the target, the latest is given out after all: for a target past the
// last picture, it is the one to show.
TEST(SeekPacketMarking, TheLatestPictureOverByTheTargetIsSpared) {
    const AVRational timeBase{1, 1000};
    // In decoding order, as reordered pictures come: the latest is not the last read.
    std::vector<PacketRef> packets;
    for (const std::int64_t pts : {0, 120, 40, 80, 200, 160}) {
        packets.push_back(packetAt(pts, 40));
    }
    markPacketsOverBy(CMTimeMake(1000, 1000), timeBase, packets);
    spareLatestPictureOverBy(packets);
    for (const PacketRef& packet : packets) {
        SCOPED_TRACE(testing::Message() << "pts " << packet->avPacket().pts);
        EXPECT_EQ((packet->avPacket().flags & AV_PKT_FLAG_DISCARD) != 0,
                  packet->avPacket().pts != 200);
    }
    // Nothing over by the target: nothing changes.
    std::vector<PacketRef> later = {packetAt(1000, 40)};
    markPacketsOverBy(CMTimeMake(1000, 1000), timeBase, later);
    spareLatestPictureOverBy(later);
    EXPECT_FALSE(later.front()->avPacket().flags & AV_PKT_FLAG_DISCARD);
}

// A seek decodes from the key frame before the target without giving out, or for H.264 without
// even decoding, the pictures that are over by then. What it shows from the target on must be
// what a plain decode from the start gives: a picture skipped that was referred to after all, or
// skipping still on (or already off) for the wrong packet, would change or lose pictures. The
// targets fall on a picture, between two, on a key frame, just before one and near the end.
TEST(SeekDecoding, ShowsThePicturesOfAPlainDecodeFromTheTargetOn) {
    auto source = MediaSource::make(mediaURL("gop-4s.mkv"), kCMTimeInvalid, true);
    const auto& video = source->videoTracks().at(0);
    const auto& decoder = video->decoder();

    std::map<std::int64_t, CMSampleBufferRef> plain;  // by presentation time in microseconds
    const auto key = [](const CMSampleBufferRef& buffer) {
        return CMTimeConvertScale(CMSampleBufferGetPresentationTimeStamp(buffer), 1000000).value;
    };
    {
        CoreMediaCompatibleDecodeSession session(
            decoder, [&](CMSampleBufferRef buffer) { plain.emplace(key(buffer), buffer); });
        while (auto read = readVisualPacket(*source, video, {})) {
            session.decode(*read->packet);
        }
        session.drain();
    }
    ASSERT_EQ(plain.size(), 250u);

    for (std::int64_t milliseconds : {3990, 4021, 4500, 5061, 5070, 7999, 9930}) {
        SCOPED_TRACE(testing::Message() << "target " << milliseconds << " ms");
        const CMTime target = CMTimeAdd(source->startTime(), CMTimeMake(milliseconds, 1000));
        std::vector<CMSampleBufferRef> shown;
        CoreMediaCompatibleDecodeSession session(decoder, [&](CMSampleBufferRef buffer) {
            const CMTime start = CMSampleBufferGetPresentationTimeStamp(buffer);
            const CMTime end = CMTimeAdd(start, CMSampleBufferGetDuration(buffer));
            if (!shown.empty() || CMTimeCompare(start, target) > 0 ||
                (CMTimeCompare(start, target) <= 0 && CMTimeCompare(target, end) < 0)) {
                shown.push_back(buffer);
            }
        });
        decoder->flush();
        const PacketsByTrack packets = seekVisualTracks(*source, video, {}, target);
        for (const PacketRef& packet : packets.packets(*video)) {
            session.decode(*packet);
        }
        while (shown.size() < 4) {
            auto read = readVisualPacket(*source, video, {});
            if (!read) {
                session.drain();
                break;
            }
            session.decode(*read->packet);
        }

        ASSERT_FALSE(shown.empty());
        const auto first = plain.upper_bound(
            CMTimeConvertScale(target, 1000000, kCMTimeRoundingMethod_RoundTowardNegativeInfinity)
                .value);
        ASSERT_NE(first, plain.begin());
        auto expected = std::prev(first);
        for (const CMSampleBufferRef& buffer : shown) {
            ASSERT_NE(expected, plain.end());
            EXPECT_EQ(key(buffer), expected->first);
            EXPECT_TRUE(samePixels(CMSampleBufferGetImageBuffer(buffer),
                                   CMSampleBufferGetImageBuffer(expected->second)))
                << "picture at " << expected->first << " us";
            ++expected;
        }
    }

    // Skipping takes effect: once drained (the decoder's threads done), fewer pictures were
    // decoded than packets were sent.
    decoder->flush();
    const std::uint64_t requestedBefore = decoder->frameAllocator().requestedBufferCount();
    const CMTime target = CMTimeAdd(source->startTime(), CMTimeMake(3990, 1000));
    const PacketsByTrack packets = seekVisualTracks(*source, video, {}, target);
    CoreMediaCompatibleDecodeSession session(decoder, [](CMSampleBufferRef) {});
    for (const PacketRef& packet : packets.packets(*video)) {
        session.decode(*packet);
    }
    session.drain();
    EXPECT_LT(decoder->frameAllocator().requestedBufferCount() - requestedBefore,
              packets.packets(*video).size());
}

}  // namespace
