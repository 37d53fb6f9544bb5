#include "platform/video-output/VideoColorMapping.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <variant>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/corevideo/CVImageBuffer.h"

namespace platform {

namespace {

// SMPTE ST 2084.
constexpr double kPQm1 = 2610.0 / 16384;
constexpr double kPQm2 = 2523.0 / 4096 * 128;
constexpr double kPQc1 = 3424.0 / 4096;
constexpr double kPQc2 = 2413.0 / 4096 * 32;
constexpr double kPQc3 = 2392.0 / 4096 * 32;
constexpr double kPQPeak = 10000;

double pqToLuminance(double signal) {
    const double p = std::pow(std::clamp(signal, 0.0, 1.0), 1 / kPQm2);
    return kPQPeak * std::pow(std::max(p - kPQc1, 0.0) / (kPQc2 - kPQc3 * p), 1 / kPQm1);
}

double luminanceToPQ(double luminance) {
    const double y = std::pow(std::clamp(luminance / kPQPeak, 0.0, 1.0), kPQm1);
    return std::pow((kPQc1 + kPQc2 * y) / (1 + kPQc3 * y), kPQm2);
}

// ARIB STD-B67 / BT.2100 HLG, to scene light in [0, 1].
double hlgToScene(double signal) {
    constexpr double a = 0.17883277;
    constexpr double b = 0.28466892;
    constexpr double c = 0.55991073;
    signal = std::clamp(signal, 0.0, 1.0);
    return signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
}

// HLG's nominal display peak, and the system gamma that goes with it. The gamma is applied to
// each component rather than to the luminance: close enough for a picture on an SDR screen, and
// it keeps the curve a function of one component.
constexpr double kHLGPeak = 1000;
constexpr double kHLGSystemGamma = 1.2;
constexpr double kDefaultPQPeak = 1000;
constexpr double kScreenGamma = 2.4;

// Linear-light RGB conversions into BT.709 (D65 white).
constexpr std::array<float, 9> kBT2020ToBT709 = {1.660491F,  -0.587641F, -0.072850F,
                                                 -0.124550F, 1.132900F,  -0.008349F,
                                                 -0.018151F, -0.100579F, 1.118730F};
constexpr std::array<float, 9> kP3ToBT709 = {
    1.224940F, -0.224940F, 0.0F, -0.042057F, 1.042057F, 0.0F, -0.019638F, -0.078636F, 1.098274F};

std::uint32_t bigEndian(const std::uint8_t* bytes, int size) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

CFDataRef dataAttachment(const CVPixelBuffer& buffer, const std::string& key) {
    if (auto value = buffer.attachment(key, nullptr)) {
        if (const auto* data = std::get_if<CFDataRef>(&*value)) {
            return *data;
        }
    }
    return nullptr;
}

std::string stringAttachment(const CVPixelBuffer& buffer, const std::string& key) {
    if (auto value = buffer.attachment(key, nullptr)) {
        if (const auto* text = std::get_if<std::string>(&*value)) {
            return *text;
        }
    }
    return {};
}

}  // namespace

VideoColorDescription VideoColorDescription::of(const CVPixelBuffer& buffer) {
    VideoColorDescription description;
    const std::string transfer = stringAttachment(buffer, kCVImageBufferTransferFunctionKey);
    if (transfer == kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ) {
        description.transfer = Transfer::pq;
    } else if (transfer == kCVImageBufferTransferFunction_ITU_R_2100_HLG) {
        description.transfer = Transfer::hlg;
    }
    const std::string primaries = stringAttachment(buffer, kCVImageBufferColorPrimariesKey);
    if (primaries == kCVImageBufferColorPrimaries_ITU_R_2020) {
        description.primaries = Primaries::bt2020;
    } else if (primaries == kCVImageBufferColorPrimaries_P3_D65 ||
               primaries == kCVImageBufferColorPrimaries_DCI_P3) {
        description.primaries = Primaries::p3;
    }
    if (description.transfer == Transfer::sdr) {
        return description;
    }
    // The blocks' layouts: luminances at bytes 16 and 20 in units of 1/10000 cd/m²; MaxCLL at 0.
    if (const CFDataRef volume =
            dataAttachment(buffer, kCVImageBufferMasteringDisplayColorVolumeKey);
        volume && volume->size() >= 24) {
        description.masteringPeak = bigEndian(volume->data() + 16, 4) / 10000.0;
        description.masteringBlack = bigEndian(volume->data() + 20, 4) / 10000.0;
    }
    if (const CFDataRef level = dataAttachment(buffer, kCVImageBufferContentLightLevelInfoKey);
        level && level->size() >= 4) {
        description.maxContentLightLevel = bigEndian(level->data(), 2);
    }
    return description;
}

double VideoColorMapping::luminanceToPQ(double luminance) {
    return platform::luminanceToPQ(luminance);
}

std::array<float, 9> VideoColorMapping::matrixToBT709(VideoColorDescription::Primaries primaries) {
    switch (primaries) {
        case VideoColorDescription::Primaries::bt2020:
            return kBT2020ToBT709;
        case VideoColorDescription::Primaries::p3:
            return kP3ToBT709;
        case VideoColorDescription::Primaries::bt709:
            break;
    }
    return {1, 0, 0, 0, 1, 0, 0, 0, 1};
}

double VideoColorMapping::contentPeak(const VideoColorDescription& description) {
    switch (description.transfer) {
        case VideoColorDescription::Transfer::sdr:
            return kSDRPeak;
        case VideoColorDescription::Transfer::hlg:
            return kHLGPeak;
        case VideoColorDescription::Transfer::pq:
            break;
    }
    // MaxCLL is what the content reaches; the mastering display's peak only bounds it. Values
    // below the SDR white are taken for the nonsense they are.
    if (description.maxContentLightLevel > kSDRPeak) {
        return description.masteringPeak > kSDRPeak
                   ? std::min(description.maxContentLightLevel, description.masteringPeak)
                   : description.maxContentLightLevel;
    }
    return description.masteringPeak > kSDRPeak ? description.masteringPeak : kDefaultPQPeak;
}

double VideoColorMapping::toneMap(double luminance, double sourcePeak, double sourceBlack,
                                  double targetPeak) {
    if (sourcePeak <= targetPeak) {
        return luminance;
    }
    // In the PQ domain, normalised to the source's range.
    const double black = luminanceToPQ(sourceBlack);
    const double range = luminanceToPQ(sourcePeak) - black;
    const double e1 = std::clamp((luminanceToPQ(luminance) - black) / range, 0.0, 1.0);
    const double maxLum = (luminanceToPQ(targetPeak) - black) / range;
    const double kneeStart = 1.5 * maxLum - 0.5;
    double e2 = e1;
    if (e1 > kneeStart) {
        const double t = (e1 - kneeStart) / (1 - kneeStart);
        const double t2 = t * t;
        const double t3 = t2 * t;
        e2 = (2 * t3 - 3 * t2 + 1) * kneeStart + (t3 - 2 * t2 + t) * (1 - kneeStart) +
             (-2 * t3 + 3 * t2) * maxLum;
    }
    return std::min(pqToLuminance(e2 * range + black), targetPeak);
}

VideoColorMapping::VideoColorMapping(const VideoColorDescription& description)
    : description_(description),
      linear_(kInputSize + 1),
      gain_(kInputSize + 1, 1.0F),
      // Three bytes more: the vector path reads each code as the low byte of four.
      encode_(kEncodeSize + 3) {
    using Transfer = VideoColorDescription::Transfer;
    const double peak = contentPeak(description);
    const double black = description.transfer == Transfer::pq ? description.masteringBlack : 0;
    for (int code = 0; code <= kInputSize; ++code) {
        const double signal = std::min(static_cast<double>(code) / (kInputSize - 1), 1.0);
        double luminance = 0;  // cd/m²
        switch (description.transfer) {
            case Transfer::sdr:
                luminance = kSDRPeak * std::pow(signal, kScreenGamma);
                break;
            case Transfer::pq:
                luminance = pqToLuminance(signal);
                break;
            case Transfer::hlg:
                luminance = kHLGPeak * std::pow(hlgToScene(signal), kHLGSystemGamma);
                break;
        }
        linear_[code] = static_cast<float>(luminance / kSDRPeak);
        if (description.transfer != Transfer::sdr && luminance > 0) {
            gain_[code] = static_cast<float>(toneMap(luminance, peak, black, kSDRPeak) / luminance);
        }
    }
    switch (description.primaries) {
        case VideoColorDescription::Primaries::bt709:
            break;
        case VideoColorDescription::Primaries::bt2020:
            matrix_ = kBT2020ToBT709;
            identityMatrix_ = false;
            break;
        case VideoColorDescription::Primaries::p3:
            matrix_ = kP3ToBT709;
            identityMatrix_ = false;
            break;
    }
    // Each entry holds the code of the middle of its step.
    for (int index = 0; index < kEncodeSize; ++index) {
        const auto bits = static_cast<std::uint32_t>(index + kEncodeBase) << kEncodeShift |
                          std::uint32_t{1} << (kEncodeShift - 1);
        const double value = std::min(static_cast<double>(std::bit_cast<float>(bits)), 1.0);
        encode_[index] =
            static_cast<std::uint8_t>(std::lround(255 * std::pow(value, 1 / kScreenGamma)));
    }
}

#if defined(__x86_64__)

namespace {

bool hasAVX2() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}

#define QUILLON_AVX2 __attribute__((target("avx2"), always_inline)) inline

// Eight 16-bit codes to table indices: rounded, the top `shift` bits dropped.
template <int shift>
QUILLON_AVX2 __m256i tableIndices(const std::uint16_t* codes) {
    const __m256i wide =
        _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(codes)));
    return _mm256_srli_epi32(_mm256_add_epi32(wide, _mm256_set1_epi32(1 << (shift - 1))), shift);
}

