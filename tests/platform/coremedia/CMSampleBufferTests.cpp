#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/coremedia/CMAudioFormatDescription.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMSampleBufferAttachmentKeys.h"

using namespace platform;

namespace {

constexpr std::int32_t kRate = 48000;

CMAudioFormatDescriptionRef stereoFloatFormat(std::int32_t rate = kRate) {
    const AudioStreamBasicDescription asbd{
        double(rate), kAudioFormatLinearPCM, kAudioFormatFlagIsFloat, 8, 1, 8, 2, 32, 0};
    const auto layout = AudioChannelLayout::withTag(kAudioChannelLayoutTag_Stereo);
    CMAudioFormatDescriptionRef format;
    EXPECT_EQ(CMAudioFormatDescriptionCreate(&asbd, kAudioChannelLayoutStructByteSize, &layout, 0,
                                             nullptr, nullptr, &format),
              noErr);
    return format;
}

// frames interleaved stereo float frames; sample i of channel c holds i + c / 2.
CMBlockBufferRef pcmData(std::size_t frames) {
    auto samples = std::make_shared<std::vector<float>>(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        (*samples)[2 * i] = float(i);
        (*samples)[2 * i + 1] = float(i) + 0.5f;
    }
    CMBlockBufferRef buffer;
    EXPECT_EQ(CMBlockBufferCreateEmpty(0, 0, &buffer), noErr);
    const std::span<const std::uint8_t> bytes(
        reinterpret_cast<const std::uint8_t*>(samples->data()), samples->size() * sizeof(float));
    EXPECT_EQ(CMBlockBufferAppendSharedBytes(buffer, bytes, samples), noErr);
    return buffer;
}

CMSampleBufferRef pcmSampleBuffer(std::size_t frames, CMTime start) {
    const CMSampleTimingInfo timing{CMTimeMake(1, kRate), start, kCMTimeInvalid};
    const std::size_t size = 8;
    CMSampleBufferRef sampleBuffer;
    EXPECT_EQ(CMSampleBufferCreate(pcmData(frames), true, nullptr, nullptr, stereoFloatFormat(),
                                   CMItemCount(frames), 1, &timing, 1, &size, &sampleBuffer),
              noErr);
    return sampleBuffer;
}

}  // namespace

TEST(CMSampleBuffer, OneTimingEntryDescribesASecondOfInterleavedStereo) {
    const auto sampleBuffer = pcmSampleBuffer(48000, CMTimeMake(480000, kRate));
    ASSERT_NE(sampleBuffer, nullptr);

    EXPECT_EQ(CMSampleBufferGetNumSamples(sampleBuffer), 48000);
    EXPECT_EQ(CMSampleBufferGetDuration(sampleBuffer), CMTimeMake(1, 1));
    EXPECT_EQ(CMSampleBufferGetTotalSampleSize(sampleBuffer), 384000u);
    EXPECT_EQ(CMSampleBufferGetSampleSize(sampleBuffer, 47999), 8u);
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(sampleBuffer), CMTimeMake(10, 1));
    EXPECT_EQ(CMSampleBufferGetOutputPresentationTimeStamp(sampleBuffer), CMTimeMake(10, 1));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMSampleBufferGetDecodeTimeStamp(sampleBuffer)));
    EXPECT_TRUE(CMSampleBufferIsValid(sampleBuffer));
    EXPECT_TRUE(CMSampleBufferDataIsReady(sampleBuffer));
    EXPECT_EQ(CMSampleBufferGetImageBuffer(sampleBuffer), nullptr);

    CMSampleTimingInfo last;
    ASSERT_EQ(CMSampleBufferGetSampleTimingInfo(sampleBuffer, 47999, &last), noErr);
    EXPECT_EQ(last.presentationTimeStamp, CMTimeMake(480000 + 47999, kRate));
    EXPECT_EQ(last.duration, CMTimeMake(1, kRate));
    EXPECT_EQ(CMSampleBufferGetSampleTimingInfo(sampleBuffer, 48000, &last),
              kCMSampleBufferError_SampleIndexOutOfRange);

    CMSampleTimingInfo entries[2];
    CMItemCount needed = 0;
    ASSERT_EQ(CMSampleBufferGetSampleTimingInfoArray(sampleBuffer, 2, entries, &needed), noErr);
    EXPECT_EQ(needed, 1);
    EXPECT_EQ(CMSampleBufferGetSampleTimingInfoArray(sampleBuffer, 0, entries, &needed),
              kCMSampleBufferError_ArrayTooSmall);

    float frame[2];
    ASSERT_EQ(
        CMBlockBufferCopyDataBytes(CMSampleBufferGetDataBuffer(sampleBuffer), 8 * 1000, 8, frame),
        noErr);
    EXPECT_EQ(frame[0], 1000.0f);
    EXPECT_EQ(frame[1], 1000.5f);
}

