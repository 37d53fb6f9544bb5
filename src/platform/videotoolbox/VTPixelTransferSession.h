#pragma once

#include <memory>
#include <mutex>

#include "platform/corefoundation/CFBase.h"
#include "platform/corefoundation/CFObject.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/videotoolbox/VTErrors.h"

struct SwsContext;

namespace platform {

// Copies images between pixel buffers of different formats and sizes (libswscale underneath).
// YCbCr sources are read with the matrix of their kCVImageBufferYCbCrMatrixKey attachment (by
// picture size when they have none: BT.709 from 720 rows or 1280 columns on, BT.601 below) and
// with the range their format code implies ('420v' video range, '420f' full range, ...). A session
// serialises its transfers.
class VTPixelTransferSession final : public CFObject {
public:
    VTPixelTransferSession();
    ~VTPixelTransferSession() override;
    VTPixelTransferSession(const VTPixelTransferSession&) = delete;
    VTPixelTransferSession& operator=(const VTPixelTransferSession&) = delete;

    OSStatus transferImage(const CVPixelBufferRef& source, const CVPixelBufferRef& destination);
    void invalidate();

    std::string description() const override { return "<VTPixelTransferSession>"; }

private:
    struct ConversionKey {
        int sourceFormat = -1;
        int sourceWidth = 0;
        int sourceHeight = 0;
        int destinationFormat = -1;
        int destinationWidth = 0;
        int destinationHeight = 0;
        int sourceColorspace = 0;
        int sourceRange = 0;
        int destinationColorspace = 0;
        int destinationRange = 0;

        friend bool operator==(const ConversionKey&, const ConversionKey&) = default;
    };

    OSStatus convert(const CVPixelBufferRef& source, const CVPixelBufferRef& destination);
    OSStatus prepareContext(const ConversionKey& key);
    void releaseContext();

    std::mutex mutex_;
    bool invalidated_ = false;
    SwsContext* context_ = nullptr;
    ConversionKey contextKey_;
};

using VTPixelTransferSessionRef = std::shared_ptr<VTPixelTransferSession>;

OSStatus VTPixelTransferSessionCreate(VTPixelTransferSessionRef* pixelTransferSessionOut);
// Scales and converts the source image into the destination buffer. Errors:
// kVTParameterErr for a missing buffer, kVTInvalidSessionErr after invalidation,
// kVTPixelTransferNotSupportedErr for a format the session cannot read or write.
OSStatus VTPixelTransferSessionTransferImage(const VTPixelTransferSessionRef& session,
                                             const CVPixelBufferRef& sourceBuffer,
                                             const CVPixelBufferRef& destinationBuffer);
void VTPixelTransferSessionInvalidate(const VTPixelTransferSessionRef& session);

}  // namespace platform