// Linear light to screen codes, by the float's top bits, through a byte table read four bytes
// at a time. Below zero (and NaN) is black, above one white.
template <int shift, int base, int size>
QUILLON_AVX2 __m256i encodeLight(__m256 value, const std::uint8_t* table) {
    const __m256 clipped =
        _mm256_min_ps(_mm256_max_ps(value, _mm256_setzero_ps()), _mm256_set1_ps(1.0F));
    const __m256i at = _mm256_min_epi32(
        _mm256_max_epi32(_mm256_sub_epi32(_mm256_srli_epi32(_mm256_castps_si256(clipped), shift),
                                          _mm256_set1_epi32(base)),
                         _mm256_setzero_si256()),
        _mm256_set1_epi32(size - 1));
    return _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(table), at, 1),
                            _mm256_set1_epi32(0xFF));
}

// One row of the matrix, added up in the scalar loop's order.
QUILLON_AVX2 __m256 matrixRow(__m256 red, __m256 green, __m256 blue, const float* row) {
    return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(row[0]), red),
                                       _mm256_mul_ps(_mm256_set1_ps(row[1]), green)),
                         _mm256_mul_ps(_mm256_set1_ps(row[2]), blue));
}

// Eight pixels at a time, with the same operations in the same order as the scalar loop, so that
// both give the same bytes. Returns how many pixels it did (a multiple of eight).
template <int shift, int encodeShift, int encodeBase, int encodeSize, bool tonesDown,
          bool convertsPrimaries>
