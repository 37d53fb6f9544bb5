#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/corefoundation/CFBase.h"
#include "platform/corefoundation/CFDictionary.h"
#include "platform/coremedia/CMAttachment.h"
#include "platform/coremedia/CMBlockBuffer.h"
#include "platform/coremedia/CMFormatDescription.h"
#include "platform/coremedia/CMSampleAttachmentsArray.h"
#include "platform/coremedia/CMSampleTimingInfo.h"
#include "platform/coremedia/CMTime.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace platform {

inline constexpr OSStatus kCMSampleBufferError_AllocationFailed = -12730;
inline constexpr OSStatus kCMSampleBufferError_RequiredParameterMissing = -12731;
inline constexpr OSStatus kCMSampleBufferError_AlreadyHasDataBuffer = -12732;
inline constexpr OSStatus kCMSampleBufferError_BufferNotReady = -12733;
inline constexpr OSStatus kCMSampleBufferError_SampleIndexOutOfRange = -12734;
inline constexpr OSStatus kCMSampleBufferError_BufferHasNoSampleSizes = -12735;
inline constexpr OSStatus kCMSampleBufferError_BufferHasNoSampleTimingInfo = -12736;
inline constexpr OSStatus kCMSampleBufferError_ArrayTooSmall = -12737;
inline constexpr OSStatus kCMSampleBufferError_InvalidEntryCount = -12738;
inline constexpr OSStatus kCMSampleBufferError_CannotSubdivide = -12739;
inline constexpr OSStatus kCMSampleBufferError_SampleTimingInfoInvalid = -12740;
inline constexpr OSStatus kCMSampleBufferError_InvalidMediaTypeForOperation = -12741;
inline constexpr OSStatus kCMSampleBufferError_InvalidSampleData = -12742;
inline constexpr OSStatus kCMSampleBufferError_InvalidMediaFormat = -12743;
inline constexpr OSStatus kCMSampleBufferError_Invalidated = -12744;
inline constexpr OSStatus kCMSampleBufferError_DataFailed = -16750;
inline constexpr OSStatus kCMSampleBufferError_DataCanceled = -16751;

using CMItemCount = long;
using CMItemIndex = long;

class CMSampleBuffer;
using CMSampleBufferRef = std::shared_ptr<CMSampleBuffer>;

// Makes a sample buffer's data ready (CMSampleBufferMakeDataReady); noErr marks it ready.
using CMSampleBufferMakeDataReadyCallback = OSStatus (*)(const CMSampleBufferRef& sbuf,
                                                         void* makeDataReadyRefcon);

// Zero or more media samples of one format with their timing: compressed or PCM bytes in a
// block buffer, or one picture in an image buffer.
//
// Everything a sample buffer was created with is fixed from then on, so a finished buffer may
// be handed to other threads and read there at once (its block buffer must not be changed after
// creation either). What can change — readiness, validity, and the attachments of the buffer and
// of its samples — is safe to use from any thread.
class CMSampleBuffer {
public:
    struct Contents {
        CMBlockBufferRef dataBuffer;
        CVImageBufferRef imageBuffer;
        CMFormatDescriptionRef formatDescription;
        CMItemCount numSamples = 0;
        // 0, 1 or numSamples entries each.
        std::vector<CMSampleTimingInfo> timing;
        std::vector<std::size_t> sizes;
        bool dataReady = true;
        CMSampleBufferMakeDataReadyCallback makeDataReadyCallback = nullptr;
        void* makeDataReadyRefcon = nullptr;
    };

    // Use the Create functions, which check the contents first.
    explicit CMSampleBuffer(Contents contents);
    CMSampleBuffer(const CMSampleBuffer&) = delete;
    CMSampleBuffer& operator=(const CMSampleBuffer&) = delete;

    const CMBlockBufferRef& dataBuffer() const { return contents_.dataBuffer; }
    const CVImageBufferRef& imageBuffer() const { return contents_.imageBuffer; }
    const CMFormatDescriptionRef& formatDescription() const { return contents_.formatDescription; }
    CMItemCount numSamples() const { return contents_.numSamples; }
    const std::vector<CMSampleTimingInfo>& timingEntries() const { return contents_.timing; }
    const std::vector<std::size_t>& sizeEntries() const { return contents_.sizes; }

