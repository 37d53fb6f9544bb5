#include "media-player/decoders/common/ColorAttachments.h"

#include <array>
#include <cstdint>

#include "media-player/decoders/common/ColorPropertyMappings.h"
#include "media-player/decoders/common/ColorSpaceConfiguration.h"
#include "media-player/decoders/common/FFmpegDecoding.h"
#include "media-player/decoders/common/PixelFormats.h"
#include "platform/corevideo/CVImageBuffer.h"

namespace quillon {

using namespace platform;

namespace {

// The colour space of an HDR combination, from the embedded profiles; null for the others.
CGColorSpaceRef hdrColorSpace(const std::string& primaries, const std::string& transfer) {
    const bool pq = transfer == kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ;
    const bool hlg = transfer == kCVImageBufferTransferFunction_ITU_R_2100_HLG;
    if (primaries == kCVImageBufferColorPrimaries_ITU_R_2020) {
        if (pq) {
            return ColorSpaceConfiguration::bt2020PQ().colorSpace();
        }
        if (hlg) {
            return ColorSpaceConfiguration::bt2020HLG().colorSpace();
        }
    } else if (primaries == kCVImageBufferColorPrimaries_P3_D65) {
        if (pq) {
            return ColorSpaceConfiguration::p3D65PQ().colorSpace();
        }
        if (hlg) {
            return ColorSpaceConfiguration::p3D65HLG().colorSpace();
        }
    }
    return nullptr;
}

const ColorSpaceConfiguration& defaultPreset(std::size_t width, std::size_t height, bool isYCbCr) {
    if (!isYCbCr) {
        return ColorSpaceConfiguration::rgb();
    }
    // Width decides first: a wide picture of few lines is still HD.
    if (width >= 1280 && width <= 3839) {
        return ColorSpaceConfiguration::highDefinition();
    }
    if (width > 3839) {
        return ColorSpaceConfiguration::ultraHighDefinition();
    }
    if (height >= 484) {
        return ColorSpaceConfiguration::standardDefinitionEBU3213();
    }
    return ColorSpaceConfiguration::standardDefinitionSMPTEC();
}

}  // namespace

std::optional<CFDictionary> colorAttachments(AVColorPrimaries primaries,
                                             AVColorTransferCharacteristic transfer,
                                             AVColorSpace matrix, OSType pixelFormat) {
    auto coreVideoPrimaries = coreVideoColorPrimaries(primaries);
    if (!coreVideoPrimaries) {
        return std::nullopt;
    }
    auto coreVideoTransfer = coreVideoTransferFunction(transfer);
    if (!coreVideoTransfer) {
        return std::nullopt;
    }
    CFDictionary attachments{
        {kCVPixelBufferPixelFormatTypeKey, std::int64_t{pixelFormat}},
        {kCVImageBufferColorPrimariesKey, *coreVideoPrimaries},
        {kCVImageBufferTransferFunctionKey, coreVideoTransfer->transferFunction},
    };
    if (coreVideoTransfer->gammaLevel) {
        attachments.set(kCVImageBufferGammaLevelKey, *coreVideoTransfer->gammaLevel);
    }
    if (auto coreVideoMatrix = coreVideoYCbCrMatrix(matrix)) {
        attachments.set(kCVImageBufferYCbCrMatrixKey, std::move(*coreVideoMatrix));
    }

    CGColorSpaceRef colorSpace =
        hdrColorSpace(*coreVideoPrimaries, coreVideoTransfer->transferFunction);
    if (!colorSpace) {
        colorSpace = CVImageBufferCreateColorSpaceFromAttachments(attachments);
        if (!colorSpace) {
            return std::nullopt;
        }
    }
    attachments.set(kCVImageBufferCGColorSpaceKey, CFObjectRef(colorSpace));
    if (CFDataRef iccData = CGColorSpaceCopyICCData(colorSpace)) {
        attachments.set(kCVImageBufferICCProfileKey, std::move(iccData));
    }
    attachments.set(kDidConfigureColorSpaceAttachmentKey, true);
    attachments.remove(kCVPixelBufferPixelFormatTypeKey);
    return attachments;
}

std::optional<CFDictionary> colorAttachments(const CFDataRef& iccProfile) {
    if (!iccProfile) {
        return std::nullopt;
    }
    CFDictionary attachments{{kCVImageBufferICCProfileKey, iccProfile}};
    CGColorSpaceRef colorSpace = CVImageBufferCreateColorSpaceFromAttachments(attachments);
    if (!colorSpace) {
        return std::nullopt;
    }
    attachments.set(kCVImageBufferCGColorSpaceKey, CFObjectRef(std::move(colorSpace)));
    attachments.set(kDidConfigureColorSpaceAttachmentKey, true);
    return attachments;
}

CFDictionary defaultColorAttachments(std::size_t width, std::size_t height, bool isYCbCr) {
    CFDictionary attachments = defaultPreset(width, height, isYCbCr).attachments();
    attachments.set(kDidConfigureColorSpaceAttachmentKey, true);
    return attachments;
}

CFDictionary defaultColorAttachmentsForPixelBuffer(const CVPixelBufferRef& pixelBuffer) {
    const auto& descriptors = pixelFormatDescriptors();
    const auto descriptor = descriptors.find(CVPixelBufferGetPixelFormatType(pixelBuffer));
    const bool isYCbCr = descriptor == descriptors.end() || descriptor->second.isYCbCr;
    return defaultColorAttachments(CVPixelBufferGetWidth(pixelBuffer),
                                   CVPixelBufferGetHeight(pixelBuffer), isYCbCr);
}

void replaceColorAttachments(const CVBufferRef& buffer, const CFDictionary& attachments) {
    static const std::array<const std::string*, 7> colorKeys = {
        &kCVImageBufferCGColorSpaceKey,     &kCVImageBufferICCProfileKey,
        &kCVImageBufferYCbCrMatrixKey,      &kCVImageBufferColorPrimariesKey,
        &kCVImageBufferTransferFunctionKey, &kCVImageBufferGammaLevelKey,
        &kColorInfoGuessedByAttachmentKey,
    };
    for (const std::string* key : colorKeys) {
        CVBufferRemoveAttachment(buffer, *key);
    }
    CVBufferSetAttachments(buffer, attachments, kCVAttachmentMode_ShouldPropagate);
}

void setColorAttachments(const AVFrame& frame, const CVPixelBufferRef& pixelBuffer) {
    // A profile in the frame is the most exact description there is: it wins even over
    // attachments the buffer already has.
    if (CFDataRef iccProfile = makeICCProfileData(frame)) {
        if (auto attachments = colorAttachments(iccProfile)) {
            replaceColorAttachments(pixelBuffer, *attachments);
            return;
        }
    }
    if (auto marker = CVBufferGetAttachment(pixelBuffer, kDidConfigureColorSpaceAttachmentKey)) {
        if (const bool* configured = std::get_if<bool>(&*marker); configured && *configured) {
            return;
        }
    }
    if (auto attachments =
            colorAttachments(frame.color_primaries, frame.color_trc, frame.colorspace,
                             CVPixelBufferGetPixelFormatType(pixelBuffer))) {
        replaceColorAttachments(pixelBuffer, *attachments);
        return;
    }
    replaceColorAttachments(pixelBuffer, defaultColorAttachmentsForPixelBuffer(pixelBuffer));
}

}  // namespace quillon
