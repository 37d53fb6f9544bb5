#pragma once

#include "platform/foundation/NeverDestroyed.h"

#include <string>

#include "platform/corefoundation/CFDictionary.h"
#include "platform/graphics/CGColorSpace.h"

namespace platform {

// Attachment keys of image buffers.
inline const std::string& kCVImageBufferCGColorSpaceKey =
    platform::neverDestroyedString("CVImageBufferCGColorSpace");
inline const std::string& kCVImageBufferICCProfileKey =
    platform::neverDestroyedString("CVImageBufferICCProfile");
inline const std::string& kCVImageBufferColorPrimariesKey =
    platform::neverDestroyedString("CVImageBufferColorPrimaries");
inline const std::string& kCVImageBufferTransferFunctionKey =
    platform::neverDestroyedString("CVImageBufferTransferFunction");
inline const std::string& kCVImageBufferGammaLevelKey =
    platform::neverDestroyedString("CVImageBufferGammaLevel");
inline const std::string& kCVImageBufferYCbCrMatrixKey =
    platform::neverDestroyedString("CVImageBufferYCbCrMatrix");
inline const std::string& kCVImageBufferMasteringDisplayColorVolumeKey =
    platform::neverDestroyedString("CVImageBufferMasteringDisplayColorVolume");
inline const std::string& kCVImageBufferContentLightLevelInfoKey =
    platform::neverDestroyedString("CVImageBufferContentLightLevelInfo");
inline const std::string& kCVImageBufferPixelAspectRatioKey =
    platform::neverDestroyedString("CVPixelAspectRatio");
inline const std::string& kCVImageBufferPixelAspectRatioHorizontalSpacingKey =
    platform::neverDestroyedString("HorizontalSpacing");
inline const std::string& kCVImageBufferPixelAspectRatioVerticalSpacingKey =
    platform::neverDestroyedString("VerticalSpacing");
inline const std::string& kCVImageBufferCleanApertureKey =
    platform::neverDestroyedString("CVCleanAperture");
inline const std::string& kCVImageBufferDisplayDimensionsKey =
    platform::neverDestroyedString("CVImageBufferDisplayDimensions");
inline const std::string& kCVImageBufferDisplayWidthKey = platform::neverDestroyedString("Width");
inline const std::string& kCVImageBufferDisplayHeightKey = platform::neverDestroyedString("Height");
inline const std::string& kCVImageBufferFieldCountKey =
    platform::neverDestroyedString("CVFieldCount");
inline const std::string& kCVImageBufferChromaLocationTopFieldKey =
    platform::neverDestroyedString("CVImageBufferChromaLocationTopField");
inline const std::string& kCVImageBufferChromaLocationBottomFieldKey =
    platform::neverDestroyedString("CVImageBufferChromaLocationBottomField");
inline const std::string& kCVImageBufferChromaSubsamplingKey =
    platform::neverDestroyedString("CVImageBufferChromaSubsampling");

// Values of kCVImageBufferColorPrimariesKey.
inline const std::string& kCVImageBufferColorPrimaries_ITU_R_709_2 =
    platform::neverDestroyedString("ITU_R_709_2");
inline const std::string& kCVImageBufferColorPrimaries_EBU_3213 =
    platform::neverDestroyedString("EBU_3213");
inline const std::string& kCVImageBufferColorPrimaries_SMPTE_C =
    platform::neverDestroyedString("SMPTE_C");
inline const std::string& kCVImageBufferColorPrimaries_ITU_R_2020 =
    platform::neverDestroyedString("ITU_R_2020");
inline const std::string& kCVImageBufferColorPrimaries_DCI_P3 =
    platform::neverDestroyedString("DCI_P3");
inline const std::string& kCVImageBufferColorPrimaries_P3_D65 =
    platform::neverDestroyedString("P3_D65");
inline const std::string& kCVImageBufferColorPrimaries_P22 = platform::neverDestroyedString("P22");

// Values of kCVImageBufferTransferFunctionKey.
inline const std::string& kCVImageBufferTransferFunction_ITU_R_709_2 =
    platform::neverDestroyedString("ITU_R_709_2");
inline const std::string& kCVImageBufferTransferFunction_SMPTE_240M_1995 =
    platform::neverDestroyedString("SMPTE_240M_1995");
inline const std::string& kCVImageBufferTransferFunction_UseGamma =
    platform::neverDestroyedString("UseGamma");
inline const std::string& kCVImageBufferTransferFunction_ITU_R_2020 =
    platform::neverDestroyedString("ITU_R_2020");
inline const std::string& kCVImageBufferTransferFunction_SMPTE_ST_428_1 =
    platform::neverDestroyedString("SMPTE_ST_428_1");
inline const std::string& kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ =
    platform::neverDestroyedString("SMPTE_ST_2084_PQ");
inline const std::string& kCVImageBufferTransferFunction_ITU_R_2100_HLG =
    platform::neverDestroyedString("ITU_R_2100_HLG");
inline const std::string& kCVImageBufferTransferFunction_Linear =
    platform::neverDestroyedString("Linear");
inline const std::string& kCVImageBufferTransferFunction_sRGB =
    platform::neverDestroyedString("IEC_sRGB");

// Values of kCVImageBufferYCbCrMatrixKey.
inline const std::string& kCVImageBufferYCbCrMatrix_ITU_R_709_2 =
    platform::neverDestroyedString("ITU_R_709_2");
inline const std::string& kCVImageBufferYCbCrMatrix_ITU_R_601_4 =
    platform::neverDestroyedString("ITU_R_601_4");
inline const std::string& kCVImageBufferYCbCrMatrix_SMPTE_240M_1995 =
    platform::neverDestroyedString("SMPTE_240M_1995");
inline const std::string& kCVImageBufferYCbCrMatrix_ITU_R_2020 =
    platform::neverDestroyedString("ITU_R_2020");
inline const std::string& kCVImageBufferYCbCrMatrix_P3_D65 =
    platform::neverDestroyedString("P3_D65");

// Values of the chroma-location keys.
inline const std::string& kCVImageBufferChromaLocation_Left =
    platform::neverDestroyedString("Left");
inline const std::string& kCVImageBufferChromaLocation_Center =
    platform::neverDestroyedString("Center");
inline const std::string& kCVImageBufferChromaLocation_TopLeft =
    platform::neverDestroyedString("TopLeft");
inline const std::string& kCVImageBufferChromaLocation_Top = platform::neverDestroyedString("Top");
inline const std::string& kCVImageBufferChromaLocation_BottomLeft =
    platform::neverDestroyedString("BottomLeft");
inline const std::string& kCVImageBufferChromaLocation_Bottom =
    platform::neverDestroyedString("Bottom");
inline const std::string& kCVImageBufferChromaLocation_DV420 =
    platform::neverDestroyedString("DV 4:2:0");

// The colour space that a set of image-buffer attachments describes: the one of the ICC profile
// under kCVImageBufferICCProfileKey when that is a valid profile, else one made from the colour
// primaries and transfer function (and matrix, when known) when both are known values (the
// gamma transfer needs kCVImageBufferGammaLevelKey too); null otherwise.
CGColorSpaceRef CVImageBufferCreateColorSpaceFromAttachments(const CFDictionary& attachments);
inline CGColorSpaceRef CVImageBufferCreateColorSpaceFromAttachments(
    const CFDictionaryRef& attachments) {
    return attachments ? CVImageBufferCreateColorSpaceFromAttachments(*attachments) : nullptr;
}

}  // namespace platform
