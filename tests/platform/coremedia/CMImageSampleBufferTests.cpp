#include <gtest/gtest.h>

#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMVideoFormatDescription.h"
#include "platform/corevideo/CVPixelBuffer.h"

using namespace platform;

namespace {

CVPixelBufferRef makePicture(std::size_t width, std::size_t height) {
    CVPixelBufferRef pixelBuffer;
    EXPECT_EQ(CVPixelBufferCreate(width, height, kCVPixelFormatType_32BGRA, nullptr, &pixelBuffer),
              kCVReturnSuccess);
    CVBufferSetAttachment(pixelBuffer, kCVImageBufferColorPrimariesKey,
                          kCVImageBufferColorPrimaries_ITU_R_709_2,
                          kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(pixelBuffer, "org.quillon.didConfigureColorSpace", true,
                          kCVAttachmentMode_ShouldNotPropagate);
    return pixelBuffer;
}

}  // namespace

TEST(CMImageSampleBuffer, DescriptionTakesFormatSizeAndPropagatedAttachmentsOfThePicture) {
    const auto picture = makePicture(64, 48);
    CMVideoFormatDescriptionRef format;
    ASSERT_EQ(CMVideoFormatDescriptionCreateForImageBuffer(picture, &format), noErr);

    EXPECT_EQ(CMFormatDescriptionGetMediaType(format), kCMMediaType_Video);
    EXPECT_EQ(CMVideoFormatDescriptionGetCodecType(format), kCVPixelFormatType_32BGRA);
    EXPECT_EQ(CMVideoFormatDescriptionGetDimensions(format), (CMVideoDimensions{64, 48}));
    const CFValue* primaries =
        CMFormatDescriptionGetExtension(format, kCMFormatDescriptionExtension_ColorPrimaries);
    ASSERT_NE(primaries, nullptr);
    EXPECT_TRUE(CFValueEqual(*primaries, CFValue(kCVImageBufferColorPrimaries_ITU_R_709_2)));
    EXPECT_EQ(CMFormatDescriptionGetExtensions(format)->size(), 1u);  // not the private flag

    EXPECT_TRUE(CMVideoFormatDescriptionMatchesImageBuffer(format, picture));
    CVBufferSetAttachment(picture, kCVImageBufferYCbCrMatrixKey,
                          kCVImageBufferYCbCrMatrix_ITU_R_709_2, kCVAttachmentMode_ShouldPropagate);
    EXPECT_FALSE(CMVideoFormatDescriptionMatchesImageBuffer(format, picture));
}

TEST(CMImageSampleBuffer, HoldsOnePictureWithItsTiming) {
    const auto picture = makePicture(32, 32);
    CMVideoFormatDescriptionRef format;
    ASSERT_EQ(CMVideoFormatDescriptionCreateForImageBuffer(picture, &format), noErr);
    const CMSampleTimingInfo timing{CMTimeMake(1001, 30000), CMTimeMake(3003, 30000),
                                    kCMTimeInvalid};
    CMSampleBufferRef sampleBuffer;
    ASSERT_EQ(CMSampleBufferCreateReadyWithImageBuffer(picture, format, &timing, &sampleBuffer),
              noErr);

    EXPECT_EQ(CMSampleBufferGetImageBuffer(sampleBuffer), picture);
    EXPECT_EQ(CMSampleBufferGetDataBuffer(sampleBuffer), nullptr);
    EXPECT_EQ(CMSampleBufferGetFormatDescription(sampleBuffer), format);
    EXPECT_EQ(CMSampleBufferGetNumSamples(sampleBuffer), 1);
    EXPECT_EQ(CMSampleBufferGetTotalSampleSize(sampleBuffer), 0u);
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(sampleBuffer), CMTimeMake(1001, 10000));
    EXPECT_EQ(CMSampleBufferGetDuration(sampleBuffer), CMTimeMake(1001, 30000));
    EXPECT_TRUE(CMSampleBufferDataIsReady(sampleBuffer));
}

TEST(CMImageSampleBuffer, RefusesADescriptionOfAnotherPicture) {
    const auto picture = makePicture(32, 32);
    CMVideoFormatDescriptionRef otherSize;
    ASSERT_EQ(CMVideoFormatDescriptionCreateForImageBuffer(makePicture(16, 32), &otherSize), noErr);
    const CMSampleTimingInfo timing{kCMTimeInvalid, kCMTimeZero, kCMTimeInvalid};
    CMSampleBufferRef sampleBuffer;
    EXPECT_EQ(CMSampleBufferCreateReadyWithImageBuffer(picture, otherSize, &timing, &sampleBuffer),
              kCMSampleBufferError_InvalidMediaFormat);
    EXPECT_EQ(CMSampleBufferCreateReadyWithImageBuffer(picture, nullptr, &timing, &sampleBuffer),
              kCMSampleBufferError_RequiredParameterMissing);

    CMVideoFormatDescriptionRef notFromPicture;
    ASSERT_EQ(
        CMVideoFormatDescriptionCreate(kCVPixelFormatType_32BGRA, 32, 32, nullptr, &notFromPicture),
        noErr);
    EXPECT_EQ(
        CMSampleBufferCreateReadyWithImageBuffer(picture, notFromPicture, &timing, &sampleBuffer),
        kCMSampleBufferError_InvalidMediaFormat);
}
