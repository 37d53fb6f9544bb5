#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "MediaSourceTestSupport.h"
#include "SubtitleFolderTree.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "media-player/media-source/PacketReading.h"
#include "platform/coremedia/CMTime.h"
#include "platform/foundation/Log.h"

using namespace quillon;
using namespace quillon::test;
using platform::CMTime;
using platform::CMTimeMake;

namespace {

using SubtitlesTracks = std::vector<std::shared_ptr<SubtitlesTrack>>;

// What a test compares of a packet.
struct PacketSummary {
    int streamIndex;
    std::int64_t pts;
    bool isKeyFrame;
    friend bool operator==(const PacketSummary&, const PacketSummary&) = default;
};

void PrintTo(const PacketSummary& packet, std::ostream* stream) {
    *stream << "{stream " << packet.streamIndex << ", pts " << packet.pts
            << (packet.isKeyFrame ? ", key}" : "}");
}

PacketSummary summary(const Packet& packet) {
    const AVPacket& read = packet.avPacket();
    return {read.stream_index, read.pts, (read.flags & AV_PKT_FLAG_KEY) != 0};
}

std::vector<PacketSummary> summaries(const std::vector<PacketRef>& packets) {
    std::vector<PacketSummary> result;
    for (const auto& packet : packets) {
        result.push_back(summary(*packet));
    }
    return result;
}

// Every packet of the given streams in file order, read with a context of its own: what the
// source's reads must reproduce.
std::vector<PacketSummary> demuxAll(const std::string& path, const StreamIndexSet& streams) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    AVFormatContextPointer context(raw);
    avformat_find_stream_info(raw, nullptr);
    AVPacketPointer packet(av_packet_alloc());
    std::vector<PacketSummary> packets;
    while (av_read_frame(raw, packet.get()) >= 0) {
        if (streams.contains(packet->stream_index)) {
            packets.push_back(
                {packet->stream_index, packet->pts, (packet->flags & AV_PKT_FLAG_KEY) != 0});
        }
        av_packet_unref(packet.get());
    }
    return packets;
}

// The primary track's list that a seek to `target` must give when the seek lands on the last key
// frame at or before the target (where an index sends it): from the last key frame met before the
// first packet at or after the target, to that packet (or to the end).
std::vector<PacketSummary> expectedSeekList(const std::vector<PacketSummary>& streamPackets,
                                            std::int64_t target) {
    auto start = streamPackets.begin();
    for (auto packet = streamPackets.begin(); packet != streamPackets.end(); ++packet) {
        if (packet->isKeyFrame && packet->pts <= target) {
            start = packet;
        }
    }
    std::vector<PacketSummary> list;
    for (auto packet = start; packet != streamPackets.end(); ++packet) {
        if (packet->pts >= target) {
            list.push_back(*packet);
            return list;
        }
        if (packet->isKeyFrame) {
            list.clear();
        }
        list.push_back(*packet);
    }
    return list;
}

std::shared_ptr<MediaSource> open(std::string_view name) {
    return MediaSource::make(mediaURL(name), platform::kCMTimeInvalid, true);
}

// A time `milliseconds` after the source's start (media time zero).
CMTime atMediaTime(const MediaSource& source, std::int64_t milliseconds) {
    return platform::CMTimeAdd(source.startTime(), CMTimeMake(milliseconds, 1000));
}

std::vector<PacketSummary> readAllVisual(const MediaSource& source,
                                         const std::shared_ptr<VideoTrack>& video,
                                         const SubtitlesTracks& subtitles) {
    std::vector<PacketSummary> packets;
    while (auto read = readVisualPacket(source, video, subtitles)) {
        EXPECT_EQ(read->track->streamIndex(),
                  static_cast<std::uint32_t>(read->packet->avPacket().stream_index));
        packets.push_back(summary(*read->packet));
    }
    return packets;
}

std::vector<PacketSummary> readAllAudio(const MediaSource& source, const AudioTrack& track) {
    std::vector<PacketSummary> packets;
    while (PacketRef packet = readAudioPacketOnQueue(source, track)) {
        packets.push_back(summary(*packet));
    }
    return packets;
}