TEST(CMSampleBuffer, FramesCollectedFromSeveralBlocksCountAsOneRun) {
    // Three decoded frames of 1024 samples at 44100 Hz.
    CMBlockBufferRef blockBuffer;
    ASSERT_EQ(CMBlockBufferCreateEmpty(0, 0, &blockBuffer), noErr);
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_EQ(
            CMBlockBufferAppendMemoryBlock(blockBuffer, nullptr, 1024 * 8, nullptr, 0, 1024 * 8, 0),
            noErr);
    }
    const CMSampleTimingInfo timing{CMTimeMake(1, 44100), CMTimeMake(441, 44100), kCMTimeInvalid};
    const std::size_t size = 8;
    CMSampleBufferRef sampleBuffer;
    ASSERT_EQ(CMSampleBufferCreate(blockBuffer, true, nullptr, nullptr, stereoFloatFormat(44100),
                                   3072, 1, &timing, 1, &size, &sampleBuffer),
              noErr);
    EXPECT_EQ(CMSampleBufferGetNumSamples(sampleBuffer), 3072);
    EXPECT_EQ(CMSampleBufferGetDuration(sampleBuffer), CMTimeMake(3072, 44100));
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(sampleBuffer), CMTimeMake(1, 100));
}

TEST(CMSampleBuffer, CreationRefusesInconsistentArguments) {
    const auto format = stereoFloatFormat();
    const auto data = pcmData(4);
    const CMSampleTimingInfo timing[2] = {{CMTimeMake(1, kRate), kCMTimeZero, kCMTimeInvalid},
                                          {CMTimeMake(1, kRate), kCMTimeZero, kCMTimeInvalid}};
    const std::size_t size = 8;
    CMSampleBufferRef out;

    EXPECT_EQ(
        CMSampleBufferCreate(data, true, nullptr, nullptr, format, 4, 1, timing, 1, &size, nullptr),
        kCMSampleBufferError_RequiredParameterMissing);
    EXPECT_EQ(
        CMSampleBufferCreate(data, true, nullptr, nullptr, format, 4, 2, timing, 1, &size, &out),
        kCMSampleBufferError_InvalidEntryCount);
    EXPECT_EQ(
        CMSampleBufferCreate(data, true, nullptr, nullptr, format, 4, 1, nullptr, 1, &size, &out),
        kCMSampleBufferError_RequiredParameterMissing);
    // Five frames do not fit in four frames of data.
    EXPECT_EQ(
        CMSampleBufferCreate(data, true, nullptr, nullptr, format, 5, 1, timing, 1, &size, &out),
        kCMSampleBufferError_InvalidSampleData);
    // A PCM sample is one frame: 8 bytes and 1/48000 s.
    const std::size_t wrongSize = 4;
    EXPECT_EQ(CMSampleBufferCreate(data, true, nullptr, nullptr, format, 4, 1, timing, 1,
                                   &wrongSize, &out),
              kCMSampleBufferError_InvalidMediaFormat);
    const CMSampleTimingInfo wholeDuration{CMTimeMake(4, kRate), kCMTimeZero, kCMTimeInvalid};
    EXPECT_EQ(CMSampleBufferCreate(data, true, nullptr, nullptr, format, 4, 1, &wholeDuration, 1,
                                   &size, &out),
              kCMSampleBufferError_SampleTimingInfoInvalid);
    // Sizes need data to lie in.
    EXPECT_EQ(CMSampleBufferCreate(nullptr, true, nullptr, nullptr, nullptr, 4, 1, timing, 1, &size,
                                   &out),
              kCMSampleBufferError_RequiredParameterMissing);

    // Without sizes a PCM buffer takes its frame size from the format.
    ASSERT_EQ(
        CMSampleBufferCreate(data, true, nullptr, nullptr, format, 4, 1, timing, 0, nullptr, &out),
        noErr);
    EXPECT_EQ(CMSampleBufferGetTotalSampleSize(out), 32u);
}

