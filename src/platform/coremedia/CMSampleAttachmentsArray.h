#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/corefoundation/CFDictionary.h"

namespace platform {

class CMSampleAttachmentsArray;

// The attachments of one sample: a small dictionary reached through its array. A handle; it is
// valid as long as the sample buffer that owns the array.
class CMSampleAttachments {
public:
    void set(const std::string& key, CFValue value);
    void remove(const std::string& key);
    std::optional<CFValue> get(const std::string& key) const;
    bool contains(const std::string& key) const;
    // True only for a boolean attachment that is true.
    bool isTrue(const std::string& key) const;
    CFDictionary copy() const;

private:
    friend class CMSampleAttachmentsArray;
    CMSampleAttachments(CMSampleAttachmentsArray& array, std::size_t index)
        : array_(&array), index_(index) {}

    CMSampleAttachmentsArray* array_;
    std::size_t index_;
};

// One mutable attachment dictionary per sample of a sample buffer. Any thread may read and
// change them; the dictionaries of samples that never had an attachment take no memory, so an
// audio buffer of many thousand samples can carry the array cheaply.
class CMSampleAttachmentsArray {
public:
    explicit CMSampleAttachmentsArray(std::size_t count) : count_(count) {}
    CMSampleAttachmentsArray(const CMSampleAttachmentsArray&) = delete;
    CMSampleAttachmentsArray& operator=(const CMSampleAttachmentsArray&) = delete;

    std::size_t count() const { return count_; }
    // The sample's attachments; stops the process for an index outside the array.
    CMSampleAttachments at(std::size_t index);
    CMSampleAttachments operator[](std::size_t index) { return at(index); }

private:
    friend class CMSampleAttachments;

    const std::size_t count_;
    mutable std::mutex mutex_;
    std::map<std::size_t, CFDictionary> dictionaries_;
};

}  // namespace platform