std::vector<PacketSummary> ofStream(const std::vector<PacketSummary>& packets, int streamIndex) {
    std::vector<PacketSummary> result;
    for (const auto& packet : packets) {
        if (packet.streamIndex == streamIndex) {
            result.push_back(packet);
        }
    }
    return result;
}

}  // namespace

TEST(MediaSourceReading, VisualReadsFollowTheFileOrderOfTheTracksAskedForAndNothingElse) {
    const std::string path = mediaPath("multi-2v3a1s.mkv");
    auto source = open("multi-2v3a1s.mkv");
    ASSERT_EQ(source->videoTracks().size(), 2u);
    ASSERT_EQ(source->embeddedSubtitlesTracks().size(), 1u);
    const auto& secondVideo = source->videoTracks()[1];
    const SubtitlesTracks subtitles = source->embeddedSubtitlesTracks();
    const int subtitlesIndex = static_cast<int>(subtitles[0]->streamIndex());

    // The returned track is the very object asked for, by identity.
    auto first = readVisualPacket(*source, secondVideo, subtitles);
    ASSERT_TRUE(first.has_value());
    const bool fromAskedTrack = first->track == secondVideo || first->track == subtitles[0];
    EXPECT_TRUE(fromAskedTrack);

    std::vector<PacketSummary> read{summary(*first->packet)};
    for (const auto& packet : readAllVisual(*source, secondVideo, subtitles)) {
        read.push_back(packet);
    }
    EXPECT_EQ(read, demuxAll(path, {secondVideo->streamIndex(), subtitles[0]->streamIndex()}));
    EXPECT_FALSE(ofStream(read, subtitlesIndex).empty());
    // At the end every further read answers none.
    EXPECT_FALSE(readVisualPacket(*source, secondVideo, subtitles).has_value());
}

TEST(MediaSourceReading, AVisualReadWithoutTracksReadsNothingAndLeavesThePositionAlone) {
    const std::string path = mediaPath("subtitles-srt.mkv");
    auto source = open("subtitles-srt.mkv");
    const auto& video = source->videoTracks().at(0);
    const SubtitlesTracks subtitles = source->embeddedSubtitlesTracks();

    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(readVisualPacket(*source, nullptr, {}).has_value());
    }
    // Subtitles alone, then video alone, then both: each read takes the next packet of the
    // streams it asks for, from the one position the visual context has.
    const auto all = demuxAll(path, {0, 1});
    const auto subtitlesOnly = readAllVisual(*source, nullptr, subtitles);
    EXPECT_EQ(subtitlesOnly, ofStream(all, 1));
    EXPECT_FALSE(readVisualPacket(*source, video, {}).has_value());
}

TEST(MediaSourceReading, AudioReadsGiveTheTrackAloneAndLeaveTheVisualPositionAlone) {
    const std::string path = mediaPath("gop-1s.mkv");
    auto source = open("gop-1s.mkv");
    const auto& audio = source->audioTracks().at(0);
    const auto& video = source->videoTracks().at(0);

    // Opening sought to zero along the video's first key frame (at 21 ms), before which the
    // Matroska demuxer skips the audio packets.
    const auto audioPackets = readAllAudio(*source, *audio);
    auto expected = demuxAll(path, {audio->streamIndex()});
    ASSERT_FALSE(audioPackets.empty());
    EXPECT_LE(audioPackets.front().pts, 21);
    std::erase_if(expected,
                  [&](const auto& packet) { return packet.pts < audioPackets.front().pts; });
    EXPECT_EQ(audioPackets, expected);
    EXPECT_EQ(readAudioPacketOnQueue(*source, *audio), nullptr);

    // The audio context is a context of its own: the visual side still starts at the start.
    auto firstVideo = readVisualPacket(*source, video, {});
    ASSERT_TRUE(firstVideo.has_value());
    EXPECT_EQ(summary(*firstVideo->packet), demuxAll(path, {video->streamIndex()}).front());
}