TEST(CMSampleBuffer, PerSampleTimingEntriesGiveTheEarliestTimeAndTheSum) {
    const CMSampleTimingInfo timing[3] = {
        {CMTimeMake(1, 30), CMTimeMake(2, 30), CMTimeMake(0, 30)},
        {CMTimeMake(1, 30), CMTimeMake(0, 30), CMTimeMake(1, 30)},
        {CMTimeMake(2, 30), CMTimeMake(1, 30), CMTimeMake(2, 30)},
    };
    const std::size_t sizes[3] = {10, 20, 30};
    CMBlockBufferRef data;
    ASSERT_EQ(CMBlockBufferCreateWithMemoryBlock(nullptr, 60, nullptr, 0, 60, 0, &data), noErr);
    CMSampleBufferRef sampleBuffer;
    ASSERT_EQ(CMSampleBufferCreateReady(data, nullptr, 3, 3, timing, 3, sizes, &sampleBuffer),
              noErr);
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(sampleBuffer), kCMTimeZero);
    EXPECT_EQ(CMSampleBufferGetDecodeTimeStamp(sampleBuffer), kCMTimeZero);
    EXPECT_EQ(CMSampleBufferGetDuration(sampleBuffer), CMTimeMake(4, 30));
    EXPECT_EQ(CMSampleBufferGetTotalSampleSize(sampleBuffer), 60u);
    EXPECT_EQ(CMSampleBufferGetSampleSize(sampleBuffer, 1), 20u);
}

TEST(CMSampleBuffer, TrimAttachmentsShiftTheOutputTimes) {
    const auto sampleBuffer = pcmSampleBuffer(4800, kCMTimeZero);  // 0.1 s
    CMSetAttachment(sampleBuffer, kCMSampleBufferAttachmentKey_TrimDurationAtStart,
                    CMAttachmentValueWithTime(CMTimeMake(480, kRate)),
                    kCMAttachmentMode_ShouldPropagate);
    CMSetAttachment(sampleBuffer, kCMSampleBufferAttachmentKey_TrimDurationAtEnd,
                    CMAttachmentValueWithTime(CMTimeMake(960, kRate)),
                    kCMAttachmentMode_ShouldPropagate);
    EXPECT_EQ(CMSampleBufferGetOutputPresentationTimeStamp(sampleBuffer), CMTimeMake(1, 100));
    EXPECT_EQ(CMSampleBufferGetOutputDuration(sampleBuffer), CMTimeMake(7, 100));
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(sampleBuffer), kCMTimeZero);
}

TEST(CMSampleBuffer, BufferAttachmentsKeepTheirModes) {
    const auto first = pcmSampleBuffer(16, kCMTimeZero);
    const auto second = pcmSampleBuffer(16, kCMTimeZero);
    CMSetAttachment(first, kCMSampleBufferAttachmentKey_ResetDecoderBeforeDecoding, true,
                    kCMAttachmentMode_ShouldNotPropagate);
    CMSetAttachment(first, kCMSampleBufferAttachmentKey_DrainAfterDecoding, true,
                    kCMAttachmentMode_ShouldPropagate);

    CMAttachmentMode mode = kCMAttachmentMode_ShouldPropagate;
    const auto reset =
        CMGetAttachment(first, kCMSampleBufferAttachmentKey_ResetDecoderBeforeDecoding, &mode);
    ASSERT_TRUE(reset.has_value());
    EXPECT_TRUE(CFValueEqual(*reset, CFValue(true)));
    EXPECT_EQ(mode, kCMAttachmentMode_ShouldNotPropagate);
    EXPECT_EQ(CMCopyDictionaryOfAttachments(first, kCMAttachmentMode_ShouldPropagate)->size(), 1u);

    CMPropagateAttachments(first, second);
    EXPECT_TRUE(CMGetAttachment(second, kCMSampleBufferAttachmentKey_DrainAfterDecoding));
    EXPECT_FALSE(CMGetAttachment(second, kCMSampleBufferAttachmentKey_ResetDecoderBeforeDecoding));

    CMRemoveAttachment(first, kCMSampleBufferAttachmentKey_DrainAfterDecoding);
    EXPECT_EQ(CMCopyDictionaryOfAttachments(first, kCMAttachmentMode_ShouldPropagate), nullptr);
    CMRemoveAllAttachments(first);
    EXPECT_FALSE(CMGetAttachment(first, kCMSampleBufferAttachmentKey_ResetDecoderBeforeDecoding));
}

