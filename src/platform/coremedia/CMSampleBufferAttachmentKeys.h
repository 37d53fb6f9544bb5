#pragma once

namespace platform {

// Keys of a sample's own attachments (CMSampleBufferGetSampleAttachmentsArray). All hold
// booleans.
inline constexpr const char* kCMSampleAttachmentKey_NotSync = "NotSync";
inline constexpr const char* kCMSampleAttachmentKey_PartialSync = "PartialSync";
inline constexpr const char* kCMSampleAttachmentKey_HasRedundantCoding = "HasRedundantCoding";
inline constexpr const char* kCMSampleAttachmentKey_IsDependedOnByOthers = "IsDependedOnByOthers";
inline constexpr const char* kCMSampleAttachmentKey_DependsOnOthers = "DependsOnOthers";
inline constexpr const char* kCMSampleAttachmentKey_EarlierDisplayTimesAllowed =
    "EarlierDisplayTimesAllowed";
inline constexpr const char* kCMSampleAttachmentKey_DisplayImmediately = "DisplayImmediately";
inline constexpr const char* kCMSampleAttachmentKey_DoNotDisplay = "DoNotDisplay";

// Keys of attachments on the sample buffer as a whole (CMSetAttachment / CMGetAttachment).
inline constexpr const char* kCMSampleBufferAttachmentKey_ResetDecoderBeforeDecoding =
    "ResetDecoderBeforeDecoding";
inline constexpr const char* kCMSampleBufferAttachmentKey_DrainAfterDecoding = "DrainAfterDecoding";
inline constexpr const char* kCMSampleBufferAttachmentKey_PostNotificationWhenConsumed =
    "PostNotificationWhenConsumed";
inline constexpr const char* kCMSampleBufferAttachmentKey_ResumeOutput = "ResumeOutput";
inline constexpr const char* kCMSampleBufferAttachmentKey_TransitionID = "TransitionID";
// Times (stored with CMAttachmentValueWithTime) cut from the start or end of the buffer's audio.
inline constexpr const char* kCMSampleBufferAttachmentKey_TrimDurationAtStart =
    "TrimDurationAtStart";
inline constexpr const char* kCMSampleBufferAttachmentKey_TrimDurationAtEnd = "TrimDurationAtEnd";
inline constexpr const char* kCMSampleBufferAttachmentKey_SpeedMultiplier = "SpeedMultiplier";
inline constexpr const char* kCMSampleBufferAttachmentKey_Reverse = "Reverse";
inline constexpr const char* kCMSampleBufferAttachmentKey_FillDiscontinuitiesWithSilence =
    "FillDiscontinuitiesWithSilence";
inline constexpr const char* kCMSampleBufferAttachmentKey_EmptyMedia = "EmptyMedia";
inline constexpr const char* kCMSampleBufferAttachmentKey_PermanentEmptyMedia =
    "PermanentEmptyMedia";
inline constexpr const char* kCMSampleBufferAttachmentKey_DisplayEmptyMediaImmediately =
    "DisplayEmptyMediaImmediately";
inline constexpr const char* kCMSampleBufferAttachmentKey_EndsPreviousSampleDuration =
    "EndsPreviousSampleDuration";
inline constexpr const char* kCMSampleBufferAttachmentKey_SampleReferenceURL = "SampleReferenceURL";
inline constexpr const char* kCMSampleBufferAttachmentKey_SampleReferenceByteOffset =
    "SampleReferenceByteOffset";
inline constexpr const char* kCMSampleBufferAttachmentKey_GradualDecoderRefresh =
    "GradualDecoderRefresh";
inline constexpr const char* kCMSampleBufferAttachmentKey_DroppedFrameReason = "DroppedFrameReason";
inline constexpr const char* kCMSampleBufferAttachmentKey_ForceKeyFrame = "ForceKeyFrame";

}  // namespace platform
