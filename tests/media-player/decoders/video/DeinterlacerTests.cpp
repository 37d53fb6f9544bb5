#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/video/Deinterlacer.h"
#include "platform/foundation/Log.h"

using namespace quillon;

namespace {

constexpr std::int64_t firstTime = 1000;
constexpr std::int64_t duration = 40;

// Picture `number` of a white bar moving right over grey, woven from two fields 4 pixels apart
// in time order top, bottom; stamped with a time of its own.
AVFramePointer picture(int number, int width = 64, int height = 48, bool interlaced = true) {
    AVFramePointer frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        throw std::runtime_error("av_frame_get_buffer failed");
    }
    for (int row = 0; row < height; ++row) {
        std::uint8_t* line = frame->data[0] + row * frame->linesize[0];
        std::memset(line, 64, static_cast<std::size_t>(width));
        const int shift = interlaced && row % 2 == 1 ? 4 : 0;
        for (int column = number * 8 + shift; column < number * 8 + shift + 6; ++column) {
            line[column % width] = 235;
        }
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int row = 0; row < (height + 1) / 2; ++row) {
            std::memset(frame->data[plane] + row * frame->linesize[plane], 128,
                        static_cast<std::size_t>((width + 1) / 2));
        }
    }
    frame->interlaced_frame = interlaced ? 1 : 0;
    frame->top_field_first = 1;
    frame->pts = firstTime + number * duration;
    frame->best_effort_timestamp = frame->pts;
    frame->pkt_duration = duration;
    frame->sample_aspect_ratio = AVRational{1, 1};
    return frame;
}

std::vector<AVFramePointer> pullAll(Deinterlacer& deinterlacer) {
    std::vector<AVFramePointer> pulled;
    AVFramePointer frame(av_frame_alloc());
    while (deinterlacer.pull(*frame)) {
        pulled.emplace_back(av_frame_clone(frame.get()));
    }
    return pulled;
}

// The largest difference of a luma row from the one below it, added up over the picture.
int combing(const AVFrame& frame) {
    int total = 0;
    for (int row = 0; row + 1 < frame.height; ++row) {
        const std::uint8_t* line = frame.data[0] + row * frame.linesize[0];
        const std::uint8_t* next = line + frame.linesize[0];
        for (int column = 0; column < frame.width; ++column) {
            total += std::abs(line[column] - next[column]);
        }
    }
    return total;
}

}  // namespace

// bwdif looks one picture ahead: each picture comes out when the next goes in, the last when the
// input ends, and a change of size lets the old graph give out what it holds first.
TEST(Deinterlacer, EveryPictureComesOutOnceInOrderWithItsOwnTimeAndWithoutCombs) {
    Deinterlacer deinterlacer;
    std::vector<AVFramePointer> pushed;
    std::vector<AVFramePointer> pulled;
    for (int number = 0; number < 8; ++number) {
        pushed.push_back(number < 5 ? picture(number) : picture(number, 32, 24));
        ASSERT_TRUE(deinterlacer.takes(*pushed.back()));
        deinterlacer.push(*pushed.back());
        auto out = pullAll(deinterlacer);
        // Nothing for the first picture; then each picture lets the one before it out, the
        // first of the new size the last of the old one, which the old graph ends with.
        EXPECT_EQ(out.size(), number == 0 ? 0u : 1u) << "after " << number;
        for (auto& frame : out) {
            pulled.push_back(std::move(frame));
        }
    }
    deinterlacer.finish();
    for (auto& frame : pullAll(deinterlacer)) {
        pulled.push_back(std::move(frame));
    }
    EXPECT_FALSE(deinterlacer.holdsPictures());
    EXPECT_EQ(deinterlacer.graphCount(), 2u);

    ASSERT_EQ(pulled.size(), pushed.size());
    for (std::size_t index = 0; index < pulled.size(); ++index) {
        SCOPED_TRACE(index);
        const AVFrame& in = *pushed[index];
        const AVFrame& out = *pulled[index];
        EXPECT_EQ(out.width, in.width);
        EXPECT_EQ(out.height, in.height);
        EXPECT_EQ(out.pts, in.pts);
        EXPECT_EQ(out.best_effort_timestamp, in.best_effort_timestamp);
        EXPECT_EQ(out.pkt_duration, in.pkt_duration);
        EXPECT_EQ(out.interlaced_frame, 0);
        // Woven, each row pair differs at both edges of the bar; deinterlaced, far less.
        EXPECT_LT(combing(out) * 4, combing(in));
    }
}

TEST(Deinterlacer, ProgressivePicturesAmongInterlacedOnesKeepTheirPlace) {
    Deinterlacer deinterlacer;
    std::vector<AVFramePointer> pushed;
    std::vector<AVFramePointer> pulled;
    const int progressiveCount = Deinterlacer::progressivePicturesBeforeGraphEnds + 2;
    for (int number = 0; number < 3 + progressiveCount; ++number) {
        pushed.push_back(picture(number, 64, 48, number < 3));
        // As the decoder does: what the deinterlacer does not take is shown at once.
        if (!deinterlacer.takes(*pushed.back())) {
            EXPECT_GE(number, 3 + Deinterlacer::progressivePicturesBeforeGraphEnds);
            pulled.emplace_back(av_frame_clone(pushed.back().get()));
            continue;
        }
        deinterlacer.push(*pushed.back());
        for (auto& frame : pullAll(deinterlacer)) {
            pulled.push_back(std::move(frame));
        }
    }
    // A long run of progressive pictures ends the graph: they cost nothing again.
    EXPECT_FALSE(deinterlacer.isFiltering());
    ASSERT_EQ(pulled.size(), pushed.size());
    for (std::size_t index = 0; index < pulled.size(); ++index) {
        EXPECT_EQ(pulled[index]->pts, pushed[index]->pts) << index;
    }
    // A progressive picture that went through the graph is shown as it was.
    const AVFrame& passedThrough = *pulled[4];
    for (int row = 0; row < passedThrough.height; ++row) {
        ASSERT_EQ(std::memcmp(passedThrough.data[0] + row * passedThrough.linesize[0],
                              pushed[4]->data[0] + row * pushed[4]->linesize[0],
                              static_cast<std::size_t>(passedThrough.width)),
                  0)
            << "row " << row;
    }
}

TEST(Deinterlacer, PicturesNoGraphCanTakeAreShownAsDecodedWithOneWarning) {
    platform::ScopedLogCapture log;
    Deinterlacer deinterlacer;
    // bwdif takes no picture of fewer than three rows.
    std::vector<AVFramePointer> pushed;
    for (int number = 0; number < 3; ++number) {
        pushed.push_back(picture(number, 16, 2));
        deinterlacer.push(*pushed.back());
    }
    const auto pulled = pullAll(deinterlacer);
    ASSERT_EQ(pulled.size(), 3u);
    for (std::size_t index = 0; index < pulled.size(); ++index) {
        EXPECT_EQ(pulled[index]->data[0], pushed[index]->data[0]);
    }
    int warnings = 0;
    for (const auto& line : log.entries()) {
        warnings += line.level == platform::LogLevel::warning &&
                    line.text.find(
                        "Interlaced pictures of 16x2 in yuv420p are shown as they "
                        "were decoded") != std::string::npos;
    }
    EXPECT_EQ(warnings, 1);
    // Pictures of another size are tried again.
    deinterlacer.push(*picture(0));
    deinterlacer.push(*picture(1));
    EXPECT_EQ(pullAll(deinterlacer).size(), 1u);
    EXPECT_TRUE(deinterlacer.isFiltering());
}
