#pragma once

#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
}

namespace quillon {

// The accessibility characteristics of a track, read from its stream's disposition; the default
// track choice matches them against the user's accessibility preferences.
struct MediaCharacteristics {
    std::uint64_t rawValue = 0;

    static constexpr MediaCharacteristics describesVideoForAccessibility() { return {0x100000}; }
    static constexpr MediaCharacteristics hearingImpaired() { return {0x40000000}; }
    static constexpr MediaCharacteristics hearingImpairedWithCleanEffects() { return {0x80000000}; }

    // Clean effects only tell the two hearing-impaired kinds apart; other bits carry nothing.
    static constexpr MediaCharacteristics fromDisposition(int disposition) {
        MediaCharacteristics characteristics;
        if ((disposition & AV_DISPOSITION_VISUAL_IMPAIRED) != 0) {
            characteristics.insert(describesVideoForAccessibility());
        }
        if ((disposition & AV_DISPOSITION_HEARING_IMPAIRED) != 0) {
            characteristics.insert((disposition & AV_DISPOSITION_CLEAN_EFFECTS) != 0
                                       ? hearingImpairedWithCleanEffects()
                                       : hearingImpaired());
        }
        return characteristics;
    }

    constexpr bool isEmpty() const { return rawValue == 0; }
    // Every bit of `other` is set here (true for an empty `other`).
    constexpr bool contains(MediaCharacteristics other) const {
        return (rawValue & other.rawValue) == other.rawValue;
    }
    constexpr void insert(MediaCharacteristics other) { rawValue |= other.rawValue; }

    friend constexpr MediaCharacteristics operator|(MediaCharacteristics a,
                                                    MediaCharacteristics b) {
        return {a.rawValue | b.rawValue};
    }
    friend constexpr MediaCharacteristics operator&(MediaCharacteristics a,
                                                    MediaCharacteristics b) {
        return {a.rawValue & b.rawValue};
    }
    friend constexpr bool operator==(MediaCharacteristics, MediaCharacteristics) = default;
};

}  // namespace quillon