TEST(CMSampleBuffer, SampleAttachmentsAreMadeOnRequestAndKeptPerSample) {
    const auto sampleBuffer = pcmSampleBuffer(48000, kCMTimeZero);
    EXPECT_EQ(CMSampleBufferGetSampleAttachmentsArray(sampleBuffer, false), nullptr);
    CMSampleAttachmentsArray* attachments =
        CMSampleBufferGetSampleAttachmentsArray(sampleBuffer, true);
    ASSERT_NE(attachments, nullptr);
    EXPECT_EQ(CMSampleBufferGetSampleAttachmentsArray(sampleBuffer, false), attachments);
    EXPECT_EQ(attachments->count(), 48000u);

    attachments->at(0).set(kCMSampleAttachmentKey_DisplayImmediately, true);
    attachments->at(1).set(kCMSampleAttachmentKey_NotSync, std::int64_t{1});
    EXPECT_TRUE(attachments->at(0).isTrue(kCMSampleAttachmentKey_DisplayImmediately));
    EXPECT_FALSE(attachments->at(1).isTrue(kCMSampleAttachmentKey_DisplayImmediately));
    EXPECT_FALSE(attachments->at(1).isTrue(kCMSampleAttachmentKey_NotSync));  // not a boolean
    EXPECT_TRUE(attachments->at(1).contains(kCMSampleAttachmentKey_NotSync));
    attachments->at(0).remove(kCMSampleAttachmentKey_DisplayImmediately);
    EXPECT_TRUE(attachments->at(0).copy().empty());
}

TEST(CMSampleBuffer, ReadinessCallbackAndInvalidation) {
    static int calls = 0;
    calls = 0;
    const auto format = stereoFloatFormat();
    const CMSampleTimingInfo timing{CMTimeMake(1, kRate), kCMTimeZero, kCMTimeInvalid};
    CMSampleBufferRef sampleBuffer;
    ASSERT_EQ(CMSampleBufferCreate(
                  pcmData(4), false,
                  [](const CMSampleBufferRef&, void* refcon) -> OSStatus {
                      ++*static_cast<int*>(refcon);
                      return noErr;
                  },
                  &calls, format, 4, 1, &timing, 0, nullptr, &sampleBuffer),
              noErr);
    EXPECT_FALSE(CMSampleBufferDataIsReady(sampleBuffer));
    EXPECT_EQ(CMSampleBufferMakeDataReady(sampleBuffer), noErr);
    EXPECT_EQ(CMSampleBufferMakeDataReady(sampleBuffer), noErr);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(CMSampleBufferDataIsReady(sampleBuffer));

    EXPECT_EQ(CMSampleBufferInvalidate(sampleBuffer), noErr);
    EXPECT_FALSE(CMSampleBufferIsValid(sampleBuffer));
}

TEST(CMSampleBuffer, AFinishedBufferCanBeReadOnOtherThreadsWhileItsAttachmentsChange) {
    const auto sampleBuffer = pcmSampleBuffer(4096, kCMTimeZero);
    std::atomic<bool> stop{false};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 3; ++reader) {
        readers.emplace_back([&, reader] {
            std::vector<float> frames(2 * 64);
            for (int round = 0; round < 200; ++round) {
                const std::size_t first = std::size_t(reader * 1000 + round) % 4000;
                CMBlockBufferCopyDataBytes(CMSampleBufferGetDataBuffer(sampleBuffer), first * 8,
                                           64 * 8, frames.data());
                if (frames[0] != float(first) ||
                    CMSampleBufferGetDuration(sampleBuffer) != CMTimeMake(4096, kRate)) {
                    ++mismatches;
                }
                CMGetAttachment(sampleBuffer, kCMSampleBufferAttachmentKey_DrainAfterDecoding);
                CMSampleBufferGetSampleAttachmentsArray(sampleBuffer, true)
                    ->at(std::size_t(round))
                    .isTrue(kCMSampleAttachmentKey_DoNotDisplay);
            }
        });
    }
    std::thread writer([&] {
        for (int round = 0; !stop.load(); ++round) {
            CMSetAttachment(sampleBuffer, kCMSampleBufferAttachmentKey_DrainAfterDecoding,
                            round % 2 == 0, kCMAttachmentMode_ShouldNotPropagate);
            CMSampleBufferGetSampleAttachmentsArray(sampleBuffer, true)
                ->at(std::size_t(round % 200))
                .set(kCMSampleAttachmentKey_DoNotDisplay, true);
        }
    });
    for (auto& reader : readers) {
        reader.join();
    }
    stop = true;
    writer.join();
    EXPECT_EQ(mismatches.load(), 0);
}
