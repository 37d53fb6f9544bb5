#include "platform/corevideo/CVImageBuffer.h"

namespace platform {

namespace {

bool isOneOf(const std::string& value, std::initializer_list<const std::string*> candidates) {
    for (const std::string* candidate : candidates) {
        if (*candidate == value) {
            return true;
        }
    }
    return false;
}

bool isKnownPrimaries(const std::string& value) {
    return isOneOf(
        value, {&kCVImageBufferColorPrimaries_ITU_R_709_2, &kCVImageBufferColorPrimaries_EBU_3213,
                &kCVImageBufferColorPrimaries_SMPTE_C, &kCVImageBufferColorPrimaries_ITU_R_2020,
                &kCVImageBufferColorPrimaries_DCI_P3, &kCVImageBufferColorPrimaries_P3_D65,
                &kCVImageBufferColorPrimaries_P22});
}

bool isKnownTransferFunction(const std::string& value) {
    return isOneOf(
        value,
        {&kCVImageBufferTransferFunction_ITU_R_709_2,
         &kCVImageBufferTransferFunction_SMPTE_240M_1995, &kCVImageBufferTransferFunction_UseGamma,
         &kCVImageBufferTransferFunction_ITU_R_2020, &kCVImageBufferTransferFunction_SMPTE_ST_428_1,
         &kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ,
         &kCVImageBufferTransferFunction_ITU_R_2100_HLG, &kCVImageBufferTransferFunction_Linear,
         &kCVImageBufferTransferFunction_sRGB});
}

bool isKnownMatrix(const std::string& value) {
    return isOneOf(
        value, {&kCVImageBufferYCbCrMatrix_ITU_R_709_2, &kCVImageBufferYCbCrMatrix_ITU_R_601_4,
                &kCVImageBufferYCbCrMatrix_SMPTE_240M_1995, &kCVImageBufferYCbCrMatrix_ITU_R_2020,
                &kCVImageBufferYCbCrMatrix_P3_D65});
}

}  // namespace

CGColorSpaceRef CVImageBufferCreateColorSpaceFromAttachments(const CFDictionary& attachments) {
    if (CFDataRef profile = attachments.dataValue(kCVImageBufferICCProfileKey)) {
        if (CGColorSpaceRef space = CGColorSpaceCreateWithICCData(profile)) {
            return space;
        }
    }
    const auto primaries = attachments.stringValue(kCVImageBufferColorPrimariesKey);
    const auto transfer = attachments.stringValue(kCVImageBufferTransferFunctionKey);
    if (!primaries || !transfer || !isKnownPrimaries(*primaries) ||
        !isKnownTransferFunction(*transfer)) {
        return nullptr;
    }
    CGColorSpaceVideoParameters parameters{*primaries, *transfer, std::nullopt, std::nullopt};
    if (*transfer == kCVImageBufferTransferFunction_UseGamma) {
        const auto gamma = attachments.doubleValue(kCVImageBufferGammaLevelKey);
        if (!gamma || !(*gamma > 0)) {
            return nullptr;
        }
        parameters.gammaLevel = gamma;
    }
    if (auto matrix = attachments.stringValue(kCVImageBufferYCbCrMatrixKey);
        matrix && isKnownMatrix(*matrix)) {
        parameters.yCbCrMatrix = std::move(matrix);
    }
    return CGColorSpaceCreateWithVideoParameters(std::move(parameters));
}

}  // namespace platform
