#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "media-player/decoders/common/FFmpegLog.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/foundation/Log.h"

using namespace quillon;
using platform::ScopedLogCapture;

namespace {

// The counts of repeated lines live as long as the process: every test logs texts of its own.
class FFmpegLog : public ::testing::Test {
protected:
    void SetUp() override { installFFmpegLogCallback(); }
};

using Lines = std::vector<std::string>;

TEST_F(FFmpegLog, WarningsAndErrorsReachTheLogAsWholeLines) {
    ScopedLogCapture capture;
    AVCodecContextPointer context(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264)));
    av_log(nullptr, AV_LOG_INFO, "Stream information for the curious\n");
    av_log(nullptr, AV_LOG_VERBOSE, "verbose chatter\n");
    av_log(nullptr, AV_LOG_WARNING, "Written in %d ", 2);
    av_log(nullptr, AV_LOG_WARNING, "pieces\n");
    av_log(context.get(), AV_LOG_ERROR, "An error about a decoder\n");
    av_log(nullptr, AV_LOG_FATAL, "Two lines\nin one call\n");
    // A quieter end of a louder start still ends the line.
    av_log(nullptr, AV_LOG_WARNING, "Ended by a quieter piece");
    av_log(nullptr, AV_LOG_DEBUG, "\n");
    av_log(nullptr, AV_LOG_WARNING, "\n");
    EXPECT_EQ(
        capture.lines(),
        (Lines{"[ffmpeg] Written in 2 pieces", "[ffmpeg/h264] An error about a decoder",
               "[ffmpeg] Two lines", "[ffmpeg] in one call", "[ffmpeg] Ended by a quieter piece"}));
}

// What FFmpeg calls an error is a damaged packet that playback gets over: a warning of ours. Only
// its fatal lines are errors.
TEST_F(FFmpegLog, FFmpegsLevelsBecomeWarningsAndErrors) {
    ScopedLogCapture capture;
    av_log(nullptr, AV_LOG_WARNING, "A warning of FFmpeg's\n");
    av_log(nullptr, AV_LOG_ERROR, "An error of FFmpeg's\n");
    av_log(nullptr, AV_LOG_FATAL, "A fatal line of FFmpeg's\n");
    EXPECT_EQ(capture.levelOf("A warning of FFmpeg's"), platform::LogLevel::warning);
    EXPECT_EQ(capture.levelOf("An error of FFmpeg's"), platform::LogLevel::warning);
    EXPECT_EQ(capture.levelOf("A fatal line of FFmpeg's"), platform::LogLevel::error);
}

// FFmpeg's decoding threads log at the same time as the thread that feeds them; a silence on one
// thread (around a call whose failure is expected) leaves the others heard.
TEST_F(FFmpegLog, EachThreadHasItsOwnLineAndItsOwnSilence) {
    ScopedLogCapture capture;
    av_log(nullptr, AV_LOG_WARNING, "Begun on the test's thread, ");
    std::thread([] { av_log(nullptr, AV_LOG_WARNING, "Whole on another thread\n"); }).join();
    av_log(nullptr, AV_LOG_WARNING, "ended there\n");
    {
        const ScopedFFmpegLogSilence silence;
        av_log(nullptr, AV_LOG_ERROR, "Cannot load a library that is not there\n");
        std::thread([] { av_log(nullptr, AV_LOG_ERROR, "Said elsewhere meanwhile\n"); }).join();
    }
    EXPECT_EQ(capture.lines(), (Lines{"[ffmpeg] Whole on another thread",
                                      "[ffmpeg] Begun on the test's thread, ended there",
                                      "[ffmpeg] Said elsewhere meanwhile"}));
}

// The same complaint about every picture of two files is written once; its count is written at
// each power of ten, whichever object logged it.
TEST_F(FFmpegLog, RepeatsAreCountedNotWritten) {
    ScopedLogCapture capture;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    AVCodecContextPointer first(avcodec_alloc_context3(codec));
    AVCodecContextPointer second(avcodec_alloc_context3(codec));
    for (int index = 0; index < 101; ++index) {
        av_log(index % 2 == 0 ? first.get() : second.get(), AV_LOG_ERROR,
               "Could not find ref with POC %d\n", 7);
    }
    EXPECT_EQ(capture.lines(),
              (Lines{"[ffmpeg/hevc] Could not find ref with POC 7",
                     "[ffmpeg/hevc] Could not find ref with POC 7 (repeated 10 times)",
                     "[ffmpeg/hevc] Could not find ref with POC 7 (repeated 100 times)"}));
}

// A line pushed out by many others has its count written as it goes, and is written again when it
// comes back.
TEST_F(FFmpegLog, AForgottenLineLeavesItsCount) {
    ScopedLogCapture capture;
    for (int index = 0; index < 4; ++index) {
        av_log(nullptr, AV_LOG_WARNING, "Soon forgotten\n");
    }
    for (std::size_t index = 0; index < ffmpegLogRememberedLineCount; ++index) {
        av_log(nullptr, AV_LOG_WARNING, "Pushing out %zu\n", index);
    }
    av_log(nullptr, AV_LOG_WARNING, "Soon forgotten\n");
    const Lines lines = capture.lines();
    ASSERT_EQ(lines.size(), ffmpegLogRememberedLineCount + 3);
    EXPECT_EQ(lines[0], "[ffmpeg] Soon forgotten");
    EXPECT_EQ(lines[ffmpegLogRememberedLineCount], "[ffmpeg] Soon forgotten (repeated 3 times)");
    EXPECT_EQ(lines.back(), "[ffmpeg] Soon forgotten");
}

}  // namespace
