#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "player-interface/controls/Scrubber.h"
#include "player-interface/widgets/AccessibilityEventRecorder.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

struct RecordingTarget {
    void scrubberDidChangeValue(Scrubber& sender) { values.push_back(sender.value()); }
    std::vector<double> values;
};

struct RecordingDelegate : ScrubberDelegate {
    void scrubberDidBeginTracking() override { events += "begin "; }
    void scrubberDidEndTracking() override { events += "end "; }
    std::string events;
};

class ScrubberTests : public ::testing::Test {
protected:
    // A scrubber whose knob path is `pathWidth` points long, 19 points tall.
    void makeScrubber(int pathWidth, double minValue, double maxValue) {
        scrubber = std::make_unique<Scrubber>();
        scrubber->resize(pathWidth + 3, 19);
        scrubber->setMinValue(minValue);
        scrubber->setMaxValue(maxValue);
        scrubber->action().set(target, &RecordingTarget::scrubberDidChangeValue);
        scrubber->setDelegate(delegate);
    }

    void send(QEvent::Type type, double x, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(x, 9.5), scrubber->mapToGlobal(QPointF(x, 9.5)), button,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(scrubber.get(), &event);
    }
    void press(double x) { send(QEvent::MouseButtonPress, x, Qt::LeftButton, Qt::LeftButton); }
    void drag(double x) { send(QEvent::MouseMove, x, Qt::NoButton, Qt::LeftButton); }
    void release(double x) { send(QEvent::MouseButtonRelease, x, Qt::LeftButton, Qt::NoButton); }

    void scroll(double deltaX, Qt::ScrollPhase phase, bool inverted = true) {
        QWheelEvent event(QPointF(10, 9.5), QPointF(10, 9.5), QPoint(static_cast<int>(deltaX), 0),
                          QPoint(static_cast<int>(deltaX), 0), Qt::NoButton, Qt::NoModifier, phase,
                          inverted);
        QApplication::sendEvent(scrubber.get(), &event);
    }

    std::shared_ptr<RecordingTarget> target = std::make_shared<RecordingTarget>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::unique_ptr<Scrubber> scrubber;
};

TEST_F(ScrubberTests, UserValuesAreClampedIntoTheRangeAndSentOnlyWhenTheyChange) {
    makeScrubber(500, 0, 10);
    scrubber->setValueAndSendAction(12);
    scrubber->setValueAndSendAction(10);
    scrubber->setValueAndSendAction(-1);
    scrubber->setValueAndSendAction(std::nan(""));
    EXPECT_EQ(target->values, (std::vector<double>{10, 0}));

    // The ends may come in either order.
    scrubber->setMinValue(10);
    scrubber->setMaxValue(0);
    scrubber->setValueAndSendAction(5);
    scrubber->setValueAndSendAction(11);
    EXPECT_EQ(target->values, (std::vector<double>{10, 0, 5, 10}));

    // The program's own setter neither clamps nor sends.
    scrubber->setValue(42);
    EXPECT_EQ(scrubber->value(), 42);
    EXPECT_EQ(target->values.size(), 4u);

    // No action once the target is gone.
    const std::weak_ptr<RecordingTarget> weakTarget = target;
    target.reset();
    scrubber->setValueAndSendAction(1);
    EXPECT_EQ(scrubber->value(), 1);
    EXPECT_TRUE(weakTarget.expired());
}

TEST_F(ScrubberTests, AnEmptyRangeHoldsOneValueWithTheKnobAtTheLeft) {
    makeScrubber(500, 3, 3);
    scrubber->setValue(3);
    scrubber->setValueAndSendAction(7);
    EXPECT_EQ(scrubber->value(), 3);
    EXPECT_EQ(scrubber->fraction(), 0);
    EXPECT_EQ(scrubber->knobRect().left(), 0);
    scrubber->setFraction(0.5);
    EXPECT_EQ(scrubber->value(), 3);
    EXPECT_TRUE(target->values.empty());
}