// The video track's list runs from the last key frame to the first packet at or after the target;
// the next read goes on right after it.
TEST(MediaSourceReading, SeekingVisualTracksGivesThePacketsFromTheLastKeyFrameToTheTarget) {
    struct Case {
        const char* file;
        std::int64_t targetMilliseconds;  // media time
        std::int64_t keyFramePts;         // in the stream's 1/1000 time base
    };
    for (const Case& test : {Case{"gop-1s.mkv", 5500, 5021}, Case{"gop-4s.mkv", 7000, 4021},
                             Case{"gop-4s.mkv", 4021, 4021}, Case{"gop-4s.mkv", 3990, 21},
                             Case{"start-offset-10s.mkv", 1500, 10000}}) {
        SCOPED_TRACE(std::string(test.file) + " at " + std::to_string(test.targetMilliseconds));
        const std::string path = mediaPath(test.file);
        auto source = open(test.file);
        const auto& video = source->videoTracks().at(0);
        const CMTime target = atMediaTime(*source, test.targetMilliseconds);
        const std::int64_t targetPts = platform::CMTimeConvertScale(target, 1000).value;

        PacketsByTrack result = seekVisualTracks(*source, video, {}, target);
        ASSERT_EQ(result.entries().size(), 1u);
        const auto list = summaries(result.packets(*video));
        const auto streamPackets = demuxAll(path, {video->streamIndex()});
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list.front().pts, test.keyFramePts);
        EXPECT_TRUE(list.front().isKeyFrame);
        EXPECT_GE(list.back().pts, targetPts);
        EXPECT_EQ(list, expectedSeekList(streamPackets, targetPts));

        // Reading goes on with the packet that follows the last one the seek took.
        auto next = readVisualPacket(*source, video, {});
        ASSERT_TRUE(next.has_value());
        const auto last = std::find(streamPackets.begin(), streamPackets.end(), list.back());
        ASSERT_NE(last, streamPackets.end());
        ASSERT_NE(last + 1, streamPackets.end());
        EXPECT_EQ(summary(*next->packet), *(last + 1));
    }
}

// A transport stream has no index: FFmpeg searches the file for a packet whose decoding time is
// at or before the target, which need not be a key frame. With B-frames a key frame is decoded
// before it is shown, so even the start lands on the packet after the first key frame; a decoder
// given the packets from there would show nothing before the next key frame. The seek reads from
// the key frame, as an index would have it.
TEST(MediaSourceReading, SeekingATransportStreamStartsFromTheKeyFrameAtOrBeforeTheTarget) {
    const std::string path = mediaPath("start-offset-10s.ts");
    auto source = open("start-offset-10s.ts");
    const auto& video = source->videoTracks().at(0);
    const auto& audio = source->audioTracks().at(0);
    const auto videoPackets = demuxAll(path, {video->streamIndex()});
    ASSERT_FALSE(videoPackets.empty());
    ASSERT_TRUE(videoPackets.front().isKeyFrame);

    for (std::int64_t milliseconds : {1000, 0, 1500}) {
        SCOPED_TRACE(milliseconds);
        const CMTime target = atMediaTime(*source, milliseconds);
        const std::int64_t targetPts = platform::CMTimeConvertScale(target, 90000).value;

        const auto list = summaries(seekVisualTracks(*source, video, {}, target).packets(*video));
        EXPECT_EQ(list, expectedSeekList(videoPackets, targetPts));
        // Reading goes on after the seek's last packet.
        const auto last = std::find(videoPackets.begin(), videoPackets.end(), list.back());
        ASSERT_NE(last, videoPackets.end());
        ASSERT_NE(last + 1, videoPackets.end());
        auto next = readVisualPacket(*source, video, {});
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(summary(*next->packet), *(last + 1));

        const auto audioList = summaries(seekAudioTrackOnQueue(*source, audio, target));
        ASSERT_FALSE(audioList.empty());
        EXPECT_GE(audioList.back().pts, targetPts);
        EXPECT_LE(audioList.front().pts, targetPts);
    }
}

