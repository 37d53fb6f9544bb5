#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/coreaudio/AudioChannelLayout.h"
#include "platform/coreaudio/AudioChannelLayoutTag.h"
#include "platform/coreaudio/AudioStreamBasicDescription.h"
#include "platform/coremedia/CMAudioFormatDescription.h"
#include "platform/coremedia/CMBlockBuffer.h"
#include "platform/coremedia/CMSampleBuffer.h"

namespace quillon::test {

// Linear PCM sample buffers made directly (no decoder), as the audio decoder hands them out:
// interleaved frames with a channel layout tag.
struct AudioBufferFactory {
    using Signal = std::function<double(std::int64_t frame, int channel)>;

    enum class SampleType { float32, int16 };

    // `frameCount` frames from `firstFrame` on (the time line's frame index at sampleRate); the
    // signal is asked with that index.
    static platform::CMSampleBufferRef make(
        std::int64_t firstFrame, std::int64_t frameCount, const Signal& signal,
        int sampleRate = 48000, int channelCount = 2,
        platform::AudioChannelLayoutTag tag = platform::kAudioChannelLayoutTag_Stereo,
        SampleType type = SampleType::float32) {
        using namespace platform;
        const std::uint32_t sampleBytes = type == SampleType::float32 ? 4 : 2;
        AudioStreamBasicDescription asbd;
        asbd.mSampleRate = sampleRate;
        asbd.mFormatID = kAudioFormatLinearPCM;
        asbd.mFormatFlags = (type == SampleType::float32 ? kAudioFormatFlagIsFloat
                                                         : kAudioFormatFlagIsSignedInteger) |
                            kAudioFormatFlagIsPacked;
        asbd.mFramesPerPacket = 1;
        asbd.mChannelsPerFrame = std::uint32_t(channelCount);
        asbd.mBitsPerChannel = sampleBytes * 8;
        asbd.mBytesPerFrame = asbd.mBytesPerPacket = sampleBytes * std::uint32_t(channelCount);
        const AudioChannelLayout layout = AudioChannelLayout::withTag(tag);
        CMAudioFormatDescriptionRef description;
        EXPECT_EQ(CMAudioFormatDescriptionCreate(&asbd, kAudioChannelLayoutStructByteSize, &layout,
                                                 0, nullptr, nullptr, &description),
                  0);

        std::vector<std::uint8_t> bytes(std::size_t(frameCount) * asbd.mBytesPerFrame);
        for (std::int64_t frame = 0; frame < frameCount; ++frame) {
            for (int channel = 0; channel < channelCount; ++channel) {
                const double value = signal(firstFrame + frame, channel);
                std::uint8_t* at = bytes.data() + (std::size_t(frame) * std::size_t(channelCount) +
                                                   std::size_t(channel)) *
                                                      sampleBytes;
                if (type == SampleType::float32) {
                    const auto sample = float(value);
                    std::memcpy(at, &sample, 4);
                } else {
                    const auto sample = std::int16_t(std::lround(value * 32767.0));
                    std::memcpy(at, &sample, 2);
                }
            }
        }
        CMBlockBufferRef block;
        EXPECT_EQ(
            CMBlockBufferCreateWithMemoryBlock(nullptr, bytes.size(), nullptr, 0, bytes.size(),
                                               kCMBlockBufferAssureMemoryNowFlag, &block),
            0);
        EXPECT_EQ(CMBlockBufferReplaceDataBytes(bytes.data(), block, 0, bytes.size()), 0);
        const CMSampleTimingInfo timing{CMTimeMake(1, sampleRate),
                                        CMTimeMake(firstFrame, sampleRate), kCMTimeInvalid};
        CMSampleBufferRef sampleBuffer;
        EXPECT_EQ(CMSampleBufferCreateReady(block, description, frameCount, 1, &timing, 0, nullptr,
                                            &sampleBuffer),
                  0);
        return sampleBuffer;
    }

    // A signal whose value is its own frame index (scaled into range), so that what plays tells
    // exactly which frame of the time line it came from. Exact in float up to 2^24 frames.
    static constexpr double kIndexScale = 1.0 / (1 << 20);
    static Signal frameIndex(std::int64_t offset = 0) {
        return [offset](std::int64_t frame, int) { return double(frame + offset) * kIndexScale; };
    }

    static Signal sine(double frequency, double amplitude = 0.5, int sampleRate = 48000) {
        return [=](std::int64_t frame, int) {
            return amplitude * std::sin(2 * M_PI * frequency * double(frame) / sampleRate);
        };
    }
};

}  // namespace quillon::test