TEST_F(ScrubberTests, GeometryKeepsTheBarAndKnobMetrics) {
    makeScrubber(503, 0, 100);
    EXPECT_EQ(scrubber->sizeHint().height(), 19);  // the 18.5-point grab area, whole points
    EXPECT_EQ(scrubber->barRect(), QRectF(0, 8, 506, 3));
    EXPECT_EQ(scrubber->knobPathTrackingRect(), QRectF(1.5, 0, 503, 19));
    // Knob 3 × 15.5 centred, grown to whole pixels; grab area 6 × 18.5 around it.
    EXPECT_EQ(scrubber->knobRect(), QRectF(0, 2, 3, 16));
    EXPECT_EQ(scrubber->knobTrackingRect(), QRectF(-1, 1, 6, 19));
    // The played part stops a gap before the knob, the unplayed one starts a gap after it.
    EXPECT_EQ(scrubber->barLeftClipRect().width(), 0);
    EXPECT_EQ(scrubber->barRightClipRect(), QRectF(4, 8, 502, 3));

    scrubber->setValue(100);
    EXPECT_EQ(scrubber->knobRect().center().x(), scrubber->barRect().right() - 1.5);
    scrubber->setValue(50);
    EXPECT_EQ(scrubber->knobRect().left(), 252);  // 251.5, moved inwards to a whole pixel
    EXPECT_EQ(scrubber->barLeftClipRect().right(), 251);
    EXPECT_EQ(scrubber->barRightClipRect().left(), 256);

    // With increased contrast both parts meet under the knob's centre (253.5, on a whole pixel).
    scrubber->setIncreasesContrast(true);
    EXPECT_EQ(scrubber->barLeftClipRect().right(), 254);
    EXPECT_EQ(scrubber->barRightClipRect().left(), 254);
}

TEST_F(ScrubberTests, ClickingJumpsUnlessOnTheKnobAndTracksUntilRelease) {
    makeScrubber(500, 0, 100);
    scrubber->setValue(50);  // knob at x 250...253, grab area 248.5...254.5
    press(251);
    EXPECT_EQ(scrubber->value(), 50);
    release(251);
    EXPECT_TRUE(target->values.empty());

    press(1.5 + 400);
    EXPECT_DOUBLE_EQ(scrubber->value(), 80);
    release(401.5);
    EXPECT_EQ(target->values.size(), 1u);
    EXPECT_EQ(delegate->events, "begin end begin end ");

    // Other buttons do nothing.
    send(QEvent::MouseButtonPress, 10, Qt::RightButton, Qt::RightButton);
    EXPECT_DOUBLE_EQ(scrubber->value(), 80);
    EXPECT_EQ(delegate->events, "begin end begin end ");
}

TEST_F(ScrubberTests, DraggingMovesByTheDeltaAndWaitsPastTheEnds) {
    makeScrubber(500, 0, 100);
    scrubber->setValue(50);
    press(251);  // grabbed 0.5 points right of the knob's left edge
    drag(301);
    EXPECT_DOUBLE_EQ(scrubber->value(), 60);
    drag(600);  // far past the right end: the knob stops there
    EXPECT_DOUBLE_EQ(scrubber->value(), 100);
    drag(520);  // still right of the track (which ends at 501.5): nothing
    EXPECT_DOUBLE_EQ(scrubber->value(), 100);
    drag(451.5);  // 50 points back over the track
    EXPECT_DOUBLE_EQ(scrubber->value(), 90);
    drag(-100);
    EXPECT_DOUBLE_EQ(scrubber->value(), 0);
    drag(1.5 + 20);  // only the 20 points over the track count
    EXPECT_DOUBLE_EQ(scrubber->value(), 4);
    release(21.5);
    EXPECT_EQ(delegate->events, "begin end ");
}

