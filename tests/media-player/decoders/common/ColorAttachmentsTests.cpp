#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FirstDecodedFrame.h"
#include "media-player/decoders/common/ColorAttachments.h"
#include "media-player/decoders/common/ColorSpaceConfiguration.h"
#include "media-player/decoders/common/ICCProfiles.h"
#include "media-player/decoders/common/PixelFormats.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace platform;

namespace {

constexpr OSType yuv420 = kCVPixelFormatType_420YpCbCr8Planar;

std::optional<std::string> stringOf(const CFDictionary& dictionary, const std::string& key) {
    return dictionary.stringValue(key);
}

CGColorSpaceRef colorSpaceOf(const CFDictionary& dictionary) {
    return dictionary.objectValue<CGColorSpace>(kCVImageBufferCGColorSpaceKey);
}

// The colour keys a buffer or dictionary must hold for a picture of that description.
void expectDescription(const CFDictionary& attachments, const std::string& primaries,
                       const std::string& transfer, const std::optional<std::string>& matrix) {
    EXPECT_EQ(stringOf(attachments, kCVImageBufferColorPrimariesKey), primaries);
    EXPECT_EQ(stringOf(attachments, kCVImageBufferTransferFunctionKey), transfer);
    EXPECT_EQ(stringOf(attachments, kCVImageBufferYCbCrMatrixKey), matrix);
    EXPECT_NE(colorSpaceOf(attachments), nullptr);
    EXPECT_EQ(attachments.boolValue(kDidConfigureColorSpaceAttachmentKey), true);
}

CFDictionary bufferAttachments(const CVPixelBufferRef& buffer) {
    CFDictionaryRef attachments =
        CVBufferCopyAttachments(buffer, kCVAttachmentMode_ShouldPropagate);
    return attachments ? *attachments : CFDictionary{};
}

CVPixelBufferRef makeBuffer(std::size_t width, std::size_t height, OSType format,
                            CFDictionaryRef attributes = nullptr) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(width, height, format, attributes, &buffer), kCVReturnSuccess);
    return buffer;
}

// ---- From FFmpeg's colour description ----

TEST(ColorAttachmentsFromFFmpeg, BT709Throughout) {
    auto attachments = colorAttachments(AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709, yuv420);
    ASSERT_TRUE(attachments);
    expectDescription(*attachments, kCVImageBufferColorPrimaries_ITU_R_709_2,
                      kCVImageBufferTransferFunction_ITU_R_709_2,
                      kCVImageBufferYCbCrMatrix_ITU_R_709_2);
    EXPECT_FALSE(attachments->contains(kCVPixelBufferPixelFormatTypeKey));
    EXPECT_FALSE(attachments->contains(kCVImageBufferGammaLevelKey));
    // The ICC profile is there exactly when the colour space has one.
    const CFDataRef icc = CGColorSpaceCopyICCData(colorSpaceOf(*attachments));
    EXPECT_EQ(attachments->contains(kCVImageBufferICCProfileKey), icc != nullptr);
    EXPECT_TRUE(CGColorSpaceEqualToColorSpace(
        colorSpaceOf(*attachments), ColorSpaceConfiguration::highDefinition().colorSpace()));
}

TEST(ColorAttachmentsFromFFmpeg, BT601WithSMPTECAndEBUPrimaries) {
    auto ntsc =
        colorAttachments(AVCOL_PRI_SMPTE170M, AVCOL_TRC_SMPTE170M, AVCOL_SPC_SMPTE170M, yuv420);
    ASSERT_TRUE(ntsc);
    expectDescription(*ntsc, kCVImageBufferColorPrimaries_SMPTE_C,
                      kCVImageBufferTransferFunction_ITU_R_709_2,
                      kCVImageBufferYCbCrMatrix_ITU_R_601_4);
    auto pal = colorAttachments(AVCOL_PRI_BT470BG, AVCOL_TRC_BT709, AVCOL_SPC_BT470BG, yuv420);
    ASSERT_TRUE(pal);
    expectDescription(*pal, kCVImageBufferColorPrimaries_EBU_3213,
                      kCVImageBufferTransferFunction_ITU_R_709_2,
                      kCVImageBufferYCbCrMatrix_ITU_R_601_4);
}

