#include <cstring>

#include <gtest/gtest.h>

#include "platform/coreaudio/AudioBufferList.h"
#include "platform/coreaudio/AudioStreamBasicDescription.h"

using namespace platform;

namespace {
AudioStreamBasicDescription interleavedStereoFloat() {
    return {48000, kAudioFormatLinearPCM, kAudioFormatFlagIsFloat, 8, 1, 8, 2, 32, 0};
}
}  // namespace

TEST(AudioStreamBasicDescription, ChecksThatLinearPCMByteCountsAgree) {
    EXPECT_TRUE(AudioStreamBasicDescriptionIsValid(interleavedStereoFloat()));

    auto planar = interleavedStereoFloat();
    planar.mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
    planar.mBytesPerFrame = planar.mBytesPerPacket = 4;  // one channel per buffer
    EXPECT_TRUE(AudioStreamBasicDescriptionIsValid(planar));

    auto packetDiffers = interleavedStereoFloat();
    packetDiffers.mBytesPerPacket = 16;
    EXPECT_FALSE(AudioStreamBasicDescriptionIsValid(packetDiffers));

    auto frameTooSmall = interleavedStereoFloat();
    frameTooSmall.mBytesPerFrame = frameTooSmall.mBytesPerPacket = 4;
    EXPECT_FALSE(AudioStreamBasicDescriptionIsValid(frameTooSmall));

    auto noRate = interleavedStereoFloat();
    noRate.mSampleRate = 0;
    EXPECT_FALSE(AudioStreamBasicDescriptionIsValid(noRate));
}

TEST(AudioBufferList, CopiesOfOwningListsOwnTheirBytesAndMovesKeepPointers) {
    auto list = AudioBufferList::allocate(2, 1, 16);
    ASSERT_EQ(list.mNumberBuffers(), 2u);
    std::memset(list.mBuffers[1].mData, 0x5A, 16);

    AudioBufferList copy = list;
    EXPECT_NE(copy.mBuffers[1].mData, list.mBuffers[1].mData);
    EXPECT_EQ(std::memcmp(copy.mBuffers[1].mData, list.mBuffers[1].mData, 16), 0);
    std::memset(list.mBuffers[1].mData, 0, 16);
    EXPECT_EQ(static_cast<unsigned char*>(copy.mBuffers[1].mData)[15], 0x5A);

    void* before = list.mBuffers[0].mData;
    AudioBufferList moved = std::move(list);
    EXPECT_EQ(moved.mBuffers[0].mData, before);
}

TEST(AudioBufferList, ViewingListsShareTheMemoryTheyPointAt) {
    float samples[4] = {1, 2, 3, 4};
    auto list = AudioBufferList::make(1);
    list.mBuffers[0] = {2, sizeof samples, samples};
    EXPECT_FALSE(list.ownsData());
    AudioBufferList copy = list;
    EXPECT_EQ(copy.mBuffers[0].mData, samples);
}