TEST_F(ScrubberTests, ScrollingMovesByPointsOrByTheFinerValueAmount) {
    // 10 s over 500 points: 0.02 per point is finer than a frame, so points win.
    makeScrubber(500, 0, 10);
    scrubber->setScrollingValueAmount(1000.0 / 23976);
    scrubber->setValue(5);
    scroll(50, Qt::ScrollBegin);  // natural scrolling: content follows the fingers
    EXPECT_DOUBLE_EQ(scrubber->value(), 6);
    scroll(50, Qt::ScrollUpdate, false);  // classic direction: the other way
    EXPECT_DOUBLE_EQ(scrubber->value(), 5);
    scroll(-10, Qt::ScrollEnd);
    EXPECT_EQ(delegate->events, "begin end ");

    // Two hours over 500 points: 14.4 s per point, so a frame per unit of scroll.
    makeScrubber(500, 0, 7200);
    scrubber->setScrollingValueAmount(1000.0 / 23976);
    delegate->events.clear();
    scrubber->setValue(100);
    scroll(24, Qt::ScrollMomentum);
    EXPECT_NEAR(scrubber->value(), 100 + 24 * 1000.0 / 23976, 1e-9);
    EXPECT_EQ(delegate->events, "");
    // Never past the ends.
    makeScrubber(500, 0, 10);
    scrubber->setValue(9.9);
    scroll(50, Qt::NoScrollPhase);
    EXPECT_DOUBLE_EQ(scrubber->value(), 10);
}

