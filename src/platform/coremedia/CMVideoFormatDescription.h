#pragma once

#include <cstdint>
#include <string>

#include "platform/coremedia/CMFormatDescription.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace platform {

// Video extension keys are the image-buffer attachment keys of the same meaning, so that a
// picture's propagated attachments become its format's extensions unchanged.
inline const std::string& kCMFormatDescriptionExtension_ColorPrimaries =
    kCVImageBufferColorPrimariesKey;
inline const std::string& kCMFormatDescriptionExtension_TransferFunction =
    kCVImageBufferTransferFunctionKey;
inline const std::string& kCMFormatDescriptionExtension_GammaLevel = kCVImageBufferGammaLevelKey;
inline const std::string& kCMFormatDescriptionExtension_YCbCrMatrix = kCVImageBufferYCbCrMatrixKey;
inline const std::string& kCMFormatDescriptionExtension_ICCProfile = kCVImageBufferICCProfileKey;
inline const std::string& kCMFormatDescriptionExtension_PixelAspectRatio =
    kCVImageBufferPixelAspectRatioKey;
inline const std::string& kCMFormatDescriptionExtension_CleanAperture =
    kCVImageBufferCleanApertureKey;
inline const std::string& kCMFormatDescriptionExtension_FieldCount = kCVImageBufferFieldCountKey;
inline const std::string& kCMFormatDescriptionExtension_ChromaLocationTopField =
    kCVImageBufferChromaLocationTopFieldKey;
inline const std::string& kCMFormatDescriptionExtension_ChromaLocationBottomField =
    kCVImageBufferChromaLocationBottomFieldKey;
inline const std::string& kCMFormatDescriptionExtension_MasteringDisplayColorVolume =
    kCVImageBufferMasteringDisplayColorVolumeKey;
inline const std::string& kCMFormatDescriptionExtension_ContentLightLevelInfo =
    kCVImageBufferContentLightLevelInfoKey;

// A video description of codecType (for uncompressed video, the pixel format) and dimensions.
// Fails with kCMFormatDescriptionError_InvalidParameter for negative dimensions.
OSStatus CMVideoFormatDescriptionCreate(CMVideoCodecType codecType, std::int32_t width,
                                        std::int32_t height, const CFDictionaryRef& extensions,
                                        CMVideoFormatDescriptionRef* formatDescriptionOut);

// The description of the pictures of one image buffer: its pixel format and size, with its
// propagated attachments as extensions.
OSStatus CMVideoFormatDescriptionCreateForImageBuffer(
    const CVImageBufferRef& imageBuffer, CMVideoFormatDescriptionRef* formatDescriptionOut);

// {0, 0} for a description that is not video.
CMVideoDimensions CMVideoFormatDescriptionGetDimensions(
    const CMVideoFormatDescriptionRef& videoDescription);
CMVideoCodecType CMVideoFormatDescriptionGetCodecType(
    const CMVideoFormatDescriptionRef& videoDescription);

// Whether the description is the one CMVideoFormatDescriptionCreateForImageBuffer would make
// for the buffer now.
bool CMVideoFormatDescriptionMatchesImageBuffer(const CMVideoFormatDescriptionRef& videoDescription,
                                                const CVImageBufferRef& imageBuffer);

}  // namespace platform