TEST(ColorAttachmentsFromFFmpeg, MapsEveryPrimariesThatCoreVideoNames) {
    const std::vector<std::pair<AVColorPrimaries, std::optional<std::string>>> cases = {
        {AVCOL_PRI_BT709, kCVImageBufferColorPrimaries_ITU_R_709_2},
        {AVCOL_PRI_BT470BG, kCVImageBufferColorPrimaries_EBU_3213},
        {AVCOL_PRI_SMPTE170M, kCVImageBufferColorPrimaries_SMPTE_C},
        {AVCOL_PRI_SMPTE240M, kCVImageBufferColorPrimaries_SMPTE_C},
        {AVCOL_PRI_BT2020, kCVImageBufferColorPrimaries_ITU_R_2020},
        {AVCOL_PRI_SMPTE431, kCVImageBufferColorPrimaries_DCI_P3},
        {AVCOL_PRI_SMPTE432, kCVImageBufferColorPrimaries_P3_D65},
        {AVCOL_PRI_EBU3213, kCVImageBufferColorPrimaries_P22},
        {AVCOL_PRI_RESERVED0, std::nullopt},
        {AVCOL_PRI_UNSPECIFIED, std::nullopt},
        {AVCOL_PRI_BT470M, std::nullopt},
        {AVCOL_PRI_FILM, std::nullopt},
        {AVCOL_PRI_SMPTE428, std::nullopt},
        {static_cast<AVColorPrimaries>(AVCOL_PRI_EBU3213 + 1), std::nullopt},
    };
    for (const auto& [primaries, expected] : cases) {
        auto attachments = colorAttachments(primaries, AVCOL_TRC_BT709, AVCOL_SPC_BT709, yuv420);
        ASSERT_EQ(attachments.has_value(), expected.has_value()) << primaries;
        if (attachments) {
            EXPECT_EQ(stringOf(*attachments, kCVImageBufferColorPrimariesKey), expected);
        }
    }
}

TEST(ColorAttachmentsFromFFmpeg, MapsEveryTransferThatCoreVideoNames) {
    struct Case {
        AVColorTransferCharacteristic transfer;
        std::optional<std::string> expected;
        std::optional<double> gamma;
    };
    const std::vector<Case> cases = {
        {AVCOL_TRC_BT709, kCVImageBufferTransferFunction_ITU_R_709_2, {}},
        {AVCOL_TRC_SMPTE170M, kCVImageBufferTransferFunction_ITU_R_709_2, {}},
        {AVCOL_TRC_IEC61966_2_4, kCVImageBufferTransferFunction_ITU_R_709_2, {}},
        {AVCOL_TRC_GAMMA22, kCVImageBufferTransferFunction_UseGamma, 2.2},
        {AVCOL_TRC_GAMMA28, kCVImageBufferTransferFunction_UseGamma, 2.8},
        {AVCOL_TRC_SMPTE240M, kCVImageBufferTransferFunction_SMPTE_240M_1995, {}},
        {AVCOL_TRC_LINEAR, kCVImageBufferTransferFunction_Linear, {}},
        {AVCOL_TRC_IEC61966_2_1, kCVImageBufferTransferFunction_sRGB, {}},
        {AVCOL_TRC_BT2020_10, kCVImageBufferTransferFunction_ITU_R_2020, {}},
        {AVCOL_TRC_BT2020_12, kCVImageBufferTransferFunction_ITU_R_2020, {}},
        {AVCOL_TRC_SMPTE2084, kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ, {}},
        {AVCOL_TRC_SMPTE428, kCVImageBufferTransferFunction_SMPTE_ST_428_1, {}},
        {AVCOL_TRC_ARIB_STD_B67, kCVImageBufferTransferFunction_ITU_R_2100_HLG, {}},
        {AVCOL_TRC_RESERVED0, {}, {}},
        {AVCOL_TRC_UNSPECIFIED, {}, {}},
        {AVCOL_TRC_RESERVED, {}, {}},
        {AVCOL_TRC_LOG, {}, {}},
        {AVCOL_TRC_LOG_SQRT, {}, {}},
        {AVCOL_TRC_BT1361_ECG, {}, {}},
        {static_cast<AVColorTransferCharacteristic>(AVCOL_TRC_ARIB_STD_B67 + 1), {}, {}},
    };
    for (const Case& c : cases) {
        auto attachments = colorAttachments(AVCOL_PRI_BT709, c.transfer, AVCOL_SPC_BT709, yuv420);
        ASSERT_EQ(attachments.has_value(), c.expected.has_value()) << c.transfer;
        if (attachments) {
            EXPECT_EQ(stringOf(*attachments, kCVImageBufferTransferFunctionKey), c.expected);
            EXPECT_EQ(attachments->doubleValue(kCVImageBufferGammaLevelKey), c.gamma);
            EXPECT_NE(colorSpaceOf(*attachments), nullptr) << c.transfer;
        }
    }
}

