#include "platform/coremedia/CMSampleBuffer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "platform/coremedia/CMSampleBufferAttachmentKeys.h"
#include "platform/coremedia/CMVideoFormatDescription.h"

namespace platform {

namespace {

// duration × count, exactly when the product fits.
CMTime multiply(CMTime duration, CMItemCount count) {
    if (count <= std::numeric_limits<std::int32_t>::max()) {
        return CMTimeMultiply(duration, static_cast<std::int32_t>(count));
    }
    return CMTimeMultiplyByFloat64(duration, static_cast<double>(count));
}

const AudioStreamBasicDescription* linearPCMFormat(const CMFormatDescriptionRef& description) {
    const auto* asbd = description && description->audio()
                           ? &description->audio()->streamBasicDescription
                           : nullptr;
    return asbd && asbd->mFormatID == kAudioFormatLinearPCM ? asbd : nullptr;
}

bool entryCountIsValid(CMItemCount entries, CMItemCount numSamples) {
    return entries == 0 || entries == 1 || entries == numSamples;
}

std::optional<CMTime> trimAttachment(const CMSampleBuffer& buffer, const char* key) {
    const auto value = buffer.attachments().get(key);
    if (!value) {
        return std::nullopt;
    }
    const auto time = CMAttachmentTimeValue(*value);
    return time && CMTIME_IS_NUMERIC(*time) ? time : std::nullopt;
}

// Checks a PCM buffer's sizes and timing against its format. A PCM sample is one frame.
OSStatus checkLinearPCM(const AudioStreamBasicDescription& asbd, std::vector<std::size_t>& sizes,
                        const std::vector<CMSampleTimingInfo>& timing, CMItemCount numSamples) {
    if (sizes.empty() && numSamples > 0) {
        sizes.push_back(asbd.mBytesPerPacket);
    }
    for (std::size_t size : sizes) {
        if (size != asbd.mBytesPerPacket) {
            return kCMSampleBufferError_InvalidMediaFormat;
        }
    }
    const double rate = asbd.mSampleRate;
    if (rate > std::numeric_limits<std::int32_t>::max() || rate != std::floor(rate)) {
        return noErr;  // no exact frame duration to compare with
    }
    const CMTime frameDuration = CMTimeMake(1, static_cast<CMTimeScale>(rate));
    for (const CMSampleTimingInfo& entry : timing) {
        if (CMTIME_IS_NUMERIC(entry.duration) && entry.duration != frameDuration) {
            return kCMSampleBufferError_SampleTimingInfoInvalid;
        }
    }
    return noErr;
}

std::size_t sumOfSizes(const std::vector<std::size_t>& sizes, CMItemCount numSamples) {
    if (sizes.empty()) {
        return 0;
    }
    if (sizes.size() == 1) {
        return sizes.front() * static_cast<std::size_t>(numSamples);
    }
    std::size_t total = 0;
    for (std::size_t size : sizes) {
        total += size;
    }
    return total;
}

}  // namespace

CMSampleBuffer::CMSampleBuffer(Contents contents)
    : contents_(std::move(contents)), dataReady_(contents_.dataReady) {}

CMTime CMSampleBuffer::presentationTimeStamp() const {
    const auto& timing = contents_.timing;
    if (timing.empty()) {
        return kCMTimeInvalid;
    }
    // The minimum by CMTimeCompare orders invalid times last, so they lose to any valid one.
    CMTime earliest = timing.front().presentationTimeStamp;
    for (const CMSampleTimingInfo& entry : timing) {
        earliest = CMTimeMinimum(earliest, entry.presentationTimeStamp);
    }
    return earliest;
}

CMTime CMSampleBuffer::decodeTimeStamp() const {
    return contents_.timing.empty() ? kCMTimeInvalid : contents_.timing.front().decodeTimeStamp;
}

CMTime CMSampleBuffer::duration() const {
    const auto& timing = contents_.timing;
    if (timing.empty()) {
        return kCMTimeInvalid;
    }
    if (timing.size() == 1) {
        const CMTime each = timing.front().duration;
        return CMTIME_IS_NUMERIC(each) ? multiply(each, contents_.numSamples) : kCMTimeInvalid;
    }
    CMTime total = kCMTimeZero;
    for (const CMSampleTimingInfo& entry : timing) {
        if (!CMTIME_IS_NUMERIC(entry.duration)) {
            return kCMTimeInvalid;
        }
        total = CMTimeAdd(total, entry.duration);
    }
    return total;
}

CMTime CMSampleBuffer::outputPresentationTimeStamp() const {
    const CMTime start = presentationTimeStamp();
    const auto trim = trimAttachment(*this, kCMSampleBufferAttachmentKey_TrimDurationAtStart);
    return trim && CMTIME_IS_NUMERIC(start) ? CMTimeAdd(start, *trim) : start;
}

CMTime CMSampleBuffer::outputDuration() const {
    CMTime result = duration();
    if (!CMTIME_IS_NUMERIC(result)) {
        return result;
    }
    for (const char* key : {kCMSampleBufferAttachmentKey_TrimDurationAtStart,
                            kCMSampleBufferAttachmentKey_TrimDurationAtEnd}) {
        if (const auto trim = trimAttachment(*this, key)) {
            result = CMTimeSubtract(result, *trim);
        }
    }
    return CMTimeMaximum(result, kCMTimeZero);
}

std::size_t CMSampleBuffer::totalSampleSize() const {
    return sumOfSizes(contents_.sizes, contents_.numSamples);
}

std::size_t CMSampleBuffer::sampleSize(CMItemIndex sampleIndex) const {
    const auto& sizes = contents_.sizes;
    if (sampleIndex < 0 || sampleIndex >= contents_.numSamples || sizes.empty()) {
        return 0;
    }
    return sizes.size() == 1 ? sizes.front() : sizes[static_cast<std::size_t>(sampleIndex)];
}

OSStatus CMSampleBuffer::sampleTimingInfo(CMItemIndex sampleIndex,
                                          CMSampleTimingInfo* timingInfoOut) const {
    if (timingInfoOut == nullptr) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    const auto& timing = contents_.timing;
    if (timing.empty()) {
        return kCMSampleBufferError_BufferHasNoSampleTimingInfo;
    }
    if (sampleIndex < 0 || sampleIndex >= contents_.numSamples) {
        return kCMSampleBufferError_SampleIndexOutOfRange;
    }
    if (timing.size() > 1) {
        *timingInfoOut = timing[static_cast<std::size_t>(sampleIndex)];
        return noErr;
    }
    // One entry for a run of samples: each starts where the previous one ends.
    const CMSampleTimingInfo& entry = timing.front();
    CMSampleTimingInfo sample = entry;
    if (sampleIndex > 0 && CMTIME_IS_NUMERIC(entry.duration)) {
        const CMTime offset = multiply(entry.duration, sampleIndex);
        if (CMTIME_IS_NUMERIC(entry.presentationTimeStamp)) {
            sample.presentationTimeStamp = CMTimeAdd(entry.presentationTimeStamp, offset);
        }
        if (CMTIME_IS_NUMERIC(entry.decodeTimeStamp)) {
            sample.decodeTimeStamp = CMTimeAdd(entry.decodeTimeStamp, offset);
        }
    }
    *timingInfoOut = sample;
    return noErr;
}

CMSampleAttachmentsArray* CMSampleBuffer::sampleAttachments(bool createIfNecessary) {
    std::lock_guard lock(sampleAttachmentsMutex_);
    if (!sampleAttachments_ && createIfNecessary) {
        sampleAttachments_ = std::make_unique<CMSampleAttachmentsArray>(
            static_cast<std::size_t>(std::max<CMItemCount>(contents_.numSamples, 0)));
    }
    return sampleAttachments_.get();
}

std::string CMSampleBuffer::description() const {
    return fmt::format(
        "<CMSampleBuffer {} samples, pts {}, duration {}, {} bytes{}{}{}>", contents_.numSamples,
        presentationTimeStamp(), duration(), totalSampleSize(),
        contents_.imageBuffer ? ", image buffer" : "",
        contents_.formatDescription ? ", " + contents_.formatDescription->description() : "",
        isValid() ? "" : ", invalidated");
}

OSStatus CMSampleBufferCreate(const CMBlockBufferRef& dataBuffer, bool dataReady,
                              CMSampleBufferMakeDataReadyCallback makeDataReadyCallback,
                              void* makeDataReadyRefcon,
                              const CMFormatDescriptionRef& formatDescription,
                              CMItemCount numSamples, CMItemCount numSampleTimingEntries,
                              const CMSampleTimingInfo* sampleTimingArray,
                              CMItemCount numSampleSizeEntries, const std::size_t* sampleSizeArray,
                              CMSampleBufferRef* sampleBufferOut) {
    if (sampleBufferOut == nullptr) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    if (numSamples < 0 || !entryCountIsValid(numSampleTimingEntries, numSamples) ||
        !entryCountIsValid(numSampleSizeEntries, numSamples)) {
        return kCMSampleBufferError_InvalidEntryCount;
    }
    if ((numSampleTimingEntries > 0 && sampleTimingArray == nullptr) ||
        (numSampleSizeEntries > 0 && sampleSizeArray == nullptr)) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    CMSampleBuffer::Contents contents;
    contents.dataBuffer = dataBuffer;
    contents.formatDescription = formatDescription;
    contents.numSamples = numSamples;
    contents.timing.assign(sampleTimingArray, sampleTimingArray + numSampleTimingEntries);
    contents.sizes.assign(sampleSizeArray, sampleSizeArray + numSampleSizeEntries);
    contents.dataReady = dataReady;
    contents.makeDataReadyCallback = makeDataReadyCallback;
    contents.makeDataReadyRefcon = makeDataReadyRefcon;

    if (const AudioStreamBasicDescription* pcm = linearPCMFormat(formatDescription);
        pcm != nullptr && dataBuffer) {
        if (const OSStatus status =
                checkLinearPCM(*pcm, contents.sizes, contents.timing, numSamples);
            status != noErr) {
            return status;
        }
    }
    const std::size_t total = sumOfSizes(contents.sizes, numSamples);
    if (!dataBuffer && total > 0) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    if (dataBuffer && total > dataBuffer->dataLength()) {
        return kCMSampleBufferError_InvalidSampleData;
    }
    *sampleBufferOut = std::make_shared<CMSampleBuffer>(std::move(contents));
    return noErr;
}

OSStatus CMSampleBufferCreateReady(const CMBlockBufferRef& dataBuffer,
                                   const CMFormatDescriptionRef& formatDescription,
                                   CMItemCount numSamples, CMItemCount numSampleTimingEntries,
                                   const CMSampleTimingInfo* sampleTimingArray,
                                   CMItemCount numSampleSizeEntries,
                                   const std::size_t* sampleSizeArray,
                                   CMSampleBufferRef* sampleBufferOut) {
    return CMSampleBufferCreate(dataBuffer, true, nullptr, nullptr, formatDescription, numSamples,
                                numSampleTimingEntries, sampleTimingArray, numSampleSizeEntries,
                                sampleSizeArray, sampleBufferOut);
}

OSStatus CMSampleBufferCreateReadyWithImageBuffer(
    const CVImageBufferRef& imageBuffer, const CMVideoFormatDescriptionRef& formatDescription,
    const CMSampleTimingInfo* sampleTiming, CMSampleBufferRef* sampleBufferOut) {
    if (!imageBuffer || !formatDescription || sampleTiming == nullptr ||
        sampleBufferOut == nullptr) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    if (!CMVideoFormatDescriptionMatchesImageBuffer(formatDescription, imageBuffer)) {
        return kCMSampleBufferError_InvalidMediaFormat;
    }
    CMSampleBuffer::Contents contents;
    contents.imageBuffer = imageBuffer;
    contents.formatDescription = formatDescription;
    contents.numSamples = 1;
    contents.timing.push_back(*sampleTiming);
    *sampleBufferOut = std::make_shared<CMSampleBuffer>(std::move(contents));
    return noErr;
}

CMTime CMSampleBufferGetPresentationTimeStamp(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->presentationTimeStamp() : kCMTimeInvalid;
}

CMTime CMSampleBufferGetDecodeTimeStamp(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->decodeTimeStamp() : kCMTimeInvalid;
}

CMTime CMSampleBufferGetDuration(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->duration() : kCMTimeInvalid;
}

CMTime CMSampleBufferGetOutputPresentationTimeStamp(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->outputPresentationTimeStamp() : kCMTimeInvalid;
}

CMTime CMSampleBufferGetOutputDuration(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->outputDuration() : kCMTimeInvalid;
}

CMItemCount CMSampleBufferGetNumSamples(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->numSamples() : 0;
}

CMBlockBufferRef CMSampleBufferGetDataBuffer(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->dataBuffer() : nullptr;
}

CVImageBufferRef CMSampleBufferGetImageBuffer(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->imageBuffer() : nullptr;
}

CMFormatDescriptionRef CMSampleBufferGetFormatDescription(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->formatDescription() : nullptr;
}

std::size_t CMSampleBufferGetTotalSampleSize(const CMSampleBufferRef& sbuf) {
    return sbuf ? sbuf->totalSampleSize() : 0;
}

std::size_t CMSampleBufferGetSampleSize(const CMSampleBufferRef& sbuf, CMItemIndex sampleIndex) {
    return sbuf ? sbuf->sampleSize(sampleIndex) : 0;
}

OSStatus CMSampleBufferGetSampleTimingInfo(const CMSampleBufferRef& sbuf, CMItemIndex sampleIndex,
                                           CMSampleTimingInfo* timingInfoOut) {
    if (!sbuf) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    return sbuf->sampleTimingInfo(sampleIndex, timingInfoOut);
}

OSStatus CMSampleBufferGetSampleTimingInfoArray(const CMSampleBufferRef& sbuf,
                                                CMItemCount numSampleTimingEntries,
                                                CMSampleTimingInfo* timingArrayOut,
                                                CMItemCount* timingArrayEntriesNeededOut) {
    if (!sbuf) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    const auto& timing = sbuf->timingEntries();
    const auto needed = static_cast<CMItemCount>(timing.size());
    if (timingArrayEntriesNeededOut != nullptr) {
        *timingArrayEntriesNeededOut = needed;
    }
    if (timing.empty()) {
        return kCMSampleBufferError_BufferHasNoSampleTimingInfo;
    }
    if (timingArrayOut == nullptr) {
        return timingArrayEntriesNeededOut != nullptr
                   ? noErr
                   : kCMSampleBufferError_RequiredParameterMissing;
    }
    if (numSampleTimingEntries < needed) {
        return kCMSampleBufferError_ArrayTooSmall;
    }
    std::copy(timing.begin(), timing.end(), timingArrayOut);
    return noErr;
}

bool CMSampleBufferIsValid(const CMSampleBufferRef& sbuf) {
    return sbuf && sbuf->isValid();
}

OSStatus CMSampleBufferInvalidate(const CMSampleBufferRef& sbuf) {
    if (!sbuf) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    sbuf->invalidate();
    return noErr;
}

bool CMSampleBufferDataIsReady(const CMSampleBufferRef& sbuf) {
    return sbuf && sbuf->dataIsReady();
}

OSStatus CMSampleBufferSetDataReady(const CMSampleBufferRef& sbuf) {
    if (!sbuf) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    sbuf->setDataReady();
    return noErr;
}

OSStatus CMSampleBufferMakeDataReady(const CMSampleBufferRef& sbuf) {
    if (!sbuf) {
        return kCMSampleBufferError_RequiredParameterMissing;
    }
    if (sbuf->dataIsReady()) {
        return noErr;
    }
    if (sbuf->makeDataReadyCallback() == nullptr) {
        return kCMSampleBufferError_BufferNotReady;
    }
    const OSStatus status = sbuf->makeDataReadyCallback()(sbuf, sbuf->makeDataReadyRefcon());
    if (status == noErr) {
        sbuf->setDataReady();
    }
    return status;
}

CMSampleAttachmentsArray* CMSampleBufferGetSampleAttachmentsArray(const CMSampleBufferRef& sbuf,
                                                                  bool createIfNecessary) {
    return sbuf ? sbuf->sampleAttachments(createIfNecessary) : nullptr;
}

void CMSetAttachment(const CMSampleBufferRef& target, const std::string& key, CFValue value,
                     CMAttachmentMode attachmentMode) {
    if (target) {
        target->attachments().set(key, std::move(value), attachmentMode);
    }
}

std::optional<CFValue> CMGetAttachment(const CMSampleBufferRef& target, const std::string& key,
                                       CMAttachmentMode* attachmentModeOut) {
    return target ? target->attachments().get(key, attachmentModeOut) : std::nullopt;
}

void CMRemoveAttachment(const CMSampleBufferRef& target, const std::string& key) {
    if (target) {
        target->attachments().remove(key);
    }
}

void CMRemoveAllAttachments(const CMSampleBufferRef& target) {
    if (target) {
        target->attachments().removeAll();
    }
}

void CMSetAttachments(const CMSampleBufferRef& target, const CFDictionary& attachments,
                      CMAttachmentMode attachmentMode) {
    if (target) {
        target->attachments().setDictionary(attachments, attachmentMode);
    }
}

CFDictionaryRef CMCopyDictionaryOfAttachments(const CMSampleBufferRef& target,
                                              CMAttachmentMode attachmentMode) {
    return target ? target->attachments().copyDictionary(attachmentMode) : nullptr;
}

void CMPropagateAttachments(const CMSampleBufferRef& source, const CMSampleBufferRef& destination) {
    if (!source || !destination || source == destination) {
        return;
    }
    if (const CFDictionaryRef propagated =
            source->attachments().copyDictionary(kCMAttachmentMode_ShouldPropagate)) {
        destination->attachments().setDictionary(*propagated, kCMAttachmentMode_ShouldPropagate);
    }
}

}  // namespace platform
