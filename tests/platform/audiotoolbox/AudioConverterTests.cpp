#include "platform/audiotoolbox/AudioConverter.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace platform {
namespace {

AudioStreamBasicDescription pcm(double rate, AudioFormatFlags flags, std::uint32_t channels,
                                std::uint32_t sampleSize, bool nonInterleaved) {
    const std::uint32_t frameBytes = nonInterleaved ? sampleSize : sampleSize * channels;
    return {rate,
            kAudioFormatLinearPCM,
            flags | (nonInterleaved ? kAudioFormatFlagIsNonInterleaved : 0u),
            frameBytes,
            1,
            frameBytes,
            channels,
            sampleSize * 8,
            0};
}

struct Converter {
    explicit Converter(const AudioStreamBasicDescription& from,
                       const AudioStreamBasicDescription& to) {
        status = AudioConverterNew(&from, &to, &ref);
    }
    ~Converter() {
        if (ref != nullptr) {
            EXPECT_EQ(AudioConverterDispose(ref), noErr);
        }
    }
    OSStatus status;
    AudioConverterRef ref = nullptr;
};

// Planar input with sample value (channel + 1) * 1000 + frame, in the sample type T.
template <typename T>
std::vector<std::vector<T>> planes(std::uint32_t channels, std::uint32_t frames) {
    std::vector<std::vector<T>> result(channels, std::vector<T>(frames));
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        for (std::uint32_t frame = 0; frame < frames; ++frame) {
            result[channel][frame] = static_cast<T>((channel + 1) * 1000 + frame);
        }
    }
    return result;
}

template <typename T>
void checkInterleaves(std::uint32_t channels, AudioFormatFlags flags) {
    constexpr std::uint32_t frames = 333;
    Converter converter(pcm(48000, flags, channels, sizeof(T), true),
                        pcm(48000, flags, channels, sizeof(T), false));
    ASSERT_EQ(converter.status, noErr);
    auto input = planes<T>(channels, frames);
    AudioBufferList inputList = AudioBufferList::make(channels);
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        inputList.mBuffers[channel] = {1, frames * sizeof(T), input[channel].data()};
    }
    // A larger output buffer is allowed; its byte size is lowered to what was written.
    std::vector<T> output(frames * channels + 7);
    AudioBufferList outputList = AudioBufferList::make(1);
    outputList.mBuffers[0] = {channels, static_cast<std::uint32_t>(output.size() * sizeof(T)),
                              output.data()};
    ASSERT_EQ(AudioConverterConvertComplexBuffer(converter.ref, frames, &inputList, &outputList),
              noErr);
    EXPECT_EQ(outputList.mBuffers[0].mDataByteSize, frames * channels * sizeof(T));
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            ASSERT_EQ(output[frame * channels + channel], input[channel][frame])
                << "frame " << frame << " channel " << channel;
        }
    }

    // And back again.
    Converter back(pcm(48000, flags, channels, sizeof(T), false),
                   pcm(48000, flags, channels, sizeof(T), true));
    ASSERT_EQ(back.status, noErr);
    auto restored = planes<T>(channels, frames);
    AudioBufferList restoredList = AudioBufferList::make(channels);
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        std::fill(restored[channel].begin(), restored[channel].end(), T{});
        restoredList.mBuffers[channel] = {1, frames * sizeof(T), restored[channel].data()};
    }
    outputList.mBuffers[0].mDataByteSize = frames * channels * sizeof(T);
    ASSERT_EQ(AudioConverterConvertComplexBuffer(back.ref, frames, &outputList, &restoredList),
              noErr);
    EXPECT_EQ(restored, input);
}

TEST(AudioConverterTests, interleavesAndDeinterleavesEverySampleSizeAndChannelCount) {
    checkInterleaves<std::uint8_t>(2, kAudioFormatFlagIsAlignedHigh);
    checkInterleaves<std::int16_t>(1, kAudioFormatFlagIsSignedInteger);
    checkInterleaves<std::int16_t>(6, kAudioFormatFlagIsSignedInteger);
    checkInterleaves<float>(2, kAudioFormatFlagIsFloat);
    checkInterleaves<std::int32_t>(8, kAudioFormatFlagIsSignedInteger);
    checkInterleaves<double>(3, kAudioFormatFlagIsFloat);
}

