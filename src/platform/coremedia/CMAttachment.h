#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/corefoundation/CFDictionary.h"
#include "platform/coremedia/CMTime.h"

namespace platform {

// Whether an attachment should travel on to buffers derived from the one it is set on.
using CMAttachmentMode = std::uint32_t;
inline constexpr CMAttachmentMode kCMAttachmentMode_ShouldNotPropagate = 0;
inline constexpr CMAttachmentMode kCMAttachmentMode_ShouldPropagate = 1;

// The keyed values attached to a buffer, each with its mode. Any thread may read and change
// them at any time; every call sees a consistent state.
class CMAttachmentStore {
public:
    CMAttachmentStore() = default;
    CMAttachmentStore(const CMAttachmentStore&) = delete;
    CMAttachmentStore& operator=(const CMAttachmentStore&) = delete;

    void set(const std::string& key, CFValue value, CMAttachmentMode mode);
    // A copy of the value: another thread may replace it right after.
    std::optional<CFValue> get(const std::string& key, CMAttachmentMode* modeOut = nullptr) const;
    void remove(const std::string& key);
    void removeAll();
    // Adds or replaces every entry of the dictionary, all with one mode.
    void setDictionary(const CFDictionary& attachments, CMAttachmentMode mode);
    // The attachments of one mode; null when there are none.
    CFDictionaryRef copyDictionary(CMAttachmentMode mode) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::pair<CFValue, CMAttachmentMode>> entries_;
};

// Attachments that hold a time (the trim durations) hold it as a dictionary of its four
// fields, as the platform stores times in property lists.
CFDictionaryRef CMAttachmentValueWithTime(CMTime time);
// The time such a value holds; nullopt for any other value.
std::optional<CMTime> CMAttachmentTimeValue(const CFValue& value);

}  // namespace platform
