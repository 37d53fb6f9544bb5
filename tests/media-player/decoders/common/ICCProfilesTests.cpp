#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/md5.h>
}

#include "media-player/decoders/common/Base64.h"
#include "media-player/decoders/common/ICCProfiles.h"
#include "platform/graphics/CGColorSpace.h"

using namespace quillon;

namespace {

// ---- Base64 ----

std::string decodedText(std::string_view base64) {
    auto bytes = decodeBase64IgnoringUnknownCharacters(base64);
    if (!bytes) {
        return "<none>";
    }
    return std::string(bytes->begin(), bytes->end());
}

TEST(Base64, DecodesWholeAndPaddedGroups) {
    EXPECT_EQ(decodedText("TWFu"), "Man");
    EXPECT_EQ(decodedText("TWE="), "Ma");
    EXPECT_EQ(decodedText("TQ=="), "M");
    EXPECT_EQ(decodedText("TWE"), "Ma");
    EXPECT_EQ(decodedText(""), "");
    EXPECT_EQ(decodedText("+/+/"), "\xfb\xff\xbf");
}

TEST(Base64, SkipsCharactersOutsideTheAlphabet) {
    EXPECT_EQ(decodedText("TW\nFu\r\n TW E=\n"), "ManMa");
    EXPECT_EQ(decodedText("\t*T-W.F_u!"), "Man");
}

TEST(Base64, RejectsALoneTrailingDigit) {
    EXPECT_EQ(decodedText("TWFuT"), "<none>");
    EXPECT_EQ(decodedText("T==="), "<none>");
}

// ---- The embedded profiles ----

std::uint32_t be32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return (std::uint32_t{bytes.at(offset)} << 24) | (std::uint32_t{bytes.at(offset + 1)} << 16) |
           (std::uint32_t{bytes.at(offset + 2)} << 8) | std::uint32_t{bytes.at(offset + 3)};
}
std::uint16_t be16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes.at(offset) << 8) | bytes.at(offset + 1));
}
double s15f16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::int32_t>(be32(bytes, offset)) / 65536.0;
}
std::string signature(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

struct Tag {
    std::uint32_t offset;
    std::uint32_t size;
};

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix inverse(const Matrix& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
            r[i][j] = (m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1]) / det;
        }
    }
    return r;
}

std::array<double, 3> apply(const Matrix& m, const std::array<double, 3>& v) {
    std::array<double, 3> r{};
    for (int i = 0; i < 3; ++i) {
        r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    }
    return r;
}

double pqEOTF(double signal) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                 c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(signal, 1 / m2);
    return std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

double hlgEOTF(double signal) {
    const double a = 0.17883277, b = 1 - 4 * a, c = 0.5 - a * std::log(4 * a);
    const double scene =
        signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
    return std::pow(scene, 1.2);
}

struct ProfileCase {
    HDRICCProfile profile;
    const char* name;
    std::array<std::array<double, 2>, 3> primaries;  // red, green, blue (x, y)
    int cicpPrimaries;
    int cicpTransfer;
    double (*eotf)(double);
};

const ProfileCase profileCases[] = {
    {HDRICCProfile::bt2020PQ,
     "BT2020PQ",
     {{{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}}},
     9,
     16,
     pqEOTF},
    {HDRICCProfile::bt2020HLG,
     "BT2020HLG",
     {{{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}}},
     9,
     18,
     hlgEOTF},
    {HDRICCProfile::p3D65PQ,
     "P3D65PQ",
     {{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}}},
     12,
     16,
     pqEOTF},
    {HDRICCProfile::p3D65HLG,
     "P3D65HLG",
     {{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}}},
     12,
     18,
     hlgEOTF},
};

void PrintTo(const ProfileCase& profileCase, std::ostream* stream) {
    *stream << profileCase.name;
}

