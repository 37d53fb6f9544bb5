#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <cmath>
#include <memory>
#include <vector>

#include "AccessibilityEventRecorder.h"
#include "libraries/calyxware/Label.h"
#include "libraries/calyxware/QtConversions.h"
#include "libraries/calyxware/TextStorage.h"
#include "platform/graphics/NSAttributedString.h"
#include "player-interface/widgets/PlaybackRateSlider.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

struct RateTarget {
    void selectPlaybackRate(PlaybackRateSlider& sender) {
        rates.push_back(sender.selectedItem().value);
    }
    std::vector<float> rates;
};

class PlaybackRateSliderTests : public ::testing::Test {
protected:
    void SetUp() override {
        slider = makePlaybackRateSlider();
        slider->action().set(target, &RateTarget::selectPlaybackRate);
    }

    std::unique_ptr<PlaybackRateSlider> slider;
    std::shared_ptr<RateTarget> target = std::make_shared<RateTarget>();
};

TEST_F(PlaybackRateSliderTests, SevenStopsTitledAtTheEndsAndAtNormalRateWhichIsSelected) {
    ASSERT_EQ(slider->count(), 7u);
    EXPECT_EQ(slider->selectedIndex(), 2);
    EXPECT_EQ(slider->accessibilityValue(), 1.0);
    EXPECT_EQ(slider->accessibilityValueDescription(), "1 times normal rate");
    EXPECT_EQ(slider->accessibleName(), "Playback rate");
    EXPECT_EQ(slider->slider()->tickPosition(), QSlider::TicksAbove);
    const std::vector<std::optional<std::string>> titles = {
        "0.5\u00d7", std::nullopt, "1\u00d7", std::nullopt, std::nullopt, std::nullopt, "2\u00d7"};
    for (std::size_t i = 0; i < titles.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(slider->label(i) != nullptr, titles[i].has_value());
        if (titles[i]) {
            calyxware::TextStorage& storage = *slider->label(i)->textStorage();
            EXPECT_EQ(QString::fromStdU16String(storage.string()).toStdString(), *titles[i]);
            EXPECT_EQ(slider->label(i)->accessibleName().toStdString(),
                      slider->items()[i].accessibilityLabel);
        }
    }
}

TEST_F(PlaybackRateSliderTests, NearestStopPrefersTheEarlierOnATie) {
    EXPECT_EQ(slider->nearestItemIndex(1.1f), 2u);
    EXPECT_EQ(slider->nearestItemIndex(1.125f), 2u);
    EXPECT_EQ(slider->nearestItemIndex(1.2f), 3u);
    EXPECT_EQ(slider->nearestItemIndex(3.0f), 6u);
    EXPECT_EQ(slider->nearestItemIndex(0.0f), 0u);
    EXPECT_EQ(slider->nearestItemIndex(-1.0f), 0u);
}

TEST_F(PlaybackRateSliderTests, OnlyTheUsersMovesSendTheAction) {
    test::AccessibilityEventRecorder recorder;
    slider->setSelectedIndex(6);
    EXPECT_TRUE(target->rates.empty());
    slider->slider()->setValue(4);  // as a drag to another stop does
    EXPECT_EQ(target->rates, (std::vector<float>{1.5f}));
    EXPECT_EQ(recorder.valueChanges(slider.get()), (std::vector<double>{2.0, 1.5}));
}

TEST_F(PlaybackRateSliderTests, ADragAcrossStopsSendsTheActionOnceWhereItEnds) {
    QSlider& control = *slider->slider();
    control.setSliderDown(true);
    for (int stop : {3, 4, 5, 6, 5}) {
        control.setSliderPosition(stop);
    }
    EXPECT_TRUE(target->rates.empty());
    control.setSliderDown(false);
    EXPECT_EQ(target->rates, (std::vector<float>{1.75f}));

    // A drag that comes back to where it started changes nothing.
    control.setSliderDown(true);
    control.setSliderPosition(1);
    control.setSliderPosition(5);
    control.setSliderDown(false);
    EXPECT_EQ(target->rates.size(), 1u);
}

TEST_F(PlaybackRateSliderTests, StepsStopAtTheEndsAndOnADisabledSlider) {
    slider->setSelectedIndex(6);
    EXPECT_FALSE(slider->accessibilityPerformIncrement());
    EXPECT_TRUE(slider->accessibilityPerformDecrement());
    EXPECT_EQ(slider->selectedItem().value, 1.75f);
    slider->setSelectedIndex(0);
    EXPECT_FALSE(slider->accessibilityPerformDecrement());
    EXPECT_EQ(target->rates, (std::vector<float>{1.75f}));

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(slider.get());
    ASSERT_NE(accessible, nullptr);
    EXPECT_FALSE(accessible->state().disabled);
    slider->slider()->setEnabled(false);
    EXPECT_FALSE(slider->isEnabled());
    // What assistive technology is told follows the control, not the view around it.
    EXPECT_TRUE(accessible->state().disabled);
    EXPECT_FALSE(slider->accessibilityPerformIncrement());
    EXPECT_FALSE(slider->accessibilityPerformDecrement());
    EXPECT_EQ(slider->selectedIndex(), 0);
    slider->slider()->setEnabled(true);
    EXPECT_FALSE(accessible->state().disabled);
}

