#include "platform/corevideo/CVBuffer.h"

namespace platform {

CFDictionary& CVBuffer::AttachmentSet::mutate() {
    if (!owned_) {
        owned_ =
            shared_ ? std::make_shared<CFDictionary>(*shared_) : std::make_shared<CFDictionary>();
        shared_.reset();
    }
    return *owned_;
}

void CVBuffer::AttachmentSet::reset(CFDictionaryRef shared) {
    owned_.reset();
    shared_ = std::move(shared);
}

CVBuffer::AttachmentSet& CVBuffer::set(CVAttachmentMode mode) {
    return mode == kCVAttachmentMode_ShouldPropagate ? propagated_ : notPropagated_;
}

const CVBuffer::AttachmentSet& CVBuffer::set(CVAttachmentMode mode) const {
    return mode == kCVAttachmentMode_ShouldPropagate ? propagated_ : notPropagated_;
}

void CVBuffer::setAttachment(const std::string& key, CFValue value, CVAttachmentMode mode) {
    std::lock_guard lock(attachmentsMutex_);
    AttachmentSet& other =
        set(mode == kCVAttachmentMode_ShouldPropagate ? kCVAttachmentMode_ShouldNotPropagate
                                                      : kCVAttachmentMode_ShouldPropagate);
    if (const CFDictionary* view = other.view(); view && view->contains(key)) {
        other.mutate().remove(key);
    }
    set(mode).mutate().set(key, std::move(value));
}

std::optional<CFValue> CVBuffer::attachment(const std::string& key, CVAttachmentMode* mode) const {
    std::lock_guard lock(attachmentsMutex_);
    for (CVAttachmentMode candidate :
         {kCVAttachmentMode_ShouldPropagate, kCVAttachmentMode_ShouldNotPropagate}) {
        if (const CFDictionary* view = set(candidate).view()) {
            if (const CFValue* value = view->find(key)) {
                if (mode != nullptr) {
                    *mode = candidate;
                }
                return *value;
            }
        }
    }
    return std::nullopt;
}

bool CVBuffer::hasAttachment(const std::string& key) const {
    std::lock_guard lock(attachmentsMutex_);
    for (const AttachmentSet* candidate : {&propagated_, &notPropagated_}) {
        if (const CFDictionary* view = candidate->view(); view && view->contains(key)) {
            return true;
        }
    }
    return false;
}

void CVBuffer::removeAttachment(const std::string& key) {
    std::lock_guard lock(attachmentsMutex_);
    for (AttachmentSet* candidate : {&propagated_, &notPropagated_}) {
        // Only a present key costs a copy of a shared dictionary.
        if (const CFDictionary* view = candidate->view(); view && view->contains(key)) {
            candidate->mutate().remove(key);
        }
    }
}

void CVBuffer::removeAllAttachments() {
    std::lock_guard lock(attachmentsMutex_);
    propagated_.reset(nullptr);
    notPropagated_.reset(nullptr);
}

void CVBuffer::setAttachments(const CFDictionary& attachments, CVAttachmentMode mode) {
    if (attachments.empty()) {
        return;
    }
    std::lock_guard lock(attachmentsMutex_);
    AttachmentSet& other =
        set(mode == kCVAttachmentMode_ShouldPropagate ? kCVAttachmentMode_ShouldNotPropagate
                                                      : kCVAttachmentMode_ShouldPropagate);
    CFDictionary& target = set(mode).mutate();
    for (const auto& [key, value] : attachments) {
        if (const CFDictionary* view = other.view(); view && view->contains(key)) {
            other.mutate().remove(key);
        }
        target.set(key, value);
    }
}

CFDictionaryRef CVBuffer::copyAttachments(CVAttachmentMode mode) const {
    std::lock_guard lock(attachmentsMutex_);
    const CFDictionary* view = set(mode).view();
    if (view == nullptr || view->empty()) {
        return nullptr;
    }
    return std::make_shared<const CFDictionary>(*view);
}

void CVBuffer::resetAttachments(CFDictionaryRef propagated, CFDictionaryRef notPropagated) {
    std::lock_guard lock(attachmentsMutex_);
    propagated_.reset(std::move(propagated));
    notPropagated_.reset(std::move(notPropagated));
}

void CVBufferSetAttachment(const CVBufferRef& buffer, const std::string& key, CFValue value,
                           CVAttachmentMode attachmentMode) {
    if (buffer) {
        buffer->setAttachment(key, std::move(value), attachmentMode);
    }
}

std::optional<CFValue> CVBufferGetAttachment(const CVBufferRef& buffer, const std::string& key,
                                             CVAttachmentMode* attachmentMode) {
    return buffer ? buffer->attachment(key, attachmentMode) : std::nullopt;
}

bool CVBufferHasAttachment(const CVBufferRef& buffer, const std::string& key) {
    return buffer && buffer->hasAttachment(key);
}

void CVBufferRemoveAttachment(const CVBufferRef& buffer, const std::string& key) {
    if (buffer) {
        buffer->removeAttachment(key);
    }
}

void CVBufferRemoveAllAttachments(const CVBufferRef& buffer) {
    if (buffer) {
        buffer->removeAllAttachments();
    }
}

void CVBufferSetAttachments(const CVBufferRef& buffer, const CFDictionary& attachments,
                            CVAttachmentMode attachmentMode) {
    if (buffer) {
        buffer->setAttachments(attachments, attachmentMode);
    }
}

CFDictionaryRef CVBufferCopyAttachments(const CVBufferRef& buffer,
                                        CVAttachmentMode attachmentMode) {
    return buffer ? buffer->copyAttachments(attachmentMode) : nullptr;
}

void CVBufferPropagateAttachments(const CVBufferRef& sourceBuffer,
                                  const CVBufferRef& destinationBuffer) {
    if (!sourceBuffer || !destinationBuffer || sourceBuffer == destinationBuffer) {
        return;
    }
    if (CFDictionaryRef propagated =
            sourceBuffer->copyAttachments(kCVAttachmentMode_ShouldPropagate)) {
        destinationBuffer->setAttachments(*propagated, kCVAttachmentMode_ShouldPropagate);
    }
}

}  // namespace platform