    // The earliest presentation time of its samples; invalid without timing.
    CMTime presentationTimeStamp() const;
    // The decode time of its first sample.
    CMTime decodeTimeStamp() const;
    // The sum of its samples' durations; invalid when any of them is not numeric.
    CMTime duration() const;
    // The presentation time and duration once the trim attachments are applied.
    CMTime outputPresentationTimeStamp() const;
    CMTime outputDuration() const;
    std::size_t totalSampleSize() const;
    std::size_t sampleSize(CMItemIndex sampleIndex) const;
    OSStatus sampleTimingInfo(CMItemIndex sampleIndex, CMSampleTimingInfo* timingInfoOut) const;

    bool isValid() const { return valid_.load(std::memory_order_acquire); }
    void invalidate() { valid_.store(false, std::memory_order_release); }
    bool dataIsReady() const { return dataReady_.load(std::memory_order_acquire); }
    void setDataReady() { dataReady_.store(true, std::memory_order_release); }

    CMAttachmentStore& attachments() { return attachments_; }
    const CMAttachmentStore& attachments() const { return attachments_; }
    // The per-sample attachments, made on first request when createIfNecessary; otherwise null
    // until then. Valid as long as the sample buffer.
    CMSampleAttachmentsArray* sampleAttachments(bool createIfNecessary);

    CMSampleBufferMakeDataReadyCallback makeDataReadyCallback() const {
        return contents_.makeDataReadyCallback;
    }
    void* makeDataReadyRefcon() const { return contents_.makeDataReadyRefcon; }

    // For logs: samples, times, size and format.
    std::string description() const;

private:
    const Contents contents_;
    std::atomic<bool> dataReady_;
    std::atomic<bool> valid_{true};
    CMAttachmentStore attachments_;
    std::mutex sampleAttachmentsMutex_;
    std::unique_ptr<CMSampleAttachmentsArray> sampleAttachments_;
};

// A sample buffer of numSamples samples in dataBuffer (which may be null only when the samples
// have no size). Timing and size arrays hold 0, 1 or numSamples entries; one entry stands for
// every sample. For linear PCM every sample is one frame: its size, when given, must be the
// format's bytes per frame (and is taken from the format when no size is given), and a numeric
// duration must be one frame, 1/sample rate.
// Errors: kCMSampleBufferError_RequiredParameterMissing (no out pointer, an entry count without
// its array, sizes without data), kCMSampleBufferError_InvalidEntryCount,
// kCMSampleBufferError_InvalidSampleData (the sizes exceed the data),
// kCMSampleBufferError_InvalidMediaFormat (sizes that disagree with the PCM format),
// kCMSampleBufferError_SampleTimingInfoInvalid (a PCM duration other than one frame).
OSStatus CMSampleBufferCreate(const CMBlockBufferRef& dataBuffer, bool dataReady,
                              CMSampleBufferMakeDataReadyCallback makeDataReadyCallback,
                              void* makeDataReadyRefcon,
                              const CMFormatDescriptionRef& formatDescription,
                              CMItemCount numSamples, CMItemCount numSampleTimingEntries,
                              const CMSampleTimingInfo* sampleTimingArray,
                              CMItemCount numSampleSizeEntries, const std::size_t* sampleSizeArray,
                              CMSampleBufferRef* sampleBufferOut);

// CMSampleBufferCreate with data that is ready.
OSStatus CMSampleBufferCreateReady(const CMBlockBufferRef& dataBuffer,
                                   const CMFormatDescriptionRef& formatDescription,
                                   CMItemCount numSamples, CMItemCount numSampleTimingEntries,
                                   const CMSampleTimingInfo* sampleTimingArray,
                                   CMItemCount numSampleSizeEntries,
                                   const std::size_t* sampleSizeArray,
                                   CMSampleBufferRef* sampleBufferOut);