TEST(MediaSourceReading, SeekingPastTheEndGivesTheLastKeyFramesPacketsAndThenNothing) {
    const std::string path = mediaPath("gop-4s.mkv");
    auto source = open("gop-4s.mkv");
    const auto& video = source->videoTracks().at(0);
    const auto& audio = source->audioTracks().at(0);
    const auto videoPackets = demuxAll(path, {video->streamIndex()});
    const auto fromLastKeyFrame = expectedSeekList(videoPackets, INT64_MAX);
    ASSERT_EQ(fromLastKeyFrame.front().pts, 8021);

    for (CMTime target : {platform::CMTimeAdd(source->duration(), CMTimeMake(100, 1)),
                          platform::kCMTimePositiveInfinity}) {
        SCOPED_TRACE(platform::CMTimeCopyDescription(target));
        EXPECT_EQ(summaries(seekVisualTracks(*source, video, {}, target).packets(*video)),
                  fromLastKeyFrame);
        EXPECT_FALSE(readVisualPacket(*source, video, {}).has_value());

        // Every audio packet is a key frame: the list keeps the last one read before the end.
        const auto audioList = summaries(seekAudioTrackOnQueue(*source, audio, target));
        ASSERT_EQ(audioList.size(), 1u);
        EXPECT_EQ(audioList.front(), demuxAll(path, {audio->streamIndex()}).back());
        EXPECT_EQ(readAudioPacketOnQueue(*source, *audio), nullptr);
    }
}

TEST(MediaSourceReading, SeekingBeforeTheStartGivesTheFirstPacketsAndReadsOnFromThere) {
    for (const char* file : {"gop-1s.mkv", "start-offset-10s.mkv", "start-offset-10s.ts"}) {
        SCOPED_TRACE(file);
        const std::string path = mediaPath(file);
        auto source = open(file);
        const auto& video = source->videoTracks().at(0);
        const auto& audio = source->audioTracks().at(0);
        const auto videoPackets = demuxAll(path, {video->streamIndex()});
        const auto audioPackets = demuxAll(path, {audio->streamIndex()});

        for (CMTime target : {atMediaTime(*source, -5000), platform::kCMTimeNegativeInfinity}) {
            SCOPED_TRACE(platform::CMTimeCopyDescription(target));
            // The first packet is already at or after the target: the list is that packet.
            const auto list =
                summaries(seekVisualTracks(*source, video, {}, target).packets(*video));
            ASSERT_EQ(list.size(), 1u);
            EXPECT_EQ(list.front(), videoPackets.front());
            auto next = readVisualPacket(*source, video, {});
            ASSERT_TRUE(next.has_value());
            EXPECT_EQ(summary(*next->packet), videoPackets.at(1));

            // Matroska skips the audio before the video key frame that the seek follows.
            const auto audioList = summaries(seekAudioTrackOnQueue(*source, audio, target));
            ASSERT_EQ(audioList.size(), 1u);
            EXPECT_LE(audioList.front().pts, videoPackets.front().pts);
            const auto nextAudio = readAudioPacketOnQueue(*source, *audio);
            ASSERT_NE(nextAudio, nullptr);
            const auto first =
                std::find(audioPackets.begin(), audioPackets.end(), audioList.front());
            ASSERT_NE(first, audioPackets.end());
            EXPECT_EQ(summary(*nextAudio), *(first + 1));
        }
    }
}

