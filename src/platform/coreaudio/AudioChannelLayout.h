#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/coreaudio/AudioChannelBitmap.h"
#include "platform/coreaudio/AudioChannelDescription.h"
#include "platform/coreaudio/AudioChannelLabel.h"
#include "platform/coreaudio/AudioChannelLayoutTag.h"

namespace platform {

// Which speaker each channel of a stream feeds, in one of three forms: a tag naming a known
// arrangement (the usual case), a bitmap of speakers (tag kAudioChannelLayoutTag_UseChannelBitmap)
// or a list of channel descriptions (tag kAudioChannelLayoutTag_UseChannelDescriptions).
//
// On the platform this is a variable-length C structure whose callers pass its byte size along;
// here it is a value, and AudioChannelLayoutByteSize() gives the size that callers name.
struct AudioChannelLayout {
    AudioChannelLayoutTag mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelDescriptions;
    AudioChannelBitmap mChannelBitmap = 0;
    std::vector<AudioChannelDescription> mChannelDescriptions;

    std::uint32_t mNumberChannelDescriptions() const {
        return static_cast<std::uint32_t>(mChannelDescriptions.size());
    }

    static AudioChannelLayout withTag(AudioChannelLayoutTag tag) { return {tag, 0, {}}; }
    static AudioChannelLayout withBitmap(AudioChannelBitmap bitmap) {
        return {kAudioChannelLayoutTag_UseChannelBitmap, bitmap, {}};
    }
    // One description per label, no coordinates.
    static AudioChannelLayout withLabels(const std::vector<AudioChannelLabel>& labels);

    friend bool operator==(const AudioChannelLayout&, const AudioChannelLayout&) = default;
};

// Byte sizes of the platform's structure: a 12-byte header (tag, bitmap, description count)
// followed by 20 bytes per description. The declared structure has room for one description,
// so a layout that holds only a tag is commonly passed with the structure's size, 32.
inline constexpr std::size_t kAudioChannelLayoutHeaderByteSize = 12;
inline constexpr std::size_t kAudioChannelDescriptionByteSize = 20;
inline constexpr std::size_t kAudioChannelLayoutStructByteSize =
    kAudioChannelLayoutHeaderByteSize + kAudioChannelDescriptionByteSize;

constexpr std::size_t AudioChannelLayoutByteSize(std::size_t numberChannelDescriptions) {
    return kAudioChannelLayoutHeaderByteSize +
           kAudioChannelDescriptionByteSize * numberChannelDescriptions;
}
inline std::size_t AudioChannelLayoutByteSize(const AudioChannelLayout& layout) {
    return AudioChannelLayoutByteSize(layout.mChannelDescriptions.size());
}

// The number of channels the layout describes: the tag's count, the number of bits in the
// bitmap, or the number of descriptions.
std::uint32_t AudioChannelLayoutGetNumberOfChannels(const AudioChannelLayout& layout);

// The labels of the channels in stream order, for the tags whose order is known (every MPEG,
// ITU, DVD, AudioUnit, AAC, AC3, EAC/EAC3, DTS, WAVE and TMH tag, the named geometric layouts,
// DiscreteInOrder, HOA and Unknown with their counts); nullopt for any other tag.
std::optional<std::vector<AudioChannelLabel>> AudioChannelLayoutTagCopyChannelLabels(
    AudioChannelLayoutTag tag);

// The labels of a bitmap's speakers in bit order; nullopt when a set bit names no speaker.
std::optional<std::vector<AudioChannelLabel>> AudioChannelBitmapCopyChannelLabels(
    AudioChannelBitmap bitmap);

// The labels of the layout in stream order, whichever of its three forms it uses.
std::optional<std::vector<AudioChannelLabel>> AudioChannelLayoutCopyChannelLabels(
    const AudioChannelLayout& layout);

// For logs: "tag 7995398 (6 ch)", "bitmap 0x3f (6 ch)" or "3 descriptions".
std::string AudioChannelLayoutCopyDescription(const AudioChannelLayout& layout);

}  // namespace platform