TEST_F(PlaybackRateSliderTests, ReadsAsOneFocusableSliderWithoutTheWrappedOneOrItsTitles) {
    slider->resize(slider->sizeHint());
    slider->show();
    test::AccessibilityEventRecorder recorder;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(slider.get());
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Slider);
    // Neither the wrapped slider nor the titles are read apart from it: only the indicator.
    ASSERT_EQ(accessible->childCount(), 1);
    QAccessibleInterface* indicator = accessible->child(0);
    EXPECT_EQ(indicator->role(), QAccessible::Indicator);
    EXPECT_EQ(accessible->text(QAccessible::Description), "1 times normal rate");
    EXPECT_EQ(accessible->valueInterface()->minimumValue().toDouble(), 0.5);
    EXPECT_EQ(accessible->valueInterface()->maximumValue().toDouble(), 2.0);
    // The view takes the focus for the wrapped slider, so the focus lands on what is named.
    EXPECT_EQ(slider->slider()->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(accessible->state().focusable);

    const QRect atNormalRate = indicator->rect();
    EXPECT_TRUE(atNormalRate.intersects(QRect(slider->mapToGlobal(QPoint(0, 0)), slider->size())));
    // A value set from outside lands on the nearest stop, as the user's move would.
    accessible->valueInterface()->setCurrentValue(1.4);
    EXPECT_EQ(slider->selectedItem().value, 1.5f);
    EXPECT_EQ(target->rates, (std::vector<float>{1.5f}));
    EXPECT_EQ(accessible->text(QAccessible::Description), "1.5 times normal rate");
    EXPECT_GT(indicator->rect().x(), atNormalRate.x());
    const std::vector<QRect> moves = recorder.indicatorMoves(slider.get());
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back(), indicator->rect());

    // The keys step it as they did the wrapped slider.
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(slider.get(), &end);
    QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(slider.get(), &left);
    EXPECT_EQ(target->rates, (std::vector<float>{1.5f, 2.0f, 1.75f}));
}

TEST_F(PlaybackRateSliderTests, ADisabledSliderIsNeitherFocusableNorSetFromOutside) {
    slider->show();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(slider.get());
    slider->slider()->setEnabled(false);
    EXPECT_EQ(slider->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(accessible->state().focusable);
    EXPECT_TRUE(accessible->child(0)->state().disabled);
    accessible->valueInterface()->setCurrentValue(2.0);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(slider.get(), &right);
    EXPECT_EQ(slider->selectedIndex(), 2);
    EXPECT_TRUE(target->rates.empty());

    slider->slider()->setEnabled(true);
    EXPECT_EQ(slider->focusPolicy(), Qt::StrongFocus);
    EXPECT_TRUE(accessible->state().focusable);
}

TEST_F(PlaybackRateSliderTests, DisabledSlidersGreyTheirTitles) {
    const auto titleColor = [&] {
        const platform::NSAttributedString text =
            slider->label(0)->textStorage()->attributedString();
        const auto* color = platform::attributeValue<platform::NSColor>(
            text.attributesAtIndex(0), platform::NSForegroundColorAttributeName);
        return color ? *color : platform::NSColor::clearColor();
    };
    const QPalette palette = slider->slider()->palette();
    EXPECT_EQ(titleColor(),
              calyxware::toNSColor(palette.color(QPalette::Active, QPalette::WindowText)));
    slider->slider()->setEnabled(false);
    slider->updateLabelColors();
    EXPECT_EQ(titleColor(),
              calyxware::toNSColor(palette.color(QPalette::Disabled, QPalette::WindowText)));
}

TEST_F(PlaybackRateSliderTests, TitlesSitOnTheirTicksAboveTheSliderInsideTheView) {
    const QSize size = slider->sizeHint();
    const double widest = slider->label(0)->fittingSize().width;
    EXPECT_EQ(size.width(), static_cast<int>(std::ceil(13.0 * 6 + 7 * widest)));
    slider->resize(size);
    slider->show();
    QApplication::processEvents();
    const QRect sliderFrame = slider->slider()->geometry();
    EXPECT_EQ(sliderFrame.bottom(), slider->height() - 1);
    EXPECT_EQ(sliderFrame.width(), slider->width());
    for (std::size_t i : {0u, 2u, 6u}) {
        SCOPED_TRACE(i);
        const platform::CGRect frame = slider->label(i)->frame();
        EXPECT_GE(frame.origin.x, 0);
        EXPECT_LE(frame.origin.x + frame.size.width, slider->width() + 1e-9);
        EXPECT_NEAR(frame.origin.y + frame.size.height, sliderFrame.top(), 1e-9);
    }
    // The selected 1× title is centred on the knob, which sits on its tick.
    const platform::CGRect normal = slider->label(2)->frame();
    EXPECT_NEAR(normal.origin.x + normal.size.width / 2,
                slider->accessibilityValueIndicatorFrame().center().x(), 1.0);
}

TEST(DiscreteSliderTests, TitlesWiderThanTheirRoomStayInsideTheView) {
    DiscreteSlider<int> slider({{1, "A rather long first title", "first"},
                                {2, std::nullopt, "second"},
                                {3, "A rather long last title", "third"}});
    EXPECT_EQ(slider.slider()->tickPosition(), QSlider::TicksBelow);
    slider.resize(slider.sizeHint());
    slider.show();
    QApplication::processEvents();
    EXPECT_EQ(slider.slider()->geometry().top(), 0);
    EXPECT_EQ(slider.label(0)->frame().origin.x, 0);
    const platform::CGRect last = slider.label(2)->frame();
    EXPECT_NEAR(last.origin.x + last.size.width, slider.width(), 1e-9);
    EXPECT_EQ(last.origin.y, slider.slider()->geometry().bottom() + 1);
}

}  // namespace
}  // namespace quillon