TEST(MediaSourceReading, SeekingToATimeWithoutAValueIsAnErrorNotAJump) {
    auto source = open("gop-1s.mkv");
    const auto& video = source->videoTracks().at(0);
    const platform::ScopedLogCapture log;
    for (CMTime target : {platform::kCMTimeInvalid, platform::kCMTimeIndefinite}) {
        EXPECT_THROW(seekVisualTracks(*source, video, {}, target), FFmpegError);
    }
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST(MediaSourceReading, SeekingTheAudioTrackReadsOnlyItsPacketsUpToTheTarget) {
    const std::string path = mediaPath("multi-2v3a1s.mkv");
    auto source = open("multi-2v3a1s.mkv");
    const auto& audio = source->audioTracks().at(1);
    const CMTime target = atMediaTime(*source, 1500);
    const auto audioPackets = demuxAll(path, {audio->streamIndex()});

    const auto list = summaries(seekAudioTrackOnQueue(*source, audio, target));
    EXPECT_EQ(list, expectedSeekList(audioPackets, 1500));
    const auto next = readAudioPacketOnQueue(*source, *audio);
    ASSERT_NE(next, nullptr);
    const auto last = std::find(audioPackets.begin(), audioPackets.end(), list.back());
    ASSERT_NE(last, audioPackets.end());
    EXPECT_EQ(summary(*next), *(last + 1));
}

TEST(MediaSourceReading, SeekingVisualTracksCollectsTheSubtitleEventsMetOnTheWay) {
    auto source = open("subtitles-srt.mkv");
    const auto& video = source->videoTracks().at(0);
    const SubtitlesTracks subtitles = source->embeddedSubtitlesTracks();
    ASSERT_EQ(subtitles.size(), 1u);

    // The cues of subtitles.srt start at 0.2, 0.8 and 2.0 s; at 1.0 s the first two are read on
    // the way from the key frame, the third is not reached.
    const PacketsByTrack result = seekVisualTracks(*source, video, subtitles, CMTimeMake(1, 1));
    const auto cues = summaries(result.packets(*subtitles[0]));
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_EQ(cues[0].pts, 200);
    EXPECT_EQ(cues[1].pts, 800);
    EXPECT_GE(summaries(result.packets(*video)).back().pts, 1000);

    // Without a video track only the position moves.
    EXPECT_TRUE(seekVisualTracks(*source, nullptr, subtitles, CMTimeMake(2, 1)).empty());
}

// A raw H.264 stream's packets carry no times of their own (a source gives them some from its
// clock): the read-until loop, run on a plain context, stops at the first one.
TEST(MediaSourceReading, APrimaryPacketWithoutATimeEndsTheReadUntilLoopAsItsLastPacket) {
    const std::string path = mediaPath("no-duration.h264");
    AVFormatContext* raw = nullptr;
    ASSERT_GE(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), 0);
    AVFormatContextPointer context(raw);
    ASSERT_GE(avformat_find_stream_info(raw, nullptr), 0);
    std::shared_ptr<MediaTrack> video = VideoTrack::make("SOURCE", *raw->streams[0]);

    const auto list = summaries(readPackets(CMTimeMake(1, 1), video, {}, *raw).packets(*video));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front().pts, AV_NOPTS_VALUE);
    EXPECT_TRUE(list.front().isKeyFrame);
}

TEST(MediaSourceReading, TheIndexGivesTheLastKeyFrameAtOrBeforeATime) {
    auto gop = open("gop-4s.mkv");
    const auto keyFrameTime = [](const MediaSource& source, const MediaTrack& track, CMTime at) {
        return source.visualTracksQueue()->sync(
            [&] { return indexSearchTimestamp(source, track, at); });
    };
    const auto& video = *gop->videoTracks().at(0);
    EXPECT_EQ(keyFrameTime(*gop, video, CMTimeMake(7, 1)), CMTimeMake(4021, 1000));
    EXPECT_EQ(keyFrameTime(*gop, video, CMTimeMake(4021, 1000)), CMTimeMake(4021, 1000));
    EXPECT_EQ(keyFrameTime(*gop, video, CMTimeMake(4020, 1000)), CMTimeMake(21, 1000));
    EXPECT_EQ(keyFrameTime(*gop, video, platform::kCMTimePositiveInfinity), CMTimeMake(8021, 1000));
    EXPECT_EQ(keyFrameTime(*gop, video, CMTimeMake(0, 1)), std::nullopt);
    EXPECT_EQ(keyFrameTime(*gop, video, platform::kCMTimeInvalid), std::nullopt);
    // A track of a source with more streams than this context has is none of its streams.
    auto multi = open("multi-2v3a1s.mkv");
    EXPECT_EQ(keyFrameTime(*gop, *multi->embeddedSubtitlesTracks().at(0), CMTimeMake(1, 1)),
              std::nullopt);
}