TEST(ColorAttachmentsFromFFmpeg, AnUnnamedMatrixIsLeftOutWithoutFailing) {
    const std::vector<std::pair<AVColorSpace, std::optional<std::string>>> cases = {
        {AVCOL_SPC_BT709, kCVImageBufferYCbCrMatrix_ITU_R_709_2},
        {AVCOL_SPC_BT470BG, kCVImageBufferYCbCrMatrix_ITU_R_601_4},
        {AVCOL_SPC_SMPTE240M, kCVImageBufferYCbCrMatrix_SMPTE_240M_1995},
        {AVCOL_SPC_BT2020_NCL, kCVImageBufferYCbCrMatrix_ITU_R_2020},
        {AVCOL_SPC_RGB, std::nullopt},
        {AVCOL_SPC_FCC, std::nullopt},
        {AVCOL_SPC_YCGCO, std::nullopt},
    };
    for (const auto& [matrix, expected] : cases) {
        auto attachments = colorAttachments(AVCOL_PRI_BT709, AVCOL_TRC_BT709, matrix, yuv420);
        ASSERT_TRUE(attachments) << matrix;
        EXPECT_EQ(stringOf(*attachments, kCVImageBufferYCbCrMatrixKey), expected) << matrix;
    }
}

TEST(ColorAttachmentsFromFFmpeg, HDRCombinationsUseTheEmbeddedProfiles) {
    struct Case {
        AVColorPrimaries primaries;
        AVColorTransferCharacteristic transfer;
        const ColorSpaceConfiguration& preset;
    };
    const Case cases[] = {
        {AVCOL_PRI_BT2020, AVCOL_TRC_SMPTE2084, ColorSpaceConfiguration::bt2020PQ()},
        {AVCOL_PRI_BT2020, AVCOL_TRC_ARIB_STD_B67, ColorSpaceConfiguration::bt2020HLG()},
        {AVCOL_PRI_SMPTE432, AVCOL_TRC_SMPTE2084, ColorSpaceConfiguration::p3D65PQ()},
        {AVCOL_PRI_SMPTE432, AVCOL_TRC_ARIB_STD_B67, ColorSpaceConfiguration::p3D65HLG()},
    };
    for (const Case& c : cases) {
        auto attachments = colorAttachments(c.primaries, c.transfer, AVCOL_SPC_BT2020_NCL,
                                            kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
        ASSERT_TRUE(attachments);
        EXPECT_EQ(colorSpaceOf(*attachments), c.preset.colorSpace());
        const CFDataRef icc = attachments->dataValue(kCVImageBufferICCProfileKey);
        ASSERT_NE(icc, nullptr);
        EXPECT_EQ(*icc, *c.preset.iccProfile());
        EXPECT_EQ(stringOf(*attachments, kCVImageBufferYCbCrMatrixKey),
                  kCVImageBufferYCbCrMatrix_ITU_R_2020);
    }
    // DCI-P3 is not one of them: its colour space comes from the attachments.
    auto dci = colorAttachments(AVCOL_PRI_SMPTE431, AVCOL_TRC_SMPTE2084, AVCOL_SPC_BT709, yuv420);
    ASSERT_TRUE(dci);
    EXPECT_EQ(CGColorSpaceCopyICCData(colorSpaceOf(*dci)), nullptr);
    EXPECT_FALSE(dci->contains(kCVImageBufferICCProfileKey));
}

TEST(ColorAttachmentsFromICCProfile, CarryTheProfileAndItsColorSpace) {
    const CFDataRef& profile = iccProfileData(HDRICCProfile::p3D65HLG);
    auto attachments = colorAttachments(profile);
    ASSERT_TRUE(attachments);
    EXPECT_EQ(attachments->size(), 3u);
    EXPECT_EQ(attachments->dataValue(kCVImageBufferICCProfileKey), profile);
    ASSERT_NE(colorSpaceOf(*attachments), nullptr);
    EXPECT_EQ(*CGColorSpaceCopyICCData(colorSpaceOf(*attachments)), *profile);
    EXPECT_EQ(attachments->boolValue(kDidConfigureColorSpaceAttachmentKey), true);

    EXPECT_FALSE(colorAttachments(CFDataCreate(std::vector<std::uint8_t>(200, 7))));
    EXPECT_FALSE(colorAttachments(CFDataRef{}));
}

// ---- Presets and size defaults ----

TEST(ColorSpaceConfigurationPresets, HDRPresetsAreTheirProfilesColorSpaces) {
    for (const ColorSpaceConfiguration* preset :
         {&ColorSpaceConfiguration::bt2020PQ(), &ColorSpaceConfiguration::bt2020HLG(),
          &ColorSpaceConfiguration::p3D65PQ(), &ColorSpaceConfiguration::p3D65HLG()}) {
        ASSERT_NE(preset->iccProfile(), nullptr);
        EXPECT_EQ(*CGColorSpaceCopyICCData(preset->colorSpace()), *preset->iccProfile());
        EXPECT_EQ(preset->attachments().dataValue(kCVImageBufferICCProfileKey),
                  preset->iccProfile());
        EXPECT_TRUE(preset->attachments().contains(kCVImageBufferYCbCrMatrixKey));
    }
    EXPECT_EQ(ColorSpaceConfiguration::highDefinition().iccProfile(), nullptr);
    EXPECT_FALSE(
        ColorSpaceConfiguration::rgb().attachments().contains(kCVImageBufferYCbCrMatrixKey));
}

TEST(DefaultColorAttachments, ChooseThePresetBySize) {
    struct Case {
        std::size_t width;
        std::size_t height;
        const ColorSpaceConfiguration& preset;
    };
    const Case cases[] = {
        {1920, 1080, ColorSpaceConfiguration::highDefinition()},
        {720, 576, ColorSpaceConfiguration::standardDefinitionEBU3213()},
        {720, 480, ColorSpaceConfiguration::standardDefinitionSMPTEC()},
        {3840, 2160, ColorSpaceConfiguration::ultraHighDefinition()},
        {1280, 400, ColorSpaceConfiguration::highDefinition()},  // width decides before height
        {1279, 720, ColorSpaceConfiguration::standardDefinitionEBU3213()},
        {3839, 2160, ColorSpaceConfiguration::highDefinition()},
        {3840, 100, ColorSpaceConfiguration::ultraHighDefinition()},
        {720, 483, ColorSpaceConfiguration::standardDefinitionSMPTEC()},
        {720, 484, ColorSpaceConfiguration::standardDefinitionEBU3213()},
        {0, 0, ColorSpaceConfiguration::standardDefinitionSMPTEC()},
    };
    for (const Case& c : cases) {
        CFDictionary attachments = defaultColorAttachments(c.width, c.height, true);
        EXPECT_EQ(colorSpaceOf(attachments), c.preset.colorSpace()) << c.width << "x" << c.height;
        EXPECT_EQ(attachments.boolValue(kDidConfigureColorSpaceAttachmentKey), true);
        attachments.remove(kDidConfigureColorSpaceAttachmentKey);
        EXPECT_EQ(attachments, c.preset.attachments()) << c.width << "x" << c.height;
    }
}

TEST(DefaultColorAttachments, RGBPicturesGetSRGBWhateverTheirSize) {
    for (std::size_t width : {320u, 1920u, 4096u}) {
        CFDictionary attachments = defaultColorAttachments(width, 1080, false);
        EXPECT_EQ(colorSpaceOf(attachments), ColorSpaceConfiguration::rgb().colorSpace());
        EXPECT_FALSE(attachments.contains(kCVImageBufferYCbCrMatrixKey));
    }
}

// ---- Setting them on pixel buffers ----

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

Frame makeFrame(AVColorPrimaries primaries, AVColorTransferCharacteristic transfer,
                AVColorSpace matrix) {
    Frame frame(av_frame_alloc());
    frame->color_primaries = primaries;
    frame->color_trc = transfer;
    frame->colorspace = matrix;
    return frame;
}

void addICCProfile(AVFrame& frame, const CFData& profile) {
    AVFrameSideData* side =
        av_frame_new_side_data(&frame, AV_FRAME_DATA_ICC_PROFILE, profile.size());
    ASSERT_NE(side, nullptr);
    std::copy(profile.bytes().begin(), profile.bytes().end(), side->data);
}

TEST(SetColorAttachments, AFrameDescriptionReplacesStaleColorKeysOnly) {
    auto buffer = makeBuffer(1920, 1080, yuv420);
    CVBufferSetAttachment(buffer, kCVImageBufferGammaLevelKey, 2.8,
                          kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, kColorInfoGuessedByAttachmentKey, std::string("someone"),
                          kCVAttachmentMode_ShouldNotPropagate);
    CVBufferSetAttachment(buffer, kCVImageBufferICCProfileKey,
                          iccProfileData(HDRICCProfile::bt2020PQ),
                          kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, kCVImageBufferChromaLocationTopFieldKey,
                          kCVImageBufferChromaLocation_Left, kCVAttachmentMode_ShouldPropagate);

    auto frame = makeFrame(AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709);
    setColorAttachments(*frame, buffer);

    const CFDictionary attachments = bufferAttachments(buffer);
    expectDescription(attachments, kCVImageBufferColorPrimaries_ITU_R_709_2,
                      kCVImageBufferTransferFunction_ITU_R_709_2,
                      kCVImageBufferYCbCrMatrix_ITU_R_709_2);
    EXPECT_FALSE(CVBufferHasAttachment(buffer, kCVImageBufferGammaLevelKey));
    EXPECT_FALSE(CVBufferHasAttachment(buffer, kColorInfoGuessedByAttachmentKey));
    EXPECT_FALSE(CVBufferHasAttachment(buffer, kCVImageBufferICCProfileKey));
    EXPECT_TRUE(CVBufferHasAttachment(buffer, kCVImageBufferChromaLocationTopFieldKey));
}

TEST(SetColorAttachments, LeavesAConfiguredBufferAlone) {
    // As a buffer from the decoder's pool arrives: with the pool's propagated attachments.
    CFDictionary pool = ColorSpaceConfiguration::standardDefinitionEBU3213().attachments();
    pool.set(kDidConfigureColorSpaceAttachmentKey, true);
    auto attributes = std::make_shared<CFDictionary>(
        CFDictionary{{kCVBufferPropagatedAttachmentsKey, std::make_shared<CFDictionary>(pool)}});
    auto buffer = makeBuffer(720, 576, yuv420, attributes);

    auto frame = makeFrame(AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709);
    setColorAttachments(*frame, buffer);
    EXPECT_EQ(bufferAttachments(buffer), pool);

    // A marker that is not true does not count.
    CVBufferSetAttachment(buffer, kDidConfigureColorSpaceAttachmentKey, false,
                          kCVAttachmentMode_ShouldPropagate);
    setColorAttachments(*frame, buffer);
    EXPECT_EQ(CVBufferGetAttachment(buffer, kCVImageBufferColorPrimariesKey),
              CFValue(kCVImageBufferColorPrimaries_ITU_R_709_2));
}

TEST(SetColorAttachments, AFrameICCProfileOverridesEvenAConfiguredBuffer) {
    auto buffer = makeBuffer(1920, 1080, yuv420);
    replaceColorAttachments(buffer, defaultColorAttachments(1920, 1080, true));

    auto frame = makeFrame(AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709);
    const CFDataRef& profile = iccProfileData(HDRICCProfile::p3D65PQ);
    addICCProfile(*frame, *profile);
    setColorAttachments(*frame, buffer);

    const CFDictionary attachments = bufferAttachments(buffer);
    ASSERT_NE(attachments.dataValue(kCVImageBufferICCProfileKey), nullptr);
    EXPECT_EQ(*attachments.dataValue(kCVImageBufferICCProfileKey), *profile);
    EXPECT_EQ(*CGColorSpaceCopyICCData(colorSpaceOf(attachments)), *profile);
    EXPECT_FALSE(attachments.contains(kCVImageBufferColorPrimariesKey));
    EXPECT_FALSE(attachments.contains(kCVImageBufferYCbCrMatrixKey));
    EXPECT_EQ(attachments.boolValue(kDidConfigureColorSpaceAttachmentKey), true);
}

TEST(SetColorAttachments, AnUnusableFrameICCProfileIsPassedOver) {
    auto buffer = makeBuffer(1920, 1080, yuv420);
    auto frame = makeFrame(AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709);
    addICCProfile(*frame, CFData(std::vector<std::uint8_t>(64, 0)));
    setColorAttachments(*frame, buffer);
    expectDescription(bufferAttachments(buffer), kCVImageBufferColorPrimaries_ITU_R_709_2,
                      kCVImageBufferTransferFunction_ITU_R_709_2,
                      kCVImageBufferYCbCrMatrix_ITU_R_709_2);
}

TEST(SetColorAttachments, AFrameWithoutColorInformationGetsTheBufferSizeDefaults) {
    auto frame = makeFrame(AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED, AVCOL_SPC_UNSPECIFIED);
    struct Case {
        std::size_t width;
        std::size_t height;
        OSType format;
        const ColorSpaceConfiguration& preset;
    };
    const Case cases[] = {
        {1920, 1080, yuv420, ColorSpaceConfiguration::highDefinition()},
        {720, 576, yuv420, ColorSpaceConfiguration::standardDefinitionEBU3213()},
        {720, 480, kCVPixelFormatType_420YpCbCr8PlanarFullRange,
         ColorSpaceConfiguration::standardDefinitionSMPTEC()},
        {3840, 2160, kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
         ColorSpaceConfiguration::ultraHighDefinition()},
        {1280, 400, kCVPixelFormatType_422YpCbCr8, ColorSpaceConfiguration::highDefinition()},
        {1920, 1080, kCVPixelFormatType_32BGRA, ColorSpaceConfiguration::rgb()},
    };
    for (const Case& c : cases) {
        auto buffer = makeBuffer(c.width, c.height, c.format);
        setColorAttachments(*frame, buffer);
        EXPECT_EQ(CVImageBufferGetColorSpace(buffer), c.preset.colorSpace())
            << c.width << "x" << c.height << " " << fourCharCodeString(c.format);
    }
    // Known primaries with an unknown transfer are no description either.
    auto halfTagged = makeFrame(AVCOL_PRI_BT709, AVCOL_TRC_UNSPECIFIED, AVCOL_SPC_BT709);
    auto buffer = makeBuffer(720, 576, yuv420);
    setColorAttachments(*halfTagged, buffer);
    EXPECT_EQ(CVImageBufferGetColorSpace(buffer),
              ColorSpaceConfiguration::standardDefinitionEBU3213().colorSpace());
}

// ---- Frames decoded from real files ----

// The buffer format the decoder would give the frame.
OSType bufferFormatFor(const AVFrame& frame) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const auto range = frame.color_range;
    return coreVideoPixelFormat(format, range).value_or(fallbackPixelFormat(format, range).first);
}

