// Whole generated files through the decoder and a decode session, against libavcodec alone.

#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "AudioDecoderTestSupport.h"
#include "media-player/decoders/audio/FFmpegAudioDecoder.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "platform/coremedia/CMAudioFormatDescription.h"
#include "platform/foundation/Log.h"
#include "support/TestDemuxer.h"
#include "support/TestMedia.h"

namespace quillon {
namespace {

using namespace platform;
using namespace test;

struct MediaCase {
    const char* file;
    AudioChannelLayoutTag tag;
    int sampleRate;
    // FFmpeg hands out one plane per channel, which the builder interleaves.
    bool planar;
};

void PrintTo(const MediaCase& mediaCase, std::ostream* out) {
    *out << mediaCase.file;
}

class FFmpegAudioDecoderMediaTests : public ::testing::TestWithParam<MediaCase> {};

TEST_P(FFmpegAudioDecoderMediaTests, decodesTheWholeFileIntoSecondsOfContiguousAudio) {
    const MediaCase& expected = GetParam();
    const std::string path = mediaPath(expected.file);
    const DecodedAudio decoded = decodeWholeFile(path);
    const SampleBuffers& buffers = decoded.sampleBuffers;
    ASSERT_FALSE(buffers.empty());
    EXPECT_EQ(decoded.decoder->audioProperties().needsConversionToInterleaved, expected.planar);

    EXPECT_TRUE(contiguousPresentationTimes(buffers));
    for (std::size_t index = 0; index < buffers.size(); ++index) {
        const CMSampleBufferRef& buffer = buffers[index];
        EXPECT_EQ(layoutTagOf(buffer), expected.tag) << "buffer " << index;
        EXPECT_EQ(sampleRateOf(buffer), expected.sampleRate) << "buffer " << index;
        const auto samples = CMSampleBufferGetNumSamples(buffer);
        if (index + 1 < buffers.size()) {
            // About a second: at least one, at most one plus a frame.
            EXPECT_GE(samples, expected.sampleRate) << "buffer " << index;
            EXPECT_LT(samples, expected.sampleRate + 8192) << "buffer " << index;
        }
    }

    // Drained to the last sample, and every sample as libavcodec decodes it.
    const ReferenceAudio reference = referenceAudio(path);
    EXPECT_EQ(totalFrameCount(buffers), reference.frameCount);
    // Channels that FFmpeg orders otherwise than the layout tag come in the tag's order.
    const AudioProperties& properties = decoded.decoder->audioProperties();
    const std::vector<int> order =
        AudioProperties::channelOrder(properties.bufferLevelProperties.ffmpegChannelLayout,
                                      properties.bufferLevelProperties.channelCount);
    EXPECT_TRUE(sampleBytes(buffers) ==
                inChannelOrder(reference.interleavedBytes,
                               static_cast<std::size_t>(properties.bytesPerSample), order))
        << "the samples differ";
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommonCodecAndLayout, FFmpegAudioDecoderMediaTests,
    ::testing::Values(MediaCase{"aac-mono.m4a", kAudioChannelLayoutTag_Mono, 48000, true},
                      MediaCase{"aac-stereo.m4a", kAudioChannelLayoutTag_Stereo, 48000, true},
                      MediaCase{"aac-5.1.m4a", kAudioChannelLayoutTag_MPEG_5_1_A, 48000, true},
                      MediaCase{"opus-stereo.opus", kAudioChannelLayoutTag_Stereo, 48000, true},
                      MediaCase{"flac-stereo.flac", kAudioChannelLayoutTag_Stereo, 48000, false},
                      MediaCase{"flac-7.1.flac", kAudioChannelLayoutTag_MPEG_7_1_C, 48000, false},
                      MediaCase{"ac3-5.1.mka", kAudioChannelLayoutTag_MPEG_5_1_A, 48000, true},
                      MediaCase{"mp3-stereo.mp3", kAudioChannelLayoutTag_Stereo, 44100, true},
                      MediaCase{"pcm-s16le.wav", kAudioChannelLayoutTag_Stereo, 48000, false},
                      MediaCase{"pcm-s32le.wav", kAudioChannelLayoutTag_Stereo, 48000, false},
                      MediaCase{"pcm-f32le.wav", kAudioChannelLayoutTag_Stereo, 48000, false},
                      MediaCase{"pcm-s16le-planar.nut", kAudioChannelLayoutTag_Stereo, 48000, true},
                      MediaCase{"pcm-s16le-7.1.wav", kAudioChannelLayoutTag_MPEG_7_1_C, 48000,
                                false},
                      MediaCase{"h264-aac.mkv", kAudioChannelLayoutTag_Stereo, 48000, true},
                      MediaCase{"vp9-opus.webm", kAudioChannelLayoutTag_Stereo, 48000, true}),
    [](const ::testing::TestParamInfo<MediaCase>& info) {
        std::string name = info.param.file;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

// One stream whose rate changes from 44.1 kHz to 48 kHz halfway, in a container whose time
// base counts samples of neither rate.
class SampleRateChangeTests : public ::testing::TestWithParam<const char*> {};

TEST_P(SampleRateChangeTests, timesEveryBufferWithItsOwnRate) {
    const std::string path = mediaPath(GetParam());
    const DecodedAudio decoded = decodeWholeFile(path);
    const SampleBuffers& buffers = decoded.sampleBuffers;
    ASSERT_GE(buffers.size(), 2u);
    EXPECT_TRUE(contiguousPresentationTimes(buffers));

    // libavcodec may call a frame by the rate it last saw before it tells the new one, so the
    // runs of each rate are those that libavcodec itself reports.
    const ReferenceAudio reference = referenceAudio(path);
    const auto runs = rateRuns(buffers);
    EXPECT_EQ(runs, reference.rateRuns);
    ASSERT_GE(runs.size(), 2u);
    std::map<int, std::int64_t> framesByRate;
    CMTime expectedEnd = CMSampleBufferGetPresentationTimeStamp(buffers.front());
    for (const auto& [rate, frames] : runs) {
        framesByRate[rate] += frames;
        expectedEnd = expectedEnd + CMTimeMake(frames, rate);
    }
    EXPECT_GT(framesByRate[44100], 40000);
    EXPECT_GT(framesByRate[48000], 40000);
    EXPECT_EQ(endTimeOf(buffers.back()), expectedEnd)
        << CMTimeCopyDescription(endTimeOf(buffers.back())) << " vs "
        << CMTimeCopyDescription(expectedEnd);
    EXPECT_EQ(totalFrameCount(buffers), reference.frameCount);
}

INSTANTIATE_TEST_SUITE_P(Containers, SampleRateChangeTests,
                         ::testing::Values("samplerate-change.mp3", "samplerate-change.mka"));

TEST(FFmpegAudioDecoderSeekTests, aFlushAfterASeekLeavesNothingStale) {
    const std::string path = mediaPath("gop-1s.mkv");
    TestDemuxer demuxer(path, AVMEDIA_TYPE_AUDIO);
    auto decoder = FFmpegAudioDecoder::make(demuxer.stream());
    SampleBuffers buffers;
    CoreMediaCompatibleDecodeSession session(
        decoder, [&](CMSampleBufferRef buffer) { buffers.push_back(std::move(buffer)); });
    // Two and a half seconds, so that half a second waits in the decoder.
    while (PacketRef packet = demuxer.readPacket()) {
        session.decode(*packet);
        if (packet->avPacket().pts >= 2500) {
            break;
        }
    }
    ASSERT_NE(decoder->sampleBufferBuilder(), nullptr);
    const std::size_t beforeSeek = buffers.size();

    const std::int64_t target = 6000;  // milliseconds
    demuxer.seek(target);
    decoder->flush();
    PacketRef first = demuxer.readPacket();
    ASSERT_NE(first, nullptr);
    const CMTime firstTime = CMTimeMake(first->avPacket().pts, 1000);
    session.decode(*first);
    while (PacketRef packet = demuxer.readPacket()) {
        session.decode(*packet);
    }
    session.drain();

    const SampleBuffers afterSeek(buffers.begin() + beforeSeek, buffers.end());
    ASSERT_FALSE(afterSeek.empty());
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(afterSeek.front()), firstTime)
        << CMTimeCopyDescription(CMSampleBufferGetPresentationTimeStamp(afterSeek.front()));
    EXPECT_TRUE(contiguousPresentationTimes(afterSeek));
    const ReferenceAudio reference = referenceAudio(path, target);
    EXPECT_EQ(totalFrameCount(afterSeek), reference.frameCount);
}

// A damaged packet in the middle of a second of audio costs that packet's samples and no more,
// whether libavcodec reports it when the packet goes in or when its frame is asked for (which
// of the two depends on the packet's place in the send-and-receive rhythm).
TEST(FFmpegAudioDecoderDamageTests, aDamagedPacketCostsOnlyItsOwnAudio) {
    const std::string path = mediaPath("ac3-5.1.mka");
    constexpr std::int64_t kAC3FrameSamples = 1536;
    const ReferenceAudio reference = referenceAudio(path);
    for (const int damagedIndex : {20, 21}) {
        SCOPED_TRACE(damagedIndex);
        TestDemuxer demuxer(path, AVMEDIA_TYPE_AUDIO);
        auto decoder = FFmpegAudioDecoder::make(demuxer.stream());
        SampleBuffers buffers;
        CoreMediaCompatibleDecodeSession session(
            decoder, [&](CMSampleBufferRef buffer) { buffers.push_back(std::move(buffer)); });
        ScopedLogCapture log;
        int index = 0;
        int refused = 0;
        while (PacketRef packet = demuxer.readPacket()) {
            if (index++ == damagedIndex) {
                ASSERT_GE(av_packet_make_writable(&packet->avPacket()), 0);
                ASSERT_GE(packet->avPacket().size, 2);
                // No AC-3 sync word.
                packet->avPacket().data[0] = 0;
                packet->avPacket().data[1] = 0;
            }
            try {
                session.decode(*packet);
            } catch (const FFmpegError&) {
                // The data provider logs it and goes on with the next packet.
                ++refused;
            }
        }
        session.drain();

        ASSERT_FALSE(buffers.empty());
        EXPECT_EQ(totalFrameCount(buffers), reference.frameCount - kAC3FrameSamples);
        // The audio before the damage arrived whole and in one piece.
        EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(buffers.front()), kCMTimeZero);
        const auto beforeDamage = CMSampleBufferGetNumSamples(buffers.front());
        EXPECT_GE(beforeDamage, damagedIndex * kAC3FrameSamples);
        // A failed dequeue is reported once (the session flushes after it).
        std::size_t dequeueFailures = 0;
        for (const std::string& line : log.lines()) {
            dequeueFailures += line.find("Failed to dequeue a sample buffer: ") == 0;
        }
        EXPECT_EQ(dequeueFailures + static_cast<std::size_t>(refused), 1u);
    }
}

// A transport stream that lost the audio's TS packets from `from` to `to` (fractions of its
// audio packets), as a weak broadcast signal leaves a recording; the path of the copy.
std::string transportStreamWithLostAudio(const std::string& path, double from, double to) {
    int audioPID = 0;
    {
        TestDemuxer demuxer(path, AVMEDIA_TYPE_AUDIO);
        audioPID = demuxer.stream().id;
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    constexpr std::size_t kPacketSize = 188;
    const auto pidOf = [&](std::size_t offset) {
        return ((bytes[offset + 1] & 0x1F) << 8) | static_cast<unsigned char>(bytes[offset + 2]);
    };
    std::size_t audioPackets = 0;
    for (std::size_t offset = 0; offset + kPacketSize <= bytes.size(); offset += kPacketSize) {
        audioPackets += pidOf(offset) == audioPID;
    }
    const auto first = static_cast<std::size_t>(from * static_cast<double>(audioPackets));
    const auto last = static_cast<std::size_t>(to * static_cast<double>(audioPackets));
    const std::string cutPath = ::testing::TempDir() + "lost-audio-" + std::to_string(::getpid()) +
                                "-" + std::filesystem::path(path).filename().string();
    std::ofstream out(cutPath, std::ios::binary | std::ios::trunc);
    std::size_t audioIndex = 0;
    for (std::size_t offset = 0; offset + kPacketSize <= bytes.size(); offset += kPacketSize) {
        if (pidOf(offset) == audioPID && audioIndex++ >= first && audioIndex <= last) {
            continue;
        }
        out.write(bytes.data() + offset, kPacketSize);
    }
    return cutPath;
}

// Where the time base does not count samples, the decoder counts them itself, and a real gap
// in the stream's times must still move the sound, or it runs early until the next seek.
TEST(FFmpegAudioDecoderTimestampTests, followsAStretchOfAudioLostFromATransportStream) {
    for (const char* file : {"mpeg2-mp2.ts", "start-offset-10s.ts"}) {
        SCOPED_TRACE(file);
        const std::string path = transportStreamWithLostAudio(mediaPath(file), 0.3, 0.7);
        TestDemuxer demuxer(path, AVMEDIA_TYPE_AUDIO);
        const AVRational timeBase = demuxer.timeBase();
        ASSERT_NE(timeBase.den, 1);
        auto decoder = FFmpegAudioDecoder::make(demuxer.stream());
        SampleBuffers buffers;
        CoreMediaCompatibleDecodeSession session(
            decoder, [&](CMSampleBufferRef buffer) { buffers.push_back(std::move(buffer)); });
        // The packet after the widest gap in the stream's own times, and the end of the last.
        CMTime previousEnd = kCMTimeInvalid;
        CMTime widestGap = kCMTimeZero;
        CMTime afterGap = kCMTimeInvalid;
        CMTime streamEnd = kCMTimeInvalid;
        ScopedLogCapture log;  // The cut leaves a damaged frame or two.
        while (PacketRef packet = demuxer.readPacket()) {
            const AVPacket& avPacket = packet->avPacket();
            if (avPacket.pts != AV_NOPTS_VALUE) {
                const CMTime start = CMTimeMake(avPacket.pts * timeBase.num, timeBase.den);
                if (CMTIME_IS_VALID(previousEnd) && start - previousEnd > widestGap) {
                    widestGap = start - previousEnd;
                    afterGap = start;
                }
                previousEnd = start + CMTimeMake(avPacket.duration * timeBase.num, timeBase.den);
                streamEnd = previousEnd;
            }
            try {
                session.decode(*packet);
            } catch (const FFmpegError&) {
            }
        }
        session.drain();
        std::filesystem::remove(path);
        ASSERT_GT(CMTimeGetSeconds(widestGap), 0.5);
        ASSERT_FALSE(buffers.empty());

        // A buffer starts where the audio comes back, within a frame of the stream's time.
        bool resumesOnTime = false;
        for (const CMSampleBufferRef& buffer : buffers) {
            const double start = CMTimeGetSeconds(CMSampleBufferGetPresentationTimeStamp(buffer));
            resumesOnTime |= std::abs(start - CMTimeGetSeconds(afterGap)) < 0.04;
        }
        EXPECT_TRUE(resumesOnTime) << "no buffer starts near " << CMTimeCopyDescription(afterGap);
        // And the sound ends where the stream does, not a gap's length early.
        EXPECT_NEAR(CMTimeGetSeconds(endTimeOf(buffers.back())), CMTimeGetSeconds(streamEnd), 0.04);
        // Within each buffer the samples still count the time.
        for (std::size_t index = 0; index + 1 < buffers.size(); ++index) {
            EXPECT_LE(CMTimeCompare(endTimeOf(buffers[index]),
                                    CMSampleBufferGetPresentationTimeStamp(buffers[index + 1]) +
                                        CMTimeMake(1, 1000)),
                      0)
                << "buffer " << index << " overlaps the next";
        }
    }
}

// Layouts no tag describes, made in memory as raw PCM.
std::vector<std::uint8_t> channelSamples(int frames, const std::vector<std::int16_t>& values) {
    std::vector<std::uint8_t> bytes;
    for (int frame = 0; frame < frames; ++frame) {
        for (std::int16_t value : values) {
            bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
        }
    }
    return bytes;
}

SampleBuffers decodePackets(SyntheticStream& stream, FFmpegAudioDecoder& decoder,
                            const std::vector<std::int16_t>& values, int packets) {
    SampleBuffers buffers;
    auto shared = std::shared_ptr<FFmpegAudioDecoder>(&decoder, [](FFmpegAudioDecoder*) {});
    CoreMediaCompatibleDecodeSession session(
        shared, [&](CMSampleBufferRef buffer) { buffers.push_back(std::move(buffer)); });
    for (int index = 0; index < packets; ++index) {
        session.decode(*stream.packet(channelSamples(1000, values), index * 1000));
    }
    session.drain();
    return buffers;
}

TEST(FFmpegAudioDecoderLayoutTests, remixesALayoutNoTagDescribesWhenTheTrackIsMade) {
    AVChannelLayout sixteen{};
    av_channel_layout_from_mask(&sixteen, AV_CH_LAYOUT_HEXADECAGONAL);
    SyntheticStream stream(AV_CODEC_ID_PCM_S16LE, 48000, sixteen, {1, 48000});
    ScopedLogCapture log;
    FFmpegAudioDecoder decoder(stream.stream());
    EXPECT_TRUE(decoder.remixesChannels());
    EXPECT_TRUE(log.contains("so it is remixed into 7.1(wide)"));
    EXPECT_EQ(decoder.audioProperties().bufferLevelProperties.channelCount, 8);

    const SampleBuffers buffers =
        decodePackets(stream, decoder, std::vector<std::int16_t>(16, 1000), 60);
    EXPECT_EQ(totalFrameCount(buffers), 60000);
    EXPECT_TRUE(contiguousPresentationTimes(buffers));
    for (const CMSampleBufferRef& buffer : buffers) {
        EXPECT_EQ(layoutTagOf(buffer), kAudioChannelLayoutTag_MPEG_7_1_A);
    }
}

TEST(FFmpegAudioDecoderLayoutTests, remixesChannelsInAnOrderOfTheirOwn) {
    AVChannelLayout swapped = customLayout({AV_CHAN_FRONT_RIGHT, AV_CHAN_FRONT_LEFT});
    SyntheticStream stream(AV_CODEC_ID_PCM_S16LE, 48000, swapped, {1, 48000});
    av_channel_layout_uninit(&swapped);
    FFmpegAudioDecoder decoder(stream.stream());
    ASSERT_TRUE(decoder.remixesChannels());
    // Right channel first in the stream, left first in the buffers.
    const SampleBuffers buffers = decodePackets(stream, decoder, {1000, -1000}, 2);
    ASSERT_FALSE(buffers.empty());
    EXPECT_EQ(layoutTagOf(buffers[0]), kAudioChannelLayoutTag_Stereo);
    EXPECT_EQ(sampleBytes(buffers), channelSamples(2000, {-1000, 1000}));
}

TEST(FFmpegAudioDecoderLayoutTests, remixesAMatrixEncodedStereoPair) {
    AVChannelLayout downmix{};
    av_channel_layout_from_mask(&downmix, AV_CH_LAYOUT_STEREO_DOWNMIX);
    SyntheticStream stream(AV_CODEC_ID_PCM_S16LE, 44100, downmix, {1, 44100});
    FFmpegAudioDecoder decoder(stream.stream());
    ASSERT_TRUE(decoder.remixesChannels());
    const SampleBuffers buffers = decodePackets(stream, decoder, {1000, -1000}, 3);
    EXPECT_EQ(totalFrameCount(buffers), 3000);
    EXPECT_EQ(layoutTagOf(buffers.at(0)), kAudioChannelLayoutTag_Stereo);
}

TEST(FFmpegAudioDecoderLayoutTests, refusesATrackThatCanNeverPlay) {
    AVChannelLayout ambisonic{};
    ASSERT_EQ(av_channel_layout_from_string(&ambisonic, "ambisonic 1"), 0);
    SyntheticStream stream(AV_CODEC_ID_PCM_S16LE, 48000, ambisonic, {1, 48000});
    av_channel_layout_uninit(&ambisonic);
    ScopedLogCapture log;
    EXPECT_THROW(FFmpegAudioDecoder{stream.stream()}, FFmpegError);
    EXPECT_TRUE(log.contains("Refusing the audio stream"));
}

TEST(FFmpegAudioDecoderLayoutTests, refusesStreamsThatAreNotAudio) {
    const std::string path = mediaPath("h264-aac.mkv");
    TestDemuxer demuxer(path, AVMEDIA_TYPE_VIDEO);
    try {
        FFmpegAudioDecoder decoder(demuxer.stream());
        ADD_FAILURE() << "a video stream was taken";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::unsupportedMediaType());
    }
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// The renderer reads and releases sample buffers on its own thread while the decoder goes on
// filling new ones from the same pools of memory.
TEST(FFmpegAudioDecoderThreadTests, buffersOutliveTheDecoderOnAnotherThread) {
    for (const char* file : {"aac-5.1.m4a", "flac-stereo.flac"}) {
        const std::string path = mediaPath(file);
        std::mutex mutex;
        std::condition_variable available;
        std::deque<CMSampleBufferRef> queue;
        bool finished = false;
        std::vector<std::uint8_t> rendered;
        std::thread renderer([&] {
            while (true) {
                CMSampleBufferRef buffer;
                {
                    std::unique_lock lock(mutex);
                    available.wait(lock, [&] { return finished || !queue.empty(); });
                    if (queue.empty()) {
                        return;
                    }
                    buffer = std::move(queue.front());
                    queue.pop_front();
                }
                const std::vector<std::uint8_t> bytes = sampleBytes({buffer});
                rendered.insert(rendered.end(), bytes.begin(), bytes.end());
            }
        });
        {
            TestDemuxer demuxer(path, AVMEDIA_TYPE_AUDIO);
            CoreMediaCompatibleDecodeSession session(FFmpegAudioDecoder::make(demuxer.stream()),
                                                     [&](CMSampleBufferRef buffer) {
                                                         std::lock_guard lock(mutex);
                                                         queue.push_back(std::move(buffer));
                                                         available.notify_one();
                                                     });
            while (PacketRef packet = demuxer.readPacket()) {
                session.decode(*packet);
            }
            session.drain();
        }
        {
            std::lock_guard lock(mutex);
            finished = true;
            available.notify_one();
        }
        renderer.join();
        EXPECT_TRUE(rendered == referenceAudio(path).interleavedBytes) << file;
    }
}

}  // namespace
}  // namespace quillon
