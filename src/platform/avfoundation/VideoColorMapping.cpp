#include "platform/avfoundation/VideoColorMapping.h"

#include <algorithm>
#include <cmath>
#include <variant>

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
constexpr std::array<float, 9> kP3ToBT709 = {1.224940F,  -0.224940F, 0.0F,
                                             -0.042057F, 1.042057F,  0.0F,
                                             -0.019638F, -0.078636F, 1.098274F};

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
      encode_(kOutputSize) {
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
    for (int index = 0; index < kOutputSize; ++index) {
        const double value = static_cast<double>(index) / (kOutputSize - 1);
        encode_[index] = static_cast<std::uint8_t>(std::lround(255 * std::pow(value, 1 / kScreenGamma)));
    }
}

template <bool tonesDown, bool convertsPrimaries>
void VideoColorMapping::mapPixels(const std::uint16_t* red, const std::uint16_t* green,
                                  const std::uint16_t* blue, std::uint8_t* bgra,
                                  int count) const {
    constexpr int shift = 16 - kInputBits;
    constexpr int rounding = 1 << (shift - 1);
    // Rounded, the top codes land one past the last step, which the tables hold too.
    const auto index = [](std::uint16_t code) { return (code + rounding) >> shift; };
    const std::uint8_t* encodeTable = encode_.data();
    const auto encode = [encodeTable](float value) {
        const float clipped = std::min(std::max(value, 0.0F), 1.0F);
        return encodeTable[static_cast<int>(clipped * (kOutputSize - 1) + 0.5F)];
    };
    const float* linear = linear_.data();
    const float* gains = gain_.data();
    const float* m = matrix_.data();
    for (int pixel = 0; pixel < count; ++pixel, bgra += 4) {
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