class EmbeddedICCProfile : public ::testing::TestWithParam<ProfileCase> {
protected:
    void SetUp() override {
        const platform::CFDataRef& data = iccProfileData(GetParam().profile);
        ASSERT_NE(data, nullptr);
        bytes.assign(data->bytes().begin(), data->bytes().end());
        ASSERT_GE(bytes.size(), 132u);
        const std::uint32_t count = be32(bytes, 128);
        ASSERT_LE(132 + std::size_t{count} * 12, bytes.size());
        for (std::uint32_t index = 0; index < count; ++index) {
            const std::size_t entry = 132 + std::size_t{index} * 12;
            tags[signature(bytes, entry)] = Tag{be32(bytes, entry + 4), be32(bytes, entry + 8)};
        }
        tableEnd = 132 + std::size_t{count} * 12;
    }

    std::string typeOf(const std::string& tag) { return signature(bytes, tags.at(tag).offset); }

    std::array<double, 3> xyz(const std::string& tag) {
        const std::size_t offset = tags.at(tag).offset;
        return {s15f16(bytes, offset + 8), s15f16(bytes, offset + 12), s15f16(bytes, offset + 16)};
    }

    std::vector<std::uint8_t> bytes;
    std::map<std::string, Tag> tags;
    std::size_t tableEnd = 0;
};

TEST_P(EmbeddedICCProfile, HeaderIsAVersion4RGBDisplayProfile) {
    EXPECT_EQ(be32(bytes, 0), bytes.size());
    EXPECT_EQ(bytes.size() % 4, 0u);
    EXPECT_EQ(bytes[8], 4) << "major version";
    EXPECT_EQ(bytes[9], 0x40) << "minor version 4.4, for cicp";
    EXPECT_EQ(signature(bytes, 12), "mntr");
    EXPECT_EQ(signature(bytes, 16), "RGB ");
    EXPECT_EQ(signature(bytes, 20), "XYZ ");
    EXPECT_EQ(signature(bytes, 36), "acsp");
    EXPECT_EQ(be32(bytes, 68), 0x0000F6D6u) << "D50 illuminant X";
    EXPECT_EQ(be32(bytes, 72), 0x00010000u);
    EXPECT_EQ(be32(bytes, 76), 0x0000D32Du);
}

TEST_P(EmbeddedICCProfile, ProfileIDIsTheMD5OfTheProfile) {
    std::vector<std::uint8_t> hashed = bytes;
    std::fill(hashed.begin() + 44, hashed.begin() + 48, 0);   // flags
    std::fill(hashed.begin() + 64, hashed.begin() + 68, 0);   // rendering intent
    std::fill(hashed.begin() + 84, hashed.begin() + 100, 0);  // profile ID
    std::array<std::uint8_t, 16> digest{};
    av_md5_sum(digest.data(), hashed.data(), hashed.size());
    EXPECT_TRUE(std::equal(digest.begin(), digest.end(), bytes.begin() + 84));
}

TEST_P(EmbeddedICCProfile, TagsAreCompleteAlignedAndInBounds) {
    const std::map<std::string, std::string> required = {
        {"desc", "mluc"}, {"cprt", "mluc"}, {"wtpt", "XYZ "}, {"chad", "sf32"},
        {"rXYZ", "XYZ "}, {"gXYZ", "XYZ "}, {"bXYZ", "XYZ "}, {"rTRC", "curv"},
        {"gTRC", "curv"}, {"bTRC", "curv"}, {"cicp", "cicp"},
    };
    for (const auto& [tag, type] : required) {
        ASSERT_EQ(tags.count(tag), 1u) << tag;
        EXPECT_EQ(typeOf(tag), type) << tag;
    }
    for (const auto& [tag, location] : tags) {
        EXPECT_GE(location.offset, tableEnd) << tag;
        EXPECT_EQ(location.offset % 4, 0u) << tag;
        EXPECT_LE(std::size_t{location.offset} + location.size, bytes.size()) << tag;
    }
}

