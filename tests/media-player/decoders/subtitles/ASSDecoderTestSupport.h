#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "media-player/decoders/subtitles/ASSDecoder.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleUpdateNotifier.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/NSAttributedString.h"
#include "support/FakeCaptionAppearance.h"
#include "support/GuiApplicationEnvironment.h"

namespace quillon::asstest {

// Decoders over a style manager of their own: fake caption settings, user defaults in a
// temporary file, and a notifier that follows only this manager.
class ASSDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(directory_.isValid()); }

    std::shared_ptr<ASSDecoder> makeDecoder(const std::string& header) {
        return ASSDecoder::make(reinterpret_cast<const std::uint8_t*>(header.data()),
                                static_cast<std::int32_t>(header.size()), manager_, notifier_);
    }

    void useUserSpecifiedStyle(bool use) {
        defaults_->set(use, QPUseUserSpecifiedSubtitleTextStyle);
    }

    SubtitleTextStyle userSpecifiedStyle() const { return manager_->userSpecifiedStyle(); }

    QTemporaryDir directory_;
    std::shared_ptr<platform::UserDefaults> defaults_ = std::make_shared<platform::UserDefaults>(
        directory_.filePath(QStringLiteral("defaults.conf")).toStdString());
    std::shared_ptr<platform::FakeCaptionAppearance> captionAppearance_ =
        std::make_shared<platform::FakeCaptionAppearance>();
    std::shared_ptr<SubtitleTextStyleManager> manager_ =
        SubtitleTextStyleManager::make(captionAppearance_, defaults_);
    std::shared_ptr<SubtitleTextStyleUpdateNotifier> notifier_ =
        SubtitleTextStyleUpdateNotifier::make(manager_);
};

// A header with the V4+ Styles columns and the given style lines.
inline std::string headerWithStyles(const std::string& styleLines,
                                    const std::string& scriptInfo = "") {
    return "[Script Info]\nScriptType: v4.00+\n" + scriptInfo +
           "\n[V4+ Styles]\n"
           "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
           "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
           "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n" +
           styleLines +
           "\n[Events]\n"
           "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
}

// One run of an attributed string: its text and attributes.
struct TextRun {
    std::string text;
    platform::NSAttributeDictionary attributes;
};

inline std::vector<TextRun> runsOf(const platform::NSAttributedString& string) {
    std::vector<TextRun> runs;
    string.enumerateAttributes(
        platform::NSMakeRange(0, string.length()),
        [&](const platform::NSAttributeDictionary& attributes, platform::NSRange range, bool&) {
            runs.push_back({string.attributedSubstringFromRange(range).string(), attributes});
        });
    return runs;
}

template <typename T>
const T* attribute(const TextRun& run, const platform::NSAttributedStringKey& key) {
    return platform::attributeValue<T>(run.attributes, key);
}

// Polls until the condition holds; false after a generous timeout that only catches hangs.
inline bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

}  // namespace quillon::asstest
