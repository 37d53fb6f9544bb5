#include <gtest/gtest.h>

#include "platform/corevideo/CVPixelBuffer.h"

using namespace platform;

namespace {

CVPixelBufferRef makeBuffer() {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(4, 4, kCVPixelFormatType_32BGRA, nullptr, &buffer),
              kCVReturnSuccess);
    return buffer;
}

}  // namespace

TEST(CVBufferAttachments, AKeyHasOneValueInOneMode) {
    CVPixelBufferRef buffer = makeBuffer();
    EXPECT_FALSE(CVBufferGetAttachment(buffer, "Key").has_value());
    EXPECT_EQ(CVBufferCopyAttachments(buffer, kCVAttachmentMode_ShouldPropagate), nullptr);

    CVBufferSetAttachment(buffer, "Key", std::int64_t{1}, kCVAttachmentMode_ShouldNotPropagate);
    CVBufferSetAttachment(buffer, "Key", std::int64_t{2}, kCVAttachmentMode_ShouldPropagate);
    CVAttachmentMode mode = kCVAttachmentMode_ShouldNotPropagate;
    EXPECT_TRUE(CFValueEqual(*CVBufferGetAttachment(buffer, "Key", &mode), std::int64_t{2}));
    EXPECT_EQ(mode, kCVAttachmentMode_ShouldPropagate);
    EXPECT_EQ(CVBufferCopyAttachments(buffer, kCVAttachmentMode_ShouldNotPropagate), nullptr);

    CVBufferSetAttachments(buffer, CFDictionary{{"A", true}, {"Key", std::int64_t{3}}},
                           kCVAttachmentMode_ShouldNotPropagate);
    EXPECT_EQ(CVBufferCopyAttachments(buffer, kCVAttachmentMode_ShouldPropagate), nullptr);
    EXPECT_EQ(*CVBufferCopyAttachments(buffer, kCVAttachmentMode_ShouldNotPropagate),
              (CFDictionary{{"A", true}, {"Key", std::int64_t{3}}}));

    CVBufferRemoveAttachment(buffer, "Key");
    EXPECT_FALSE(CVBufferHasAttachment(buffer, "Key"));
    EXPECT_TRUE(CVBufferHasAttachment(buffer, "A"));
    CVBufferRemoveAllAttachments(buffer);
    EXPECT_FALSE(CVBufferHasAttachment(buffer, "A"));
}

TEST(CVBufferAttachments, ACopyIsASnapshot) {
    CVPixelBufferRef buffer = makeBuffer();
    CVBufferSetAttachment(buffer, "Key", std::int64_t{1}, kCVAttachmentMode_ShouldPropagate);
    CFDictionaryRef snapshot = CVBufferCopyAttachments(buffer, kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, "Key", std::int64_t{2}, kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, "Other", std::int64_t{3}, kCVAttachmentMode_ShouldPropagate);
    EXPECT_EQ(*snapshot, (CFDictionary{{"Key", std::int64_t{1}}}));
}

TEST(CVBufferAttachments, PropagationCarriesOnlyPropagatingAttachments) {
    CVPixelBufferRef source = makeBuffer();
    CVPixelBufferRef destination = makeBuffer();
    CVBufferSetAttachment(source, "Colour", std::string("ITU_R_709_2"),
                          kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(source, "Private", true, kCVAttachmentMode_ShouldNotPropagate);
    CVBufferSetAttachment(destination, "Colour", std::string("SMPTE_C"),
                          kCVAttachmentMode_ShouldNotPropagate);
    CVBufferSetAttachment(destination, "Kept", true, kCVAttachmentMode_ShouldNotPropagate);

    CVBufferPropagateAttachments(source, destination);

    CVAttachmentMode mode = kCVAttachmentMode_ShouldNotPropagate;
    EXPECT_TRUE(CFValueEqual(*CVBufferGetAttachment(destination, "Colour", &mode),
                             std::string("ITU_R_709_2")));
    EXPECT_EQ(mode, kCVAttachmentMode_ShouldPropagate);
    EXPECT_FALSE(CVBufferHasAttachment(destination, "Private"));
    EXPECT_TRUE(CVBufferHasAttachment(destination, "Kept"));

    // Null buffers are ignored, as the platform's calls do.
    CVBufferPropagateAttachments(nullptr, destination);
    CVBufferSetAttachment(nullptr, "Key", true, kCVAttachmentMode_ShouldPropagate);
    EXPECT_FALSE(CVBufferGetAttachment(nullptr, "Key").has_value());
}