TEST_F(ScrubberTests, APlainWheelScrollsWithItsVerticalTurn) {
    makeScrubber(500, 0, 500);
    scrubber->setValue(100);
    const auto turn = [&](QPoint angle) {
        QWheelEvent event(QPointF(10, 9.5), QPointF(10, 9.5), QPoint(), angle, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(scrubber.get(), &event);
    };
    // One notch towards the user goes forward one notch's distance, away goes back.
    turn(QPoint(0, -120));
    EXPECT_DOUBLE_EQ(scrubber->value(), 110);
    turn(QPoint(0, 120));
    EXPECT_DOUBLE_EQ(scrubber->value(), 100);
    // A sideways turn still wins over a vertical one.
    turn(QPoint(-120, 240));
    EXPECT_DOUBLE_EQ(scrubber->value(), 110);
    EXPECT_EQ(delegate->events, "");
}

TEST_F(ScrubberTests, EveryWayOfLosingThePointerEndsTrackingOnce) {
    makeScrubber(500, 0, 100);
    const auto sendPlain = [&](QEvent::Type type) {
        QEvent event(type);
        QApplication::sendEvent(scrubber.get(), &event);
    };
    for (const QEvent::Type lost :
         {QEvent::Hide, QEvent::WindowDeactivate, QEvent::WindowBlocked, QEvent::UngrabMouse}) {
        SCOPED_TRACE(static_cast<int>(lost));
        delegate->events.clear();
        press(100);
        sendPlain(lost);
        // The release that comes late, if at all, ends nothing more.
        release(100);
        EXPECT_EQ(delegate->events, "begin end ");
    }

    // The button went up where the scrubber did not see it.
    delegate->events.clear();
    press(100);
    send(QEvent::MouseMove, 120, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(delegate->events, "begin end ");
    // A second press without a release between them closes the first gesture.
    delegate->events.clear();
    press(100);
    press(200);
    release(200);
    EXPECT_EQ(delegate->events, "begin end begin end ");

    // A scroll gesture whose end never comes.
    delegate->events.clear();
    scroll(10, Qt::ScrollBegin);
    sendPlain(QEvent::WindowDeactivate);
    scroll(10, Qt::ScrollEnd);
    EXPECT_EQ(delegate->events, "begin end ");
    // Losing the pointer with no gesture open tells the delegate nothing.
    delegate->events.clear();
    sendPlain(QEvent::Hide);
    EXPECT_EQ(delegate->events, "");
}

TEST_F(ScrubberTests, StepsAreFivePercentClampedAtTheEndsAndToldToAssistiveTechnology) {
    makeScrubber(500, 0, 200);
    scrubber->setAccessibilityValueFormatter(
        [](double value) { return std::to_string(static_cast<int>(value)) + " seconds"; });
    test::AccessibilityEventRecorder recorder;
    scrubber->setValue(196);  // 98 %
    EXPECT_TRUE(scrubber->accessibilityPerformIncrement());
    EXPECT_DOUBLE_EQ(scrubber->value(), 200);
    EXPECT_EQ(scrubber->accessibilityValueDescription(), "200 seconds");

    QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(scrubber.get(), &left);
    EXPECT_DOUBLE_EQ(scrubber->value(), 190);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(scrubber.get(), &right);
    EXPECT_DOUBLE_EQ(scrubber->value(), 200);
    // At the end nothing changes, so nothing is told.
    scrubber->accessibilityPerformIncrement();
    EXPECT_EQ(recorder.valueChanges(scrubber.get()), (std::vector<double>{200, 190, 200}));
    EXPECT_EQ(target->values, (std::vector<double>{200, 190, 200}));

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(scrubber.get());
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Slider);
    EXPECT_EQ(accessible->text(QAccessible::Value), "200 seconds");
    ASSERT_NE(accessible->valueInterface(), nullptr);
    EXPECT_EQ(accessible->valueInterface()->maximumValue().toDouble(), 200);
    accessible->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
    EXPECT_DOUBLE_EQ(scrubber->value(), 190);
}

// Where the knob is on the screen, as assistive technology is told.
QRect knobOnScreen(const Scrubber& scrubber) {
    const QRect knob = scrubber.knobRect().toAlignedRect();
    return {scrubber.mapToGlobal(knob.topLeft()), knob.size()};
}

TEST_F(ScrubberTests, ReadsAsOneSliderWhoseValueIndicatorFollowsTheKnob) {
    makeScrubber(500, 0, 100);
    scrubber->setAccessibilityValueFormatter(
        [](double value) { return std::to_string(static_cast<int>(value)) + " seconds"; });
    scrubber->show();
    test::AccessibilityEventRecorder recorder;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(scrubber.get());
    ASSERT_NE(accessible, nullptr);
    ASSERT_EQ(accessible->childCount(), 1);
    QAccessibleInterface* indicator = accessible->child(0);
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->role(), QAccessible::Indicator);
    EXPECT_EQ(indicator->parent(), accessible);
    EXPECT_EQ(accessible->indexOfChild(indicator), 0);
    EXPECT_EQ(indicator->rect(), knobOnScreen(*scrubber));
    // The words of the value travel as the description, which the bus carries.
    EXPECT_EQ(accessible->text(QAccessible::Description), "0 seconds");

    // Playback moves the knob: the indicator goes along and says so, once per move.
    const QRect atStart = indicator->rect();
    scrubber->setValue(50);
    scrubber->setValue(50);
    EXPECT_GT(indicator->rect().x(), atStart.x());
    EXPECT_EQ(indicator->rect(), knobOnScreen(*scrubber));
    EXPECT_EQ(recorder.indicatorMoves(scrubber.get()), std::vector<QRect>{indicator->rect()});
    EXPECT_TRUE(recorder.valueChanges(scrubber.get()).empty());
}

TEST_F(ScrubberTests, AssistiveTechnologySetsTheValueAsTheUserWouldUnlessDisabled) {
    makeScrubber(500, 0, 100);
    test::AccessibilityEventRecorder recorder;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(scrubber.get());
    ASSERT_NE(accessible->valueInterface(), nullptr);
    accessible->valueInterface()->setCurrentValue(42.5);
    // Past the end it stops at the end, as a drag would.
    accessible->valueInterface()->setCurrentValue(250.0);
    EXPECT_DOUBLE_EQ(scrubber->value(), 100);
    EXPECT_EQ(target->values, (std::vector<double>{42.5, 100}));
    EXPECT_EQ(recorder.valueChanges(scrubber.get()), (std::vector<double>{42.5, 100}));
    EXPECT_EQ(delegate->events, "");

    scrubber->setEnabled(false);
    EXPECT_TRUE(accessible->state().disabled);
    accessible->valueInterface()->setCurrentValue(10.0);
    EXPECT_DOUBLE_EQ(scrubber->value(), 100);
    EXPECT_EQ(target->values.size(), 2u);
}

}  // namespace
}  // namespace quillon
