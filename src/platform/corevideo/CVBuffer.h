#pragma once

#include "platform/foundation/NeverDestroyed.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/corefoundation/CFDictionary.h"
#include "platform/corefoundation/CFObject.h"

namespace platform {

// Whether an attachment travels on to buffers derived from this one (CVBufferPropagateAttachments).
enum CVAttachmentMode : std::uint32_t {
    kCVAttachmentMode_ShouldNotPropagate = 0,
    kCVAttachmentMode_ShouldPropagate = 1,
};

// Buffer attributes that give every buffer made from them its first attachments.
inline const std::string& kCVBufferPropagatedAttachmentsKey =
    platform::neverDestroyedString("PropagatedAttachments");
inline const std::string& kCVBufferNonPropagatedAttachmentsKey =
    platform::neverDestroyedString("NonPropagatedAttachments");

// Base of the Core Video buffers: a thread-safe set of keyed attachments, each with its mode. A
// key is in at most one of the two modes.
class CVBuffer : public CFObject {
public:
    CVBuffer() = default;
    CVBuffer(const CVBuffer&) = delete;
    CVBuffer& operator=(const CVBuffer&) = delete;

    void setAttachment(const std::string& key, CFValue value, CVAttachmentMode mode);
    std::optional<CFValue> attachment(const std::string& key, CVAttachmentMode* mode) const;
    bool hasAttachment(const std::string& key) const;
    void removeAttachment(const std::string& key);
    void removeAllAttachments();
    void setAttachments(const CFDictionary& attachments, CVAttachmentMode mode);
    // A snapshot of the attachments of one mode; null when there are none.
    CFDictionaryRef copyAttachments(CVAttachmentMode mode) const;

protected:
    // Starts over from the given attachments, sharing the dictionaries rather than copying them
    // (a pool hands every buffer the same ones).
    void resetAttachments(CFDictionaryRef propagated, CFDictionaryRef notPropagated);

private:
    // Copy on write: a dictionary shared with the pool is copied on the first change only.
    class AttachmentSet {
    public:
        const CFDictionary* view() const { return owned_ ? owned_.get() : shared_.get(); }
        CFDictionary& mutate();
        void reset(CFDictionaryRef shared);

    private:
        CFDictionaryRef shared_;
        std::shared_ptr<CFDictionary> owned_;
    };

    AttachmentSet& set(CVAttachmentMode mode);
    const AttachmentSet& set(CVAttachmentMode mode) const;

    mutable std::mutex attachmentsMutex_;
    AttachmentSet propagated_;
    AttachmentSet notPropagated_;
};

using CVBufferRef = std::shared_ptr<CVBuffer>;

void CVBufferSetAttachment(const CVBufferRef& buffer, const std::string& key, CFValue value,
                           CVAttachmentMode attachmentMode);
// The attachment's value, and its mode through attachmentMode when that is given.
std::optional<CFValue> CVBufferGetAttachment(const CVBufferRef& buffer, const std::string& key,
                                             CVAttachmentMode* attachmentMode = nullptr);
inline std::optional<CFValue> CVBufferCopyAttachment(const CVBufferRef& buffer,
                                                     const std::string& key,
                                                     CVAttachmentMode* attachmentMode = nullptr) {
    return CVBufferGetAttachment(buffer, key, attachmentMode);
}
bool CVBufferHasAttachment(const CVBufferRef& buffer, const std::string& key);
void CVBufferRemoveAttachment(const CVBufferRef& buffer, const std::string& key);
void CVBufferRemoveAllAttachments(const CVBufferRef& buffer);
void CVBufferSetAttachments(const CVBufferRef& buffer, const CFDictionary& attachments,
                            CVAttachmentMode attachmentMode);
CFDictionaryRef CVBufferCopyAttachments(const CVBufferRef& buffer, CVAttachmentMode attachmentMode);
inline CFDictionaryRef CVBufferGetAttachments(const CVBufferRef& buffer,
                                              CVAttachmentMode attachmentMode) {
    return CVBufferCopyAttachments(buffer, attachmentMode);
}
// Copies the source's propagating attachments onto the destination (as propagating ones).
void CVBufferPropagateAttachments(const CVBufferRef& sourceBuffer,
                                  const CVBufferRef& destinationBuffer);

}  // namespace platform