TEST(AudioConverterTests, interleavesThreeByteSamples) {
    constexpr std::uint32_t frames = 5;
    Converter converter(pcm(44100, kAudioFormatFlagIsSignedInteger, 2, 3, true),
                        pcm(44100, kAudioFormatFlagIsSignedInteger, 2, 3, false));
    ASSERT_EQ(converter.status, noErr);
    std::vector<std::uint8_t> left(frames * 3), right(frames * 3);
    for (std::size_t index = 0; index < left.size(); ++index) {
        left[index] = static_cast<std::uint8_t>(index);
        right[index] = static_cast<std::uint8_t>(100 + index);
    }
    AudioBufferList input = AudioBufferList::make(2);
    input.mBuffers[0] = {1, frames * 3, left.data()};
    input.mBuffers[1] = {1, frames * 3, right.data()};
    AudioBufferList output = AudioBufferList::allocate(1, 2, frames * 6);
    ASSERT_EQ(AudioConverterConvertComplexBuffer(converter.ref, frames, &input, &output), noErr);
    const auto* bytes = static_cast<const std::uint8_t*>(output.mBuffers[0].mData);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 12),
              (std::vector<std::uint8_t>{0, 1, 2, 100, 101, 102, 3, 4, 5, 103, 104, 105}));
}

TEST(AudioConverterTests, refusesFormatPairsItCannotConvert) {
    const auto planar = pcm(48000, kAudioFormatFlagIsFloat, 2, 4, true);
    AudioConverterRef converter = reinterpret_cast<AudioConverterRef>(0x1);
    auto otherRate = pcm(44100, kAudioFormatFlagIsFloat, 2, 4, false);
    EXPECT_EQ(AudioConverterNew(&planar, &otherRate, &converter),
              kAudioConverterErr_FormatNotSupported);
    EXPECT_EQ(converter, nullptr);
    auto otherChannels = pcm(48000, kAudioFormatFlagIsFloat, 1, 4, false);
    EXPECT_EQ(AudioConverterNew(&planar, &otherChannels, &converter),
              kAudioConverterErr_FormatNotSupported);
    auto integer = pcm(48000, kAudioFormatFlagIsSignedInteger, 2, 4, false);
    EXPECT_EQ(AudioConverterNew(&planar, &integer, &converter),
              kAudioConverterErr_FormatNotSupported);
    AudioStreamBasicDescription invalid = planar;
    invalid.mSampleRate = 0;
    EXPECT_EQ(AudioConverterNew(&invalid, &planar, &converter), kAudio_ParamError);
    EXPECT_EQ(AudioConverterNew(nullptr, &planar, &converter), kAudio_ParamError);
    EXPECT_EQ(AudioConverterDispose(nullptr), kAudio_ParamError);
}

TEST(AudioConverterTests, checksBufferListsBeforeWriting) {
    Converter converter(pcm(48000, kAudioFormatFlagIsFloat, 2, 4, true),
                        pcm(48000, kAudioFormatFlagIsFloat, 2, 4, false));
    ASSERT_EQ(converter.status, noErr);
    AudioBufferList input = AudioBufferList::allocate(2, 1, 40);
    AudioBufferList output = AudioBufferList::allocate(1, 2, 80);
    EXPECT_EQ(AudioConverterConvertComplexBuffer(converter.ref, 10, &input, &output), noErr);
    EXPECT_EQ(AudioConverterConvertComplexBuffer(converter.ref, 11, &input, &output),
              kAudioConverterErr_InvalidInputSize);
    AudioBufferList smallOutput = AudioBufferList::allocate(1, 2, 79);
    EXPECT_EQ(AudioConverterConvertComplexBuffer(converter.ref, 10, &input, &smallOutput),
              kAudioConverterErr_InvalidOutputSize);
    AudioBufferList oneChannel = AudioBufferList::allocate(1, 1, 400);
    EXPECT_EQ(AudioConverterConvertComplexBuffer(converter.ref, 10, &oneChannel, &output),
              kAudio_ParamError);
    EXPECT_EQ(AudioConverterConvertComplexBuffer(converter.ref, 0, &input, &output), noErr);
    EXPECT_EQ(output.mBuffers[0].mDataByteSize, 0u);
}

}  // namespace
}  // namespace platform