__attribute__((target("avx2"))) int mapPixelsAVX2(const std::uint16_t* red,
                                                  const std::uint16_t* green,
                                                  const std::uint16_t* blue, std::uint8_t* bgra,
                                                  int count, const float* linear,
                                                  const float* gains, const float* m,
                                                  const std::uint8_t* encodeTable) {
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000U));
    int pixel = 0;
    for (; pixel + 8 <= count; pixel += 8) {
        const __m256i r = tableIndices<shift>(red + pixel);
        const __m256i g = tableIndices<shift>(green + pixel);
        const __m256i b = tableIndices<shift>(blue + pixel);
        __m256 redLight = _mm256_i32gather_ps(linear, r, 4);
        __m256 greenLight = _mm256_i32gather_ps(linear, g, 4);
        __m256 blueLight = _mm256_i32gather_ps(linear, b, 4);
        if constexpr (tonesDown) {
            const __m256 gain =
                _mm256_i32gather_ps(gains, _mm256_max_epi32(_mm256_max_epi32(r, g), b), 4);
            redLight = _mm256_mul_ps(redLight, gain);
            greenLight = _mm256_mul_ps(greenLight, gain);
            blueLight = _mm256_mul_ps(blueLight, gain);
        }
        if constexpr (convertsPrimaries) {
            const __m256 r2 = matrixRow(redLight, greenLight, blueLight, m);
            const __m256 g2 = matrixRow(redLight, greenLight, blueLight, m + 3);
            const __m256 b2 = matrixRow(redLight, greenLight, blueLight, m + 6);
            redLight = r2;
            greenLight = g2;
            blueLight = b2;
        }
        const __m256i packed = _mm256_or_si256(
            _mm256_or_si256(
                encodeLight<encodeShift, encodeBase, encodeSize>(blueLight, encodeTable),
                _mm256_slli_epi32(
                    encodeLight<encodeShift, encodeBase, encodeSize>(greenLight, encodeTable), 8)),
            _mm256_or_si256(
                _mm256_slli_epi32(
                    encodeLight<encodeShift, encodeBase, encodeSize>(redLight, encodeTable), 16),
                opaque));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bgra + 4 * pixel), packed);
    }
    return pixel;
}