// One picture: a sample buffer of one sample whose data is the image buffer. The description
// must be a video description that matches the buffer
// (kCMSampleBufferError_InvalidMediaFormat otherwise).
OSStatus CMSampleBufferCreateReadyWithImageBuffer(
    const CVImageBufferRef& imageBuffer, const CMVideoFormatDescriptionRef& formatDescription,
    const CMSampleTimingInfo* sampleTiming, CMSampleBufferRef* sampleBufferOut);

// Getters: a null sample buffer gives invalid times, zero counts and null references.
CMTime CMSampleBufferGetPresentationTimeStamp(const CMSampleBufferRef& sbuf);
CMTime CMSampleBufferGetDecodeTimeStamp(const CMSampleBufferRef& sbuf);
CMTime CMSampleBufferGetDuration(const CMSampleBufferRef& sbuf);
CMTime CMSampleBufferGetOutputPresentationTimeStamp(const CMSampleBufferRef& sbuf);
CMTime CMSampleBufferGetOutputDuration(const CMSampleBufferRef& sbuf);
CMItemCount CMSampleBufferGetNumSamples(const CMSampleBufferRef& sbuf);
CMBlockBufferRef CMSampleBufferGetDataBuffer(const CMSampleBufferRef& sbuf);
CVImageBufferRef CMSampleBufferGetImageBuffer(const CMSampleBufferRef& sbuf);
CMFormatDescriptionRef CMSampleBufferGetFormatDescription(const CMSampleBufferRef& sbuf);
std::size_t CMSampleBufferGetTotalSampleSize(const CMSampleBufferRef& sbuf);
std::size_t CMSampleBufferGetSampleSize(const CMSampleBufferRef& sbuf, CMItemIndex sampleIndex);
OSStatus CMSampleBufferGetSampleTimingInfo(const CMSampleBufferRef& sbuf, CMItemIndex sampleIndex,
                                           CMSampleTimingInfo* timingInfoOut);
// The timing entries as given at creation (one entry may stand for all samples). With too small
// an array, kCMSampleBufferError_ArrayTooSmall and the needed count.
OSStatus CMSampleBufferGetSampleTimingInfoArray(const CMSampleBufferRef& sbuf,
                                                CMItemCount numSampleTimingEntries,
                                                CMSampleTimingInfo* timingArrayOut,
                                                CMItemCount* timingArrayEntriesNeededOut);

bool CMSampleBufferIsValid(const CMSampleBufferRef& sbuf);
OSStatus CMSampleBufferInvalidate(const CMSampleBufferRef& sbuf);
bool CMSampleBufferDataIsReady(const CMSampleBufferRef& sbuf);
OSStatus CMSampleBufferSetDataReady(const CMSampleBufferRef& sbuf);
// Runs the make-ready callback unless the data is ready already;
// kCMSampleBufferError_BufferNotReady when there is no callback.
OSStatus CMSampleBufferMakeDataReady(const CMSampleBufferRef& sbuf);

// Null for a null buffer, and until first asked with createIfNecessary.
CMSampleAttachmentsArray* CMSampleBufferGetSampleAttachmentsArray(const CMSampleBufferRef& sbuf,
                                                                  bool createIfNecessary);

// Attachments of the buffer as a whole.
void CMSetAttachment(const CMSampleBufferRef& target, const std::string& key, CFValue value,
                     CMAttachmentMode attachmentMode);
std::optional<CFValue> CMGetAttachment(const CMSampleBufferRef& target, const std::string& key,
                                       CMAttachmentMode* attachmentModeOut = nullptr);
void CMRemoveAttachment(const CMSampleBufferRef& target, const std::string& key);
void CMRemoveAllAttachments(const CMSampleBufferRef& target);
void CMSetAttachments(const CMSampleBufferRef& target, const CFDictionary& attachments,
                      CMAttachmentMode attachmentMode);
// Null when there are none of that mode.
CFDictionaryRef CMCopyDictionaryOfAttachments(const CMSampleBufferRef& target,
                                              CMAttachmentMode attachmentMode);
// Copies the source's propagating attachments onto the destination.
void CMPropagateAttachments(const CMSampleBufferRef& source, const CMSampleBufferRef& destination);

}  // namespace platform