// The external subtitle file is a source of its own: seeking it returns nothing and only positions
// it, so that reading on from there meets the cue on screen at the target. (FFmpeg's subtitle
// file demuxers land on a cue at or before the target, going back over overlapping cues.)
TEST(MediaSourceReading, SeekingAnExternalSubtitlesTrackPositionsItsOwnSource) {
    auto media = open("subtitles-srt.mkv");
    auto subtitleFile = MediaSource::make(mediaURL("subtitles.srt"), media->duration(), false);
    const auto& fileTrack = subtitleFile->embeddedSubtitlesTracks().at(0);
    auto external = ExternalSubtitlesTrack::make(subtitleFile, fileTrack);
    const SubtitlesTracks fileTracks{fileTrack};
    const std::vector<PacketSummary> cues = readAllVisual(*subtitleFile, nullptr, fileTracks);
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues.back().pts, 2000);

    // At 2.5 s only the third cue (2.0 to 2.9 s) is on screen.
    EXPECT_TRUE(seekExternalSubtitlesTrack(*external, CMTimeMake(2500, 1000)).empty());
    auto next = readVisualPacket(*subtitleFile, nullptr, fileTracks);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->track, fileTrack);
    EXPECT_LE(next->packet->avPacket().pts, 2500);
    std::vector<PacketSummary> readOn{summary(*next->packet)};
    for (const auto& cue : readAllVisual(*subtitleFile, nullptr, fileTracks)) {
        readOn.push_back(cue);
    }
    EXPECT_EQ(readOn.back(), cues.back());

    // Back to the start: the three cues in order, then the end.
    EXPECT_TRUE(seekExternalSubtitlesTrack(*external, platform::kCMTimeZero).empty());
    EXPECT_EQ(readAllVisual(*subtitleFile, nullptr, fileTracks), cues);

    // The main source never moved.
    auto first = readVisualPacket(*media, media->videoTracks().at(0), {});
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->packet->avPacket().pts, 0);
}

// A subtitle file states no start, and its first cue usually comes some time after zero. There is
// then no cue at or before zero for a backward seek to land on (FFmpeg answers ERANGE); opening
// the file, and going back to its start after the encoding detection has read it, take the
// first cue without a failure.
TEST(MediaSourceReading, ASubtitleFileIsSoughtToItsStartWithoutAFailure) {
    SubtitleFolderTree tree;
    tree.file("late.srt",
              "1\n00:00:01,500 --> 00:00:02,500\nFirst.\n\n"
              "2\n00:00:03,000 --> 00:00:04,000\nSecond.\n\n"
              "3\n00:00:05,000 --> 00:00:06,000\nThird.\n");
    platform::ScopedLogCapture capture;
    auto subtitleFile = MediaSource::make(tree.url("late.srt"), CMTimeMake(10, 1), false);
    const auto& fileTrack = subtitleFile->embeddedSubtitlesTracks().at(0);
    auto external = ExternalSubtitlesTrack::make(subtitleFile, fileTrack);
    const SubtitlesTracks fileTracks{fileTrack};
    const std::vector<PacketSummary> cues = readAllVisual(*subtitleFile, nullptr, fileTracks);
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues.front().pts, 1500);

    EXPECT_TRUE(seekExternalSubtitlesTrack(*external, platform::kCMTimeZero).empty());
    EXPECT_EQ(readAllVisual(*subtitleFile, nullptr, fileTracks), cues);
    EXPECT_FALSE(capture.contains("returned an error"))
        << ::testing::PrintToString(capture.lines());

    // Before the first cue but after zero, the backward seek still finds nothing: its answer is
    // part of seeking forward instead, kept for the full log only.
    EXPECT_TRUE(seekExternalSubtitlesTrack(*external, CMTimeMake(500, 1000)).empty());
    EXPECT_EQ(readAllVisual(*subtitleFile, nullptr, fileTracks), cues);
    EXPECT_EQ(capture.levelOf("Numerical result out of range"), platform::LogLevel::debug);
    // The line names the source file by its place in the tree, not on the build machine.
    EXPECT_TRUE(
        capture.contains("In src/media-player/media-source/PacketReading.cpp seek(_:to:), "
                         "the FFmpeg function at line "))
        << ::testing::PrintToString(capture.lines());
    for (const auto& line : capture.entries()) {
        EXPECT_LT(line.level, platform::LogLevel::warning) << line.text;
    }
}

TEST(MediaSourceReadingDeathTest, ExternalTracksAndAudioReadsOffTheirQueueStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto media = open("subtitles-srt.mkv");
    auto subtitleFile = MediaSource::make(mediaURL("subtitles.srt"), media->duration(), false);
    const SubtitlesTracks asVisual{
        ExternalSubtitlesTrack::make(subtitleFile, subtitleFile->embeddedSubtitlesTracks().at(0))};
    EXPECT_DEATH(readVisualPacket(*media, nullptr, asVisual), "its own source");
    EXPECT_DEATH(seekVisualTracks(*media, nullptr, asVisual, platform::kCMTimeZero),
                 "its own source");

    auto audioSource = open("gop-1s.mkv");
    EXPECT_DEATH(readAudioPacket(*audioSource, *audioSource->audioTracks().at(0)),
                 "audio tracks queue");
}