TEST_P(EmbeddedICCProfile, CodePointsNameThePrimariesAndTransferAsFullRangeRGB) {
    const Tag cicp = tags.at("cicp");
    ASSERT_EQ(cicp.size, 12u);
    EXPECT_EQ(bytes[cicp.offset + 8], GetParam().cicpPrimaries);
    EXPECT_EQ(bytes[cicp.offset + 9], GetParam().cicpTransfer);
    EXPECT_EQ(bytes[cicp.offset + 10], 0);
    EXPECT_EQ(bytes[cicp.offset + 11], 1);
}

TEST_P(EmbeddedICCProfile, ColorantsAreThePrimariesAdaptedToD50) {
    const auto white = xyz("wtpt");
    EXPECT_NEAR(white[0], 0.9642, 1e-4);
    EXPECT_NEAR(white[1], 1.0, 1e-4);
    EXPECT_NEAR(white[2], 0.8249, 1e-4);

    const auto red = xyz("rXYZ"), green = xyz("gXYZ"), blue = xyz("bXYZ");
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(red[i] + green[i] + blue[i], white[i], 1e-3) << "RGB white is D50";
    }

    // Undo the adaptation: each colorant must be its primary, and white must be D65.
    Matrix chad{};
    const std::size_t chadOffset = tags.at("chad").offset + 8;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            chad[i][j] = s15f16(bytes, chadOffset + static_cast<std::size_t>(4 * (3 * i + j)));
        }
    }
    const Matrix toD65 = inverse(chad);
    const auto whiteD65 = apply(toD65, white);
    const double whiteSum = whiteD65[0] + whiteD65[1] + whiteD65[2];
    EXPECT_NEAR(whiteD65[0] / whiteSum, 0.3127, 5e-4);
    EXPECT_NEAR(whiteD65[1] / whiteSum, 0.3290, 5e-4);
    const std::array<std::array<double, 3>, 3> colorants = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        const auto primary = apply(toD65, colorants[c]);
        const double sum = primary[0] + primary[1] + primary[2];
        EXPECT_NEAR(primary[0] / sum, GetParam().primaries[c][0], 5e-4) << "colorant " << c;
        EXPECT_NEAR(primary[1] / sum, GetParam().primaries[c][1], 5e-4) << "colorant " << c;
    }
}

TEST_P(EmbeddedICCProfile, ToneCurvesSampleTheNormalisedEOTF) {
    const Tag red = tags.at("rTRC");
    EXPECT_EQ(tags.at("gTRC").offset, red.offset);
    EXPECT_EQ(tags.at("bTRC").offset, red.offset);
    const std::uint32_t count = be32(bytes, red.offset + 8);
    ASSERT_GE(count, 256u);
    ASSERT_EQ(red.size, 12 + 2 * count);
    std::vector<double> curve;
    for (std::uint32_t index = 0; index < count; ++index) {
        curve.push_back(be16(bytes, red.offset + 12 + 2 * std::size_t{index}) / 65535.0);
    }
    EXPECT_EQ(curve.front(), 0.0);
    EXPECT_EQ(curve.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(curve.begin(), curve.end()));
    for (double signal : {0.1, 0.25, 0.5, 0.58, 0.75, 0.9}) {
        const double position = signal * (count - 1);
        const auto below = static_cast<std::size_t>(position);
        const double fraction = position - static_cast<double>(below);
        const double sampled = curve[below] + fraction * (curve[below + 1] - curve[below]);
        const double expected = GetParam().eotf(signal);
        EXPECT_NEAR(sampled, expected, 2e-4 + expected * 2e-3) << "signal " << signal;
    }
}

TEST_P(EmbeddedICCProfile, MakesAColorSpaceAndIsDecodedOnce) {
    const platform::CFDataRef& data = iccProfileData(GetParam().profile);
    EXPECT_EQ(&data, &iccProfileData(GetParam().profile));
    platform::CGColorSpaceRef space = platform::CGColorSpaceCreateWithICCData(data);
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(*platform::CGColorSpaceCopyICCData(space), *data);
}

INSTANTIATE_TEST_SUITE_P(AllFour, EmbeddedICCProfile, ::testing::ValuesIn(profileCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
