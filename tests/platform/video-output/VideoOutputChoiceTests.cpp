#include <gtest/gtest.h>

#include <algorithm>

#include "platform/foundation/Log.h"
#include "platform/video-output/VideoOutputChoice.h"

namespace {

using namespace platform;

GLContextReport hardware() {
    return {true, "NVIDIA GeForce RTX 3060/PCIe/SSE2", "4.6.0 NVIDIA 525.147.05", true};
}

class VideoOutputChoiceTest : public ::testing::Test {
protected:
    void TearDown() override {
        VideoOutputChoice::setProbe(nullptr);
        VideoOutputChoice::force(std::nullopt);
    }

    // Decides afresh with `report` as the probe's answer; counts the probes.
    VideoOutputPath decide(const GLContextReport& report) {
        VideoOutputChoice::force(std::nullopt);
        VideoOutputChoice::setProbe([this, report] {
            ++probes;
            return report;
        });
        return VideoOutputChoice::current();
    }

    static std::size_t choiceLines(const ScopedLogCapture& capture) {
        const auto lines = capture.lines();
        return static_cast<std::size_t>(std::count_if(
            lines.begin(), lines.end(),
            [](const std::string& line) { return line.starts_with("Video output: "); }));
    }

    int probes = 0;
};

TEST_F(VideoOutputChoiceTest, SoftwareRenderersAndMissingContextsTakeTheRasterPath) {
    for (const char* renderer : {"llvmpipe (LLVM 15.0.6, 256 bits)", "Softpipe",
                                 "Mesa Software Rasterizer (swrast)", "Google SwiftShader"}) {
        EXPECT_EQ(VideoOutputChoice::choose({true, renderer, "4.5 (Compatibility Profile)", true}),
                  VideoOutputPath::raster)
            << renderer;
    }
    EXPECT_EQ(VideoOutputChoice::choose({}), VideoOutputPath::raster);
    GLContextReport tooOld = hardware();
    tooOld.capable = false;
    EXPECT_EQ(VideoOutputChoice::choose(tooOld), VideoOutputPath::raster);
    EXPECT_EQ(VideoOutputChoice::choose(hardware()), VideoOutputPath::openGL);
    EXPECT_EQ(VideoOutputChoice::choose({true, "AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15)",
                                         "4.6 (Compatibility Profile) Mesa 22.3.6", true}),
              VideoOutputPath::openGL)
        << "an LLVM-compiled hardware driver is no software renderer";
}

TEST_F(VideoOutputChoiceTest, DecidesOnceFromTheProbeAndLogsOneLine) {
    const ScopedLogCapture capture;
    EXPECT_EQ(decide({}), VideoOutputPath::raster);
    EXPECT_EQ(VideoOutputChoice::current(), VideoOutputPath::raster);
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(choiceLines(capture), 1U);
    EXPECT_TRUE(capture.contains("Video output: raster (no OpenGL context could be made)."));
    EXPECT_EQ(capture.levelOf("Video output: raster"), LogLevel::debug);

    EXPECT_EQ(decide({true, "llvmpipe (LLVM 15.0.6, 256 bits)", "4.5", true}),
              VideoOutputPath::raster);
    EXPECT_TRUE(capture.contains("is a software one"));
    EXPECT_EQ(decide(hardware()), VideoOutputPath::openGL);
    EXPECT_EQ(VideoOutputChoice::current(), VideoOutputPath::openGL);
    EXPECT_EQ(probes, 3);
}

TEST_F(VideoOutputChoiceTest, AForcedPathNeedsNoProbe) {
    VideoOutputChoice::setProbe([this] {
        ++probes;
        return GLContextReport{};
    });
    {
        const ScopedVideoOutputPath forced(VideoOutputPath::openGL);
        EXPECT_EQ(VideoOutputChoice::current(), VideoOutputPath::openGL);
    }
    EXPECT_EQ(probes, 0);
    EXPECT_EQ(VideoOutputChoice::current(), VideoOutputPath::raster) << "decided afresh";
    EXPECT_EQ(probes, 1);
}

TEST_F(VideoOutputChoiceTest, AFailureAtRunTimeTurnsLaterViewsToRasterAndIsLoggedOnce) {
    const ScopedLogCapture capture;
    ASSERT_EQ(decide(hardware()), VideoOutputPath::openGL);
    VideoOutputChoice::glDidFail("context lost");
    VideoOutputChoice::glDidFail("context lost");
    EXPECT_EQ(VideoOutputChoice::current(), VideoOutputPath::raster);
    EXPECT_EQ(probes, 1);
    const auto lines = capture.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "Video output: OpenGL failed (context lost); the raster path takes over."),
              1);
}

}  // namespace
