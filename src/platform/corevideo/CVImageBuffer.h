#pragma once

#include <string>

#include "platform/corefoundation/CFDictionary.h"
#include "platform/graphics/CGColorSpace.h"

namespace platform {

// Attachment keys of image buffers.
inline const std::string kCVImageBufferCGColorSpaceKey = "CVImageBufferCGColorSpace";
inline const std::string kCVImageBufferICCProfileKey = "CVImageBufferICCProfile";
inline const std::string kCVImageBufferColorPrimariesKey = "CVImageBufferColorPrimaries";
inline const std::string kCVImageBufferTransferFunctionKey = "CVImageBufferTransferFunction";
inline const std::string kCVImageBufferGammaLevelKey = "CVImageBufferGammaLevel";
inline const std::string kCVImageBufferYCbCrMatrixKey = "CVImageBufferYCbCrMatrix";
inline const std::string kCVImageBufferMasteringDisplayColorVolumeKey =
    "CVImageBufferMasteringDisplayColorVolume";
inline const std::string kCVImageBufferContentLightLevelInfoKey =
    "CVImageBufferContentLightLevelInfo";
inline const std::string kCVImageBufferPixelAspectRatioKey = "CVPixelAspectRatio";
inline const std::string kCVImageBufferPixelAspectRatioHorizontalSpacingKey = "HorizontalSpacing";
inline const std::string kCVImageBufferPixelAspectRatioVerticalSpacingKey = "VerticalSpacing";
inline const std::string kCVImageBufferCleanApertureKey = "CVCleanAperture";
inline const std::string kCVImageBufferDisplayDimensionsKey = "CVImageBufferDisplayDimensions";
inline const std::string kCVImageBufferDisplayWidthKey = "Width";
inline const std::string kCVImageBufferDisplayHeightKey = "Height";
inline const std::string kCVImageBufferFieldCountKey = "CVFieldCount";
inline const std::string kCVImageBufferChromaLocationTopFieldKey =
    "CVImageBufferChromaLocationTopField";
inline const std::string kCVImageBufferChromaLocationBottomFieldKey =
    "CVImageBufferChromaLocationBottomField";
inline const std::string kCVImageBufferChromaSubsamplingKey = "CVImageBufferChromaSubsampling";

// Values of kCVImageBufferColorPrimariesKey.
inline const std::string kCVImageBufferColorPrimaries_ITU_R_709_2 = "ITU_R_709_2";
inline const std::string kCVImageBufferColorPrimaries_EBU_3213 = "EBU_3213";
inline const std::string kCVImageBufferColorPrimaries_SMPTE_C = "SMPTE_C";
inline const std::string kCVImageBufferColorPrimaries_ITU_R_2020 = "ITU_R_2020";
inline const std::string kCVImageBufferColorPrimaries_DCI_P3 = "DCI_P3";
inline const std::string kCVImageBufferColorPrimaries_P3_D65 = "P3_D65";
inline const std::string kCVImageBufferColorPrimaries_P22 = "P22";

// Values of kCVImageBufferTransferFunctionKey.
inline const std::string kCVImageBufferTransferFunction_ITU_R_709_2 = "ITU_R_709_2";
inline const std::string kCVImageBufferTransferFunction_SMPTE_240M_1995 = "SMPTE_240M_1995";
inline const std::string kCVImageBufferTransferFunction_UseGamma = "UseGamma";
inline const std::string kCVImageBufferTransferFunction_ITU_R_2020 = "ITU_R_2020";
inline const std::string kCVImageBufferTransferFunction_SMPTE_ST_428_1 = "SMPTE_ST_428_1";
inline const std::string kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ = "SMPTE_ST_2084_PQ";
inline const std::string kCVImageBufferTransferFunction_ITU_R_2100_HLG = "ITU_R_2100_HLG";
inline const std::string kCVImageBufferTransferFunction_Linear = "Linear";
inline const std::string kCVImageBufferTransferFunction_sRGB = "IEC_sRGB";

// Values of kCVImageBufferYCbCrMatrixKey.
inline const std::string kCVImageBufferYCbCrMatrix_ITU_R_709_2 = "ITU_R_709_2";
inline const std::string kCVImageBufferYCbCrMatrix_ITU_R_601_4 = "ITU_R_601_4";
inline const std::string kCVImageBufferYCbCrMatrix_SMPTE_240M_1995 = "SMPTE_240M_1995";
inline const std::string kCVImageBufferYCbCrMatrix_ITU_R_2020 = "ITU_R_2020";
inline const std::string kCVImageBufferYCbCrMatrix_P3_D65 = "P3_D65";

// Values of the chroma-location keys.
inline const std::string kCVImageBufferChromaLocation_Left = "Left";
inline const std::string kCVImageBufferChromaLocation_Center = "Center";
inline const std::string kCVImageBufferChromaLocation_TopLeft = "TopLeft";
inline const std::string kCVImageBufferChromaLocation_Top = "Top";
inline const std::string kCVImageBufferChromaLocation_BottomLeft = "BottomLeft";
inline const std::string kCVImageBufferChromaLocation_Bottom = "Bottom";
inline const std::string kCVImageBufferChromaLocation_DV420 = "DV 4:2:0";

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
