#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/video-output/VideoColorMapping.h"

namespace {

using namespace platform;
using Transfer = VideoColorDescription::Transfer;
using Primaries = VideoColorDescription::Primaries;

VideoColorDescription describe(Transfer transfer, Primaries primaries) {
    VideoColorDescription description;
    description.transfer = transfer;
    description.primaries = primaries;
    description.masteringPeak = 1000;
    description.maxContentLightLevel = 1000;
    return description;
}

TEST(VideoColorMappingTest, ARowMapsAsItsPixelsDoOneByOne) {
    // Long rows go eight pixels at a time where the processor allows, and their ends one by one:
    // both ways must give the same bytes, for every kind of mapping, the extremes included.
    std::mt19937 random(20);
    std::uniform_int_distribution<int> code(0, 65535);
    constexpr int count = 1003;
    std::vector<std::uint16_t> red(count), green(count), blue(count);
    for (int i = 0; i < count; ++i) {
        red[i] = static_cast<std::uint16_t>(code(random));
        green[i] = static_cast<std::uint16_t>(code(random));
        blue[i] = static_cast<std::uint16_t>(code(random));
    }
    red[0] = green[0] = blue[0] = 0;
    red[1] = green[1] = blue[1] = 65535;
    red[2] = 65535;
    green[2] = blue[2] = 0;
    for (const auto& [transfer, primaries] :
         {std::pair{Transfer::sdr, Primaries::bt2020}, std::pair{Transfer::sdr, Primaries::bt709},
          std::pair{Transfer::pq, Primaries::bt2020}, std::pair{Transfer::pq, Primaries::bt709},
          std::pair{Transfer::hlg, Primaries::p3}}) {
        SCOPED_TRACE(testing::Message()
                     << static_cast<int>(transfer) << " " << static_cast<int>(primaries));
        const VideoColorMapping mapping(describe(transfer, primaries));
        std::vector<std::uint8_t> row(4 * count), single(4 * count);
        mapping.mapRow(red.data(), green.data(), blue.data(), row.data(), count);
        for (int i = 0; i < count; ++i) {
            mapping.mapRow(&red[i], &green[i], &blue[i], &single[4 * i], 1);
        }
        EXPECT_EQ(row, single);
        EXPECT_EQ(row[3], 0xFF);
    }
}

TEST(VideoColorMappingTest, GreysKeepTheirCodeThroughTheGamutMapping) {
    // Grey lies in both gamuts: an SDR BT.2020 picture's greys come out as the same 8-bit codes
    // within one, from black to white.
    const VideoColorMapping mapping(describe(Transfer::sdr, Primaries::bt2020));
    int worst = 0;
    for (int level = 0; level < 256; ++level) {
        const auto code = static_cast<std::uint16_t>(level * 257);
        std::uint8_t out[4];
        mapping.mapRow(&code, &code, &code, out, 1);
        for (int component = 0; component < 3; ++component) {
            worst = std::max(worst, std::abs(out[component] - level));
        }
    }
    EXPECT_LE(worst, 1);
}

}  // namespace
