#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/corevideo/CVPixelBuffer.h"

namespace platform {

// How a picture's colours are encoded, as far as showing it on an SDR BT.709 screen goes.
struct VideoColorDescription {
    enum class Transfer { sdr, pq, hlg };
    enum class Primaries { bt709, bt2020, p3 };

    Transfer transfer = Transfer::sdr;
    Primaries primaries = Primaries::bt709;
    // In cd/m², 0 where unknown: the mastering display's peak and black, and MaxCLL.
    double masteringPeak = 0;
    double masteringBlack = 0;
    double maxContentLightLevel = 0;

    // From the buffer's primaries, transfer function and HDR metadata attachments.
    static VideoColorDescription of(const CVPixelBuffer& buffer);

    // Whether the picture must go through linear light (tone mapping or gamut mapping) rather
    // than straight from its code values to the screen's.
    bool needsMapping() const { return transfer != Transfer::sdr || primaries != Primaries::bt709; }

    friend bool operator==(const VideoColorDescription&, const VideoColorDescription&) = default;
};

// Maps non-linear R'G'B' (16 bits per component, full range, in the picture's own primaries and
// transfer) to 8-bit BT.709 for an SDR screen. PQ and HLG are tone-mapped with the BT.2390 EETF
// from the content's peak (MaxCLL, else the mastering display's peak, else 1000 cd/m²) down to
// the SDR reference white of 203 cd/m². The curve is applied to the largest component, and the
// others follow with the same gain, so hues keep their ratios; wider primaries are then turned
// into BT.709 in linear light and clipped. The output is encoded for a BT.1886 (gamma 2.4)
// screen, as SDR video's code values are shown.
//
// Built once per description (tables of some 35 kilobytes, which stay in the first-level cache);
// mapping is lookups and a matrix per pixel, eight pixels at a time where the processor has AVX2,
// safe from several threads at once.
class VideoColorMapping {
public:
    static constexpr double kSDRPeak = 203;

    explicit VideoColorMapping(const VideoColorDescription& description);

    const VideoColorDescription& description() const { return description_; }

    // `count` pixels, given as rows of 16-bit red, green and blue, to packed BGRA (alpha
    // opaque).
    void mapRow(const std::uint16_t* red, const std::uint16_t* green, const std::uint16_t* blue,
                std::uint8_t* bgra, int count) const;

    // The source's peak in cd/m² that the tone curve starts from.
    static double contentPeak(const VideoColorDescription& description);
    // BT.2390's curve: displayed luminance for scene luminance, both in cd/m².
    static double toneMap(double luminance, double sourcePeak, double sourceBlack,
                          double targetPeak);
    // SMPTE ST 2084's signal for a luminance in cd/m².
    static double luminanceToPQ(double luminance);
    // The linear-light matrix (row-major) from the primaries into BT.709.
    static std::array<float, 9> matrixToBT709(VideoColorDescription::Primaries primaries);

private:
    template <bool tonesDown, bool convertsPrimaries>
    void mapPixels(const std::uint16_t* red, const std::uint16_t* green, const std::uint16_t* blue,
                   std::uint8_t* bgra, int count) const;

    static constexpr int kInputBits = 12;
    static constexpr int kInputSize = 1 << kInputBits;
    // The screen codes are looked up by the top bits of the light's float: 2^-7 steps of each
    // octave from 2^-24 (far below code 0.5) to 1, so that the table stays small.
    static constexpr int kEncodeMantissaBits = 7;
    static constexpr int kEncodeShift = 23 - kEncodeMantissaBits;
    static constexpr int kEncodeLowestOctave = -24;
    static constexpr int kEncodeBase = (127 + kEncodeLowestOctave) << kEncodeMantissaBits;
    static constexpr int kEncodeSize = (-kEncodeLowestOctave << kEncodeMantissaBits) + 1;

    VideoColorDescription description_;
    // Code value (top bits, rounded: one entry more for the top code) → linear light, 1 being
    // the SDR peak, before tone mapping.
    std::vector<float> linear_;
    // Code value of the largest component → gain of the tone curve.
    std::vector<float> gain_;
    std::array<float, 9> matrix_{};
    bool identityMatrix_ = true;
    // Linear light in [0, 1], by its float's top bits → 8-bit screen code.
    std::vector<std::uint8_t> encode_;
};

}  // namespace platform
