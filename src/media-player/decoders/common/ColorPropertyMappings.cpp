#include "media-player/decoders/common/ColorPropertyMappings.h"

#include "platform/corevideo/CVImageBuffer.h"

namespace quillon {

using namespace platform;

std::optional<std::string> coreVideoColorPrimaries(AVColorPrimaries primaries) {
    switch (primaries) {
        case AVCOL_PRI_BT709:
            return kCVImageBufferColorPrimaries_ITU_R_709_2;
        case AVCOL_PRI_BT470BG:
            return kCVImageBufferColorPrimaries_EBU_3213;
        case AVCOL_PRI_SMPTE170M:
        case AVCOL_PRI_SMPTE240M:
            return kCVImageBufferColorPrimaries_SMPTE_C;
        case AVCOL_PRI_BT2020:
            return kCVImageBufferColorPrimaries_ITU_R_2020;
        case AVCOL_PRI_SMPTE431:
            return kCVImageBufferColorPrimaries_DCI_P3;
        case AVCOL_PRI_SMPTE432:
            return kCVImageBufferColorPrimaries_P3_D65;
        case AVCOL_PRI_EBU3213:
            return kCVImageBufferColorPrimaries_P22;
        default:
            return std::nullopt;
    }
}

std::optional<CoreVideoTransferFunction> coreVideoTransferFunction(
    AVColorTransferCharacteristic transfer) {
    switch (transfer) {
        case AVCOL_TRC_BT709:
        case AVCOL_TRC_SMPTE170M:
        case AVCOL_TRC_IEC61966_2_4:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_ITU_R_709_2, {}};
        case AVCOL_TRC_GAMMA22:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_UseGamma, 2.2};
        case AVCOL_TRC_GAMMA28:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_UseGamma, 2.8};
        case AVCOL_TRC_SMPTE240M:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_SMPTE_240M_1995, {}};
        case AVCOL_TRC_LINEAR:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_Linear, {}};
        case AVCOL_TRC_IEC61966_2_1:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_sRGB, {}};
        case AVCOL_TRC_BT2020_10:
        case AVCOL_TRC_BT2020_12:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_ITU_R_2020, {}};
        case AVCOL_TRC_SMPTE2084:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ, {}};
        case AVCOL_TRC_SMPTE428:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_SMPTE_ST_428_1, {}};
        case AVCOL_TRC_ARIB_STD_B67:
            return CoreVideoTransferFunction{kCVImageBufferTransferFunction_ITU_R_2100_HLG, {}};
        default:
            return std::nullopt;
    }
}

std::optional<std::string> coreVideoYCbCrMatrix(AVColorSpace matrix) {
    switch (matrix) {
        case AVCOL_SPC_BT709:
            return kCVImageBufferYCbCrMatrix_ITU_R_709_2;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
            return kCVImageBufferYCbCrMatrix_ITU_R_601_4;
        case AVCOL_SPC_SMPTE240M:
            return kCVImageBufferYCbCrMatrix_SMPTE_240M_1995;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return kCVImageBufferYCbCrMatrix_ITU_R_2020;
        default:
            return std::nullopt;
    }
}

}  // namespace quillon
