#include <gtest/gtest.h>

#include "media-player/decoders/common/CoreVideoCall.h"
#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"
#include "platform/foundation/Log.h"

using namespace quillon;
using namespace platform;

TEST(CoreVideoCall, FailureIsLoggedAndThrownInTheCoreVideoDomain) {
    ScopedLogCapture capture;
    auto incomplete = std::make_shared<const CFDictionary>(
        CFDictionary{{kCVPixelBufferWidthKey, std::int64_t{16}}});
    try {
        createPixelBufferPool(incomplete, CallSite("init(stream:)"));
        FAIL() << "no error thrown";
    } catch (const NSError& error) {
        EXPECT_EQ(error.domain(), "com.apple.corevideo");
        EXPECT_EQ(error.code(), kCVReturnInvalidPixelBufferAttributes);
        EXPECT_TRUE(error.userInfo().empty());
    }
    const std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines.front();
    EXPECT_EQ(line.rfind("In ", 0), 0u) << line;
    EXPECT_NE(line.find("CoreVideoCallTests.cpp init(stream:), the Core Video function at line "),
              std::string::npos)
        << line;
    EXPECT_NE(line.find(" returned an error: Error Domain=com.apple.corevideo Code=-6682."),
              std::string::npos)
        << line;
}

TEST(CoreVideoCall, CreatesBuffersAndPoolsAndChecksLocks) {
    FFmpegPixelFormatConverter converter(AV_PIX_FMT_GRAY8, AVCOL_RANGE_UNSPECIFIED, 10, 10);
    CVPixelBufferRef buffer = createPixelBuffer(
        10, 10, converter, nullptr, CallSite("makeImage(data:dataLinesize:width:height:)"));
    EXPECT_EQ(CVPixelBufferGetPixelFormatType(buffer), kCVPixelFormatType_32BGRA);

    auto pool = createPixelBufferPool(
        std::make_shared<const CFDictionary>(CFDictionary{
            {kCVPixelBufferWidthKey, std::int64_t{16}},
            {kCVPixelBufferHeightKey, std::int64_t{16}},
            {kCVPixelBufferPixelFormatTypeKey, std::int64_t{kCVPixelFormatType_32BGRA}}}),
        CallSite("test"));
    CVPixelBufferRef pooled = createPixelBufferFromPool(pool, CallSite("test"));
    lockBaseAddress(pooled, CallSite("test"));
    unlockBaseAddress(pooled, CallSite("test"));

    ScopedLogCapture capture;
    try {
        unlockBaseAddress(pooled, CallSite("test"));
        FAIL() << "no error thrown";
    } catch (const NSError& error) {
        EXPECT_EQ(error.code(), kCVReturnError);
    }
    EXPECT_TRUE(capture.contains("Code=-6660."));
    EXPECT_THROW(createPixelBuffer(0, 10, converter, nullptr, CallSite("test")), NSError);
}