TEST(StreamIndexSet, HoldsIndexesBeyondTheMaskAndNoNegativeOnes) {
    StreamIndexSet set{3, 64, 200, 64, 0};
    EXPECT_EQ(set.size(), 4u);
    for (std::uint32_t index : {0u, 3u, 64u, 200u}) {
        EXPECT_TRUE(set.contains(index)) << index;
    }
    for (std::uint32_t index : {1u, 63u, 65u, 199u}) {
        EXPECT_FALSE(set.contains(index)) << index;
    }
    EXPECT_FALSE(set.contains(-1));
    EXPECT_TRUE(StreamIndexSet().empty());
}

TEST(MediaSourceReading, AVisualSeekFollowsTheEarliestKeyFrameWithinTenSecondsBeforeTheTarget) {
    const CMTime target = CMTimeMake(100, 1);
    const auto seconds = [](std::int64_t value) { return std::optional(CMTimeMake(value, 1)); };
    const auto pick = [&](std::vector<KeyFrameTime> times) {
        return seekReferenceStreamIndex(times, target);
    };
    // Video (stream 0) at 95 s, subtitles (stream 2) at 93 s: the subtitles, further back.
    EXPECT_EQ(pick({{0, seconds(95)}, {2, seconds(93)}}), 2u);
    // Subtitles at 85 s lie outside the window: the video.
    EXPECT_EQ(pick({{0, seconds(95)}, {2, seconds(85)}}), 0u);
    // Exactly 10 s before still counts.
    EXPECT_EQ(pick({{0, seconds(95)}, {2, seconds(90)}}), 2u);
    // Nothing qualifies: no reference, every stream stays enabled.
    EXPECT_EQ(pick({{0, seconds(80)}, {2, std::nullopt}}), std::nullopt);
    EXPECT_EQ(pick({}), std::nullopt);
    // Equal times keep the first.
    EXPECT_EQ(pick({{0, seconds(93)}, {2, seconds(93)}}), 0u);
}

// The data providers read the two contexts from their own threads at once; each still gets its
// streams whole and in order.
TEST(MediaSourceReading, VisualAndAudioReadersRunInParallelWithoutDisturbingEachOther) {
    const std::string path = mediaPath("gop-4s.mkv");
    auto source = open("gop-4s.mkv");
    const auto& video = source->videoTracks().at(0);
    const auto& audio = source->audioTracks().at(0);
    const auto seekTarget = atMediaTime(*source, 5000);

    std::vector<PacketSummary> audioPackets;
    std::thread audioReader([&] {
        source->audioTracksQueue()->sync([&] {
            audioPackets = summaries(seekAudioTrack(*source, audio, seekTarget));
            while (PacketRef packet = readAudioPacket(*source, *audio)) {
                audioPackets.push_back(summary(*packet));
            }
        });
    });
    std::vector<PacketSummary> videoPackets =
        summaries(seekVisualTracks(*source, video, {}, seekTarget).packets(*video));
    for (const auto& packet : readAllVisual(*source, video, {})) {
        videoPackets.push_back(packet);
    }
    audioReader.join();

    const auto allVideo = demuxAll(path, {video->streamIndex()});
    const auto fromVideoKeyFrame =
        std::find_if(allVideo.begin(), allVideo.end(), [](const auto& p) { return p.pts == 4021; });
    EXPECT_EQ(videoPackets, std::vector(fromVideoKeyFrame, allVideo.end()));
    const auto allAudio = demuxAll(path, {audio->streamIndex()});
    ASSERT_FALSE(audioPackets.empty());
    const auto fromAudio = std::find(allAudio.begin(), allAudio.end(), audioPackets.front());
    EXPECT_EQ(audioPackets, std::vector(fromAudio, allAudio.end()));
    EXPECT_LE(audioPackets.front().pts, 5000);
}