#undef QUILLON_AVX2

}  // namespace

#endif

template <bool tonesDown, bool convertsPrimaries>
void VideoColorMapping::mapPixels(const std::uint16_t* red, const std::uint16_t* green,
                                  const std::uint16_t* blue, std::uint8_t* bgra, int count) const {
    constexpr int shift = 16 - kInputBits;
    constexpr int rounding = 1 << (shift - 1);
    // Rounded, the top codes land one past the last step, which the tables hold too.
    const auto index = [](std::uint16_t code) { return (code + rounding) >> shift; };
    const std::uint8_t* encodeTable = encode_.data();
    const auto encode = [encodeTable](float value) {
        // As the vector instructions clip: NaN goes to zero.
        const float positive = value > 0.0F ? value : 0.0F;
        const float clipped = positive < 1.0F ? positive : 1.0F;
        const int at =
            static_cast<int>(std::bit_cast<std::uint32_t>(clipped) >> kEncodeShift) - kEncodeBase;
        return encodeTable[std::clamp(at, 0, kEncodeSize - 1)];
    };
    const float* linear = linear_.data();
    const float* gains = gain_.data();
    const float* m = matrix_.data();
    int pixel = 0;
#if defined(__x86_64__)
    if (hasAVX2()) {
        pixel = mapPixelsAVX2<shift, kEncodeShift, kEncodeBase, kEncodeSize, tonesDown,
                              convertsPrimaries>(red, green, blue, bgra, count, linear, gains, m,
                                                 encodeTable);
        bgra += 4 * pixel;
    }
#endif
    for (; pixel < count; ++pixel, bgra += 4) {
        const int r = index(red[pixel]);
        const int g = index(green[pixel]);
        const int b = index(blue[pixel]);
        float redLight = linear[r];
        float greenLight = linear[g];
        float blueLight = linear[b];
        if constexpr (tonesDown) {
            const float gain = gains[std::max(std::max(r, g), b)];
            redLight *= gain;
            greenLight *= gain;
            blueLight *= gain;
        }
        if constexpr (convertsPrimaries) {
            const float r2 = m[0] * redLight + m[1] * greenLight + m[2] * blueLight;
            const float g2 = m[3] * redLight + m[4] * greenLight + m[5] * blueLight;
            const float b2 = m[6] * redLight + m[7] * greenLight + m[8] * blueLight;
            redLight = r2;
            greenLight = g2;
            blueLight = b2;
        }
        bgra[0] = encode(blueLight);
        bgra[1] = encode(greenLight);
        bgra[2] = encode(redLight);
        bgra[3] = 0xFF;
    }
}

void VideoColorMapping::mapRow(const std::uint16_t* red, const std::uint16_t* green,
                               const std::uint16_t* blue, std::uint8_t* bgra, int count) const {
    // SDR pictures in wide primaries (the default for untagged UHD) only change gamut: their
    // gains are all one.
    const bool tonesDown = description_.transfer != VideoColorDescription::Transfer::sdr;
    if (tonesDown && !identityMatrix_) {
        mapPixels<true, true>(red, green, blue, bgra, count);
    } else if (tonesDown) {
        mapPixels<true, false>(red, green, blue, bgra, count);
    } else if (!identityMatrix_) {
        mapPixels<false, true>(red, green, blue, bgra, count);
    } else {
        mapPixels<false, false>(red, green, blue, bgra, count);
    }
}

}  // namespace platform
