#include <gtest/gtest.h>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/media-types/MediaType.h"
#include "media-player/media-types/Packet.h"

using namespace quillon;

TEST(MediaType, RawValuesFollowTheDeclarationOrder) {
    EXPECT_EQ(rawValue(MediaType::subtitles), 2);
    EXPECT_EQ(mediaTypeFromRawValue(1), MediaType::audio);
    EXPECT_EQ(mediaTypeFromRawValue(3), std::nullopt);
}

TEST(Packet, TakesOverTheReadPacketsReferencesAndReleasesThem) {
    AVPacketPointer read(av_packet_alloc());
    ASSERT_EQ(av_new_packet(read.get(), 8), 0);
    read->pts = 1234;
    const std::uint8_t* bytes = read->data;
    AVBufferRefPointer observer(av_buffer_ref(read->buf));

    PacketRef packet = Packet::make(*read);
    EXPECT_EQ(read->data, nullptr);
    EXPECT_EQ(read->buf, nullptr);
    EXPECT_EQ(packet->avPacket().data, bytes);
    EXPECT_EQ(packet->avPacket().pts, 1234);
    EXPECT_EQ(av_buffer_get_ref_count(observer.get()), 2);

    packet.reset();
    EXPECT_EQ(av_buffer_get_ref_count(observer.get()), 1);
}

TEST(Packet, DefaultPacketIsTheEmptyEndOfInputPacket) {
    const Packet packet;
    EXPECT_EQ(packet.avPacket().data, nullptr);
    EXPECT_EQ(packet.avPacket().size, 0);
    EXPECT_EQ(packet.avPacket().buf, nullptr);
    EXPECT_EQ(packet.avPacket().pts, AV_NOPTS_VALUE);
}
