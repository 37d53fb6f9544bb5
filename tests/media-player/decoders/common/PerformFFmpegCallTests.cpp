#include <gtest/gtest.h>

#include <vector>

#include "media-player/decoders/common/DarwinCall.h"
#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/foundation/Log.h"

using namespace quillon;

namespace {

// A call that answers the scripted codes one after the other and counts its runs.
struct ScriptedCall {
    std::vector<std::int32_t> answers;
    std::size_t runs = 0;
    std::int32_t operator()() { return answers.at(runs++); }
};

const CallSite site("src/Decoder.cpp", 42, "decode(_:)");

}  // namespace

TEST(PerformFFmpegCall, RetriesWhileEAGAINAndReturnsTheResultSilently) {
    platform::ScopedLogCapture log;
    ScriptedCall call{{AVERROR(EAGAIN), AVERROR(EAGAIN), AVERROR(EAGAIN), 0}};
    EXPECT_EQ(performFFmpegCall({}, true, site, std::ref(call)), 0);
    EXPECT_EQ(call.runs, 4u);

    ScriptedCall positive{{7}};
    EXPECT_EQ(performFFmpegCall({}, false, site, std::ref(positive)), 7);
    EXPECT_TRUE(log.lines().empty());
}

TEST(PerformFFmpegCall, FailureAfterEAGAINIsLoggedAndThrown) {
    platform::ScopedLogCapture log;
    ScriptedCall call{{AVERROR(EAGAIN), AVERROR(EINVAL)}};
    try {
        performFFmpegCall({}, true, site, std::ref(call));
        FAIL() << "no error thrown";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::other(AVERROR(EINVAL)));
    }
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "In src/Decoder.cpp decode(_:), the FFmpeg function at line 42 "
                               "returned an error: Invalid argument."});
}

TEST(PerformFFmpegCall, EAGAINWithoutRetryIsAnError) {
    platform::ScopedLogCapture log;
    ScriptedCall call{{AVERROR(EAGAIN), 0}};
    EXPECT_THROW(performFFmpegCall({}, false, site, std::ref(call)), FFmpegError);
    EXPECT_EQ(call.runs, 1u);
    EXPECT_TRUE(log.contains(ffmpegErrorString(AVERROR(EAGAIN))));
}

TEST(PerformFFmpegCall, ExpectedErrorsAreThrownWithoutALogLine) {
    platform::ScopedLogCapture log;
    ScriptedCall call{{AVERROR_EOF}};
    EXPECT_THROW(performFFmpegCall({FFmpegError::posixEAGAIN(), FFmpegError::eof()}, true, site,
                                   std::ref(call)),
                 FFmpegError);
    EXPECT_TRUE(log.lines().empty());
}

TEST(PerformFFmpegCall, LogLineNamesTheCallersFileLineAndGivenFunction) {
    platform::ScopedLogCapture log;
    const unsigned line = __LINE__ + 1;
    EXPECT_THROW(performFFmpegCall({}, false, "caller(with:)", [] { return AVERROR(ERANGE); }),
                 FFmpegError);
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{fmt::format(
                  "In {} caller(with:), the FFmpeg function at line {} returned an error: {}.",
                  __FILE__, line, ffmpegErrorString(AVERROR(ERANGE)))});
}

TEST(PerformFFmpegCall, AllocationFailureIsLoggedAndThrown) {
    platform::ScopedLogCapture log;
    try {
        adoptAllocation<AVFramePointer>(nullptr, site);
        FAIL() << "no error thrown";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::allocationFailure());
    }
    // The error text keeps its own full stop before the line's.
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "In src/Decoder.cpp decode(_:), the FFmpeg function at line 42 "
                               "returned an error: Failed to allocate memory.."});
    EXPECT_NE(makeFrame(site), nullptr);
}

TEST(PerformFFmpegCall, InOutPointerHandsOwnershipThroughFFmpegSetters) {
    AVDictionaryPointer options;
    performFFmpegCall({}, true, site,
                      [&] { return av_dict_set(inOutPointer(options), "a", "1", 0); });
    performFFmpegCall({}, true, site,
                      [&] { return av_dict_set(inOutPointer(options), "b", "2", 0); });
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(av_dict_count(options.get()), 2);
    EXPECT_STREQ(av_dict_get(options.get(), "b", nullptr, 0)->value, "2");
}

TEST(PerformDarwinCall, StatusBecomesALoggedNSErrorUnlessExpected) {
    platform::ScopedLogCapture log;
    EXPECT_EQ(performDarwinCall({}, site, [] { return platform::noErr; }), platform::noErr);
    try {
        performDarwinCall({}, site, [] { return platform::OSStatus{-50}; });
        FAIL() << "no error thrown";
    } catch (const platform::NSError& error) {
        EXPECT_EQ(error.domain(), platform::NSOSStatusErrorDomain);
        EXPECT_EQ(error.code(), -50);
        EXPECT_EQ(log.lines(),
                  std::vector<std::string>{
                      "In src/Decoder.cpp decode(_:), the Darwin function at line 42 returned an "
                      "error: " +
                      error.debugDescription() + "."});
    }
    EXPECT_THROW(performDarwinCall({-12345}, site, [] { return platform::OSStatus{-12345}; }),
                 platform::NSError);
    EXPECT_EQ(log.lines().size(), 1u);
}