CFDictionary attachmentsForFirstFrameOf(const std::string& name) {
    quillon::testing::FirstDecodedFrame decoded(test::mediaPath(name));
    const AVFrame& frame = *decoded.frame;
    auto buffer = makeBuffer(static_cast<std::size_t>(frame.width),
                             static_cast<std::size_t>(frame.height), bufferFormatFor(frame));
    setColorAttachments(frame, buffer);
    return bufferAttachments(buffer);
}

TEST(SetColorAttachmentsOnDecodedFrames, TaggedFiles) {
    expectDescription(
        attachmentsForFirstFrameOf("h264-bt601.mkv"), kCVImageBufferColorPrimaries_SMPTE_C,
        kCVImageBufferTransferFunction_ITU_R_709_2, kCVImageBufferYCbCrMatrix_ITU_R_601_4);
    expectDescription(
        attachmentsForFirstFrameOf("h264-bt709.mkv"), kCVImageBufferColorPrimaries_ITU_R_709_2,
        kCVImageBufferTransferFunction_ITU_R_709_2, kCVImageBufferYCbCrMatrix_ITU_R_709_2);
    const CFDictionary hlg = attachmentsForFirstFrameOf("hevc-bt2020-hlg.mkv");
    expectDescription(hlg, kCVImageBufferColorPrimaries_ITU_R_2020,
                      kCVImageBufferTransferFunction_ITU_R_2100_HLG,
                      kCVImageBufferYCbCrMatrix_ITU_R_2020);
    EXPECT_EQ(colorSpaceOf(hlg), ColorSpaceConfiguration::bt2020HLG().colorSpace());
    EXPECT_EQ(hlg.dataValue(kCVImageBufferICCProfileKey),
              ColorSpaceConfiguration::bt2020HLG().iccProfile());
}

TEST(SetColorAttachmentsOnDecodedFrames, UntaggedFilesOfEitherRangeGetTheSizeDefaults) {
    // Both are 160×90: standard definition below 484 lines.
    const auto& expected = ColorSpaceConfiguration::standardDefinitionSMPTEC();
    for (const char* name : {"h264-untagged.mkv", "h264-fullrange.mkv"}) {
        CFDictionary attachments = attachmentsForFirstFrameOf(name);
        EXPECT_EQ(colorSpaceOf(attachments), expected.colorSpace()) << name;
        attachments.remove(kDidConfigureColorSpaceAttachmentKey);
        EXPECT_EQ(attachments, expected.attachments()) << name;
    }
}

}  // namespace
