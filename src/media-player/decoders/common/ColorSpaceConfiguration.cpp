#include "media-player/decoders/common/ColorSpaceConfiguration.h"

#include "media-player/decoders/common/ICCProfiles.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

using namespace platform;

ColorSpaceConfiguration::ColorSpaceConfiguration(std::optional<std::string> yCbCrMatrix,
                                                 std::string colorPrimaries,
                                                 std::string transferFunction)
    : yCbCrMatrix_(std::move(yCbCrMatrix)),
      colorPrimaries_(std::move(colorPrimaries)),
      transferFunction_(std::move(transferFunction)) {
    CFDictionary description{
        {kCVImageBufferColorPrimariesKey, colorPrimaries_},
        {kCVImageBufferTransferFunctionKey, transferFunction_},
    };
    if (yCbCrMatrix_) {
        description.set(kCVImageBufferYCbCrMatrixKey, *yCbCrMatrix_);
    }
    colorSpace_ = CVImageBufferCreateColorSpaceFromAttachments(description);
    precondition(colorSpace_ != nullptr, "A colour preset describes no colour space.");
    makeAttachments();
}

ColorSpaceConfiguration::ColorSpaceConfiguration(CFDataRef iccProfile,
                                                 std::optional<std::string> yCbCrMatrix,
                                                 std::string colorPrimaries,
                                                 std::string transferFunction)
    : colorSpace_(CGColorSpaceCreateWithICCData(iccProfile)),
      iccProfile_(std::move(iccProfile)),
      yCbCrMatrix_(std::move(yCbCrMatrix)),
      colorPrimaries_(std::move(colorPrimaries)),
      transferFunction_(std::move(transferFunction)) {
    precondition(colorSpace_ != nullptr, "An embedded ICC profile makes no colour space.");
    makeAttachments();
}

void ColorSpaceConfiguration::makeAttachments() {
    attachments_.set(kCVImageBufferCGColorSpaceKey, CFObjectRef(colorSpace_));
    attachments_.set(kCVImageBufferColorPrimariesKey, colorPrimaries_);
    attachments_.set(kCVImageBufferTransferFunctionKey, transferFunction_);
    if (iccProfile_) {
        attachments_.set(kCVImageBufferICCProfileKey, iccProfile_);
    }
    if (yCbCrMatrix_) {
        attachments_.set(kCVImageBufferYCbCrMatrixKey, *yCbCrMatrix_);
    }
}

const ColorSpaceConfiguration& ColorSpaceConfiguration::standardDefinitionSMPTEC() {
    static const ColorSpaceConfiguration preset(kCVImageBufferYCbCrMatrix_ITU_R_601_4,
                                                kCVImageBufferColorPrimaries_SMPTE_C,
                                                kCVImageBufferTransferFunction_ITU_R_709_2);
    return preset;
}

const ColorSpaceConfiguration& ColorSpaceConfiguration::standardDefinitionEBU3213() {
    static const ColorSpaceConfiguration preset(kCVImageBufferYCbCrMatrix_ITU_R_601_4,
                                                kCVImageBufferColorPrimaries_EBU_3213,
                                                kCVImageBufferTransferFunction_ITU_R_709_2);
    return preset;
}

const ColorSpaceConfiguration& ColorSpaceConfiguration::highDefinition() {
    static const ColorSpaceConfiguration preset(kCVImageBufferYCbCrMatrix_ITU_R_709_2,
                                                kCVImageBufferColorPrimaries_ITU_R_709_2,
                                                kCVImageBufferTransferFunction_ITU_R_709_2);
    return preset;
}

const ColorSpaceConfiguration& ColorSpaceConfiguration::ultraHighDefinition() {
    static const ColorSpaceConfiguration preset(kCVImageBufferYCbCrMatrix_ITU_R_2020,
                                                kCVImageBufferColorPrimaries_ITU_R_2020,
                                                kCVImageBufferTransferFunction_ITU_R_2020);
    return preset;
}

const ColorSpaceConfiguration& ColorSpaceConfiguration::rgb() {
    static const ColorSpaceConfiguration preset(std::nullopt, kCVImageBufferColorPrimaries_P22,
                                                kCVImageBufferTransferFunction_sRGB);
    return preset;
}

const ColorSpaceConfiguration& ColorSpaceConfiguration::bt2020PQ() {
    static const ColorSpaceConfiguration preset(
        iccProfileData(HDRICCProfile::bt2020PQ), kCVImageBufferYCbCrMatrix_ITU_R_2020,
        kCVImageBufferColorPrimaries_ITU_R_2020, kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ);
    return preset;
}

const ColorSpaceConfiguration& ColorSpaceConfiguration::bt2020HLG() {
    static const ColorSpaceConfiguration preset(
        iccProfileData(HDRICCProfile::bt2020HLG), kCVImageBufferYCbCrMatrix_ITU_R_2020,
        kCVImageBufferColorPrimaries_ITU_R_2020, kCVImageBufferTransferFunction_ITU_R_2100_HLG);
    return preset;
}

const ColorSpaceConfiguration& ColorSpaceConfiguration::p3D65PQ() {
    static const ColorSpaceConfiguration preset(
        iccProfileData(HDRICCProfile::p3D65PQ), kCVImageBufferYCbCrMatrix_P3_D65,
        kCVImageBufferColorPrimaries_P3_D65, kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ);
    return preset;
}

const ColorSpaceConfiguration& ColorSpaceConfiguration::p3D65HLG() {
    static const ColorSpaceConfiguration preset(
        iccProfileData(HDRICCProfile::p3D65HLG), kCVImageBufferYCbCrMatrix_P3_D65,
        kCVImageBufferColorPrimaries_P3_D65, kCVImageBufferTransferFunction_ITU_R_2100_HLG);
    return preset;
}

}  // namespace quillon
