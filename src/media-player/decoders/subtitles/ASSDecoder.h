#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media-player/decoders/subtitles/ASSRenderingContext.h"
#include "media-player/decoders/subtitles/ASSScript.h"
#include "media-player/decoders/subtitles/ASSSplit.h"
#include "media-player/decoders/subtitles/FormattedTextSubtitle.h"
#include "media-player/decoders/subtitles/SubtitleTextStyle.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleUpdateNotifier.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/FontCollection.h"

namespace quillon {

// Turns the styles of an ASS script header into subtitle text styles, and ASS events into
// attributed strings with the style that lays them out. The style map follows the user's
// subtitle style: it is rebuilt whenever that style changes.
//
// A decoder is fed from one decoding queue at a time. The style map is read and replaced only on
// "ASS Decoder Style Map Queue"; the split header is guarded by a lock, which is always taken
// before that queue, and that queue before the style manager's.
class ASSDecoder : public std::enable_shared_from_this<ASSDecoder> {
    struct Passkey {};

public:
    class DecodingError : public platform::Error {
    public:
        // The cases in declaration order; the order is also the error code.
        enum class Kind : std::int32_t {
            duplicateStyleName,
            invalidTextAlignmentValue,
            invalidASSHeaderBytes,
            invalidDialogBytes,
        };

        static constexpr const char* errorDomain = "QuillonPlayer.ASSDecoder.DecodingError";

        static DecodingError duplicateStyleName(std::string name);
        static DecodingError invalidTextAlignmentValue(std::int32_t value);
        static DecodingError invalidASSHeaderBytes() {
            return DecodingError(Kind::invalidASSHeaderBytes);
        }
        static DecodingError invalidDialogBytes() {
            return DecodingError(Kind::invalidDialogBytes);
        }

        Kind kind() const { return kind_; }
        // duplicateStyleName only.
        const std::string& styleName() const;
        // invalidTextAlignmentValue only.
        std::int32_t alignmentValue() const;

        // `duplicateStyleName("Main")`, `invalidTextAlignmentValue(0)`, `invalidDialogBytes`.
        std::string description() const;

        std::string domain() const override { return errorDomain; }
        std::int64_t code() const override { return static_cast<std::int64_t>(kind_); }
        std::shared_ptr<const platform::Error> clone() const override;
        std::string debugDescription() const override { return description(); }

        // Same case and equal payloads.
        friend bool operator==(const DecodingError& a, const DecodingError& b) {
            return a.kind_ == b.kind_ && a.name_ == b.name_ && a.value_ == b.value_;
        }

    private:
        explicit DecodingError(Kind kind, std::string name = {}, std::int32_t value = 0)
            : kind_(kind), name_(std::move(name)), value_(value) {}

        Kind kind_;
        std::string name_;
        std::int32_t value_;
    };

    using StyleMap = ASSRenderingContext::StyleMap;

    // A decoder of the script header that an FFmpeg text-subtitle decoder supplies (the bytes
    // need no terminating NUL), following the shared style manager and notifier. Style and
    // "\fn" font names are looked up in `documentFonts` (the fonts the media file carries), kept
    // as long as the decoder, before the system's. Throws DecodingError invalidASSHeaderBytes
    // when the header cannot be split.
    static std::shared_ptr<ASSDecoder> make(
        const std::uint8_t* headerBytes, std::int32_t headerSize,
        std::shared_ptr<const platform::FontCollection> documentFonts = nullptr);
    static std::shared_ptr<ASSDecoder> make(
        const std::uint8_t* headerBytes, std::int32_t headerSize,
        std::shared_ptr<SubtitleTextStyleManager> styleManager,
        const std::shared_ptr<SubtitleTextStyleUpdateNotifier>& updateNotifier,
        std::shared_ptr<const platform::FontCollection> documentFonts = nullptr);

    ASSDecoder(Passkey, ASSSplitContextPointer decoderContext,
               std::shared_ptr<SubtitleTextStyleManager> styleManager,
               std::shared_ptr<const platform::FontCollection> documentFonts);
    ASSDecoder(const ASSDecoder&) = delete;
    ASSDecoder& operator=(const ASSDecoder&) = delete;

    // The script's PlayResX x PlayResY: absent for the default 384 x 288, (0, 0) when the header
    // gives neither.
    const std::optional<platform::CGSize>& originalContainerSize() const {
        return originalContainerSize_;
    }

    // The canvas that positions and drawings are given in: PlayResX x PlayResY, the missing one
    // of them taken at 4:3 from the other, 384 x 288 when both are missing.
    platform::CGSize canvasSize() const { return canvasSize_; }

    // Rebuilds the style map; on failure logs and keeps the old one. Runs on the style map queue.
    void updateStyleMap();

    // The style of that name, else the "Default" style (which the map always has).
    SubtitleTextStyle style(std::string_view named) const;
    // A copy of the whole map.
    StyleMap styleMap() const;

    // The subtitle of one event.
    FormattedTextSubtitle formattedTextSubtitle(const ASSDialog& dialog) const;

    // The subtitles of the events of one decoded subtitle rectangle: an event in the shape FFmpeg
    // hands over ("ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text"), or complete
    // "Dialogue:" lines in the header's Events column order. Throws invalidDialogBytes when no
    // event can be split from the text, and FFmpegError when an override block is unclosed.
    std::vector<FormattedTextSubtitle> formattedTextSubtitles(const char* eventText);

private:
    StyleMap makeStyleMap() const;
    SubtitleTextStyle makeStyle(const ASSStyle& style,
                                const SubtitleTextStyle& userSpecifiedStyle) const;

    // Guards decoderContext_: events are split into it while a rebuild reads its styles.
    mutable std::mutex decoderContextMutex_;
    ASSSplitContextPointer decoderContext_;
    std::optional<platform::CGSize> originalContainerSize_;
    platform::CGSize canvasSize_;
    // Read and replaced only on styleNameToStyleMapQueue_.
    StyleMap styleNameToStyleMap_;
    std::shared_ptr<platform::DispatchQueue> styleNameToStyleMapQueue_;
    std::shared_ptr<SubtitleTextStyleManager> styleManager_;
    std::shared_ptr<const platform::FontCollection> documentFonts_;
    std::shared_ptr<SubtitleTextStyleUpdateNotifier::ObserverContext>
        userSpecifiedStyleObserverToken_;
};

}  // namespace quillon
