#include "player-interface/widgets/PlaybackRateSlider.h"

#include "platform/foundation/Localization.h"

namespace quillon {

namespace {

constexpr const char* rateComment =
    "The accessibility value description of a slider that controls the rate of media playback.";

}  // namespace

std::unique_ptr<PlaybackRateSlider> makePlaybackRateSlider(QWidget* parent) {
    using platform::localizedString;
    std::vector<PlaybackRateSlider::Item> items = {
        {kSlowestPlaybackRate, "0.5\u00d7",
         platform::localizedString("0.5 times normal rate", rateComment)},
        {0.75f, std::nullopt, platform::localizedString("0.75 times normal rate", rateComment)},
        {1.0f, "1\u00d7", platform::localizedString("1 times normal rate", rateComment)},
        {1.25f, std::nullopt, platform::localizedString("1.25 times normal rate", rateComment)},
        {1.5f, std::nullopt, platform::localizedString("1.5 times normal rate", rateComment)},
        {1.75f, std::nullopt, platform::localizedString("1.75 times normal rate", rateComment)},
        {kFastestPlaybackRate, "2\u00d7",
         platform::localizedString("2 times normal rate", rateComment)},
    };
    auto slider = std::make_unique<PlaybackRateSlider>(std::move(items), parent);
    slider->setTickMarkPosition(QSlider::TicksAbove);
    for (std::size_t i = 0; i < slider->items().size(); ++i) {
        if (slider->items()[i].value == 1.0f) {
            slider->setSelectedIndex(static_cast<int>(i));
            break;
        }
    }
    slider->setAccessibleName(QString::fromStdString(platform::localizedString(
        "Playback rate",
        "The accessibility label of a slider that controls the rate of media playback.")));
    return slider;
}

}  // namespace quillon
