#pragma once

#include <QRectF>
#include <QWheelEvent>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/ObserverToken.h"
#include "player-interface/controls/ScrubberDelegate.h"
#include "player-interface/widgets/AccessibleSlider.h"
#include "player-interface/widgets/ControlAction.h"

namespace quillon {

// The timeline of the player controls: a thin bar, played part in the accent colour, with a
// small upright knob. The user clicks (jumping there unless on the knob), drags (the knob keeps
// its offset from the pointer and waits at an end until the pointer comes back over the
// track), scrolls sideways, or steps with the arrow keys or assistive technology (5 % of the
// range). It knows nothing of media: a value between two ends, an action for user changes and a
// delegate for gestures. Geometry is kept in the rect fields, in widget coordinates, recomputed
// whenever the size, the value or the ends change. Main thread only.
class Scrubber : public QWidget, public AccessibleSlider {
public:
    struct Metrics {
        double knobTrackingWidth;
        double knobTrackingHeight;
        double knobWidth;
        double knobHeight;
        double knobCornerRadius;
        // Between the knob and the bar on either side.
        double knobBarGap;
    };
    struct BarMetrics {
        double barHeight;
        double barCornerRadius;
    };
    static constexpr Metrics metrics{6.0, 18.5, 3.0, 15.5, 1.5, 1.25};
    static constexpr BarMetrics barMetrics{3.0, 1.5};

    explicit Scrubber(QWidget* parent = nullptr);
    ~Scrubber() override;

    double minValue() const { return minValue_; }
    void setMinValue(double value);
    double maxValue() const { return maxValue_; }
    void setMaxValue(double value);
    double value() const { return value_; }
    // Stores the value as given: no clamping, no action.
    void setValue(double value);

    // Value change per unit of scroll, used when finer than one point of travel.
    std::optional<double> scrollingValueAmount() const { return scrollingValueAmount_; }
    void setScrollingValueAmount(std::optional<double> amount) { scrollingValueAmount_ = amount; }

    // Sent when the user changes the value.
    ControlAction<Scrubber>& action() { return action_; }
    void setDelegate(std::weak_ptr<ScrubberDelegate> delegate) { delegate_ = std::move(delegate); }

    using ValueFormatter = std::function<std::string(double value)>;
    void setAccessibilityValueFormatter(ValueFormatter formatter) {
        accessibilityValueFormatter_ = std::move(formatter);
    }

    // The user-side setter: clamps into the range (whichever end is larger), and when the value
    // changes, lays out, tells assistive technology and sends the action. A value that is not a
    // number is ignored.
    void setValueAndSendAction(double value);
    // Where the value lies in the range, 0...1 (0 for an empty range).
    double fraction() const;
    // Sets the value at that fraction of the range through setValueAndSendAction.
    void setFraction(double fraction);

    // The desktop's "increase contrast" setting: no gaps at the knob, a lighter unplayed part.
    // Follows the workspace's accessibility display options from creation on.
    bool increasesContrast() const { return increasesContrast_; }
    void setIncreasesContrast(bool increases);

    QRectF barRect() const { return barRect_; }
    QRectF barLeftClipRect() const { return barLeftClipRect_; }
    QRectF barRightClipRect() const { return barRightClipRect_; }
    QRectF knobPathTrackingRect() const { return knobPathTrackingRect_; }
    QRectF knobRect() const { return knobRect_; }
    QRectF knobTrackingRect() const { return knobTrackingRect_; }

    double accessibilityValue() const override { return value_; }
    double accessibilityMinValue() const override { return minValue_; }
    double accessibilityMaxValue() const override { return maxValue_; }
    std::optional<std::string> accessibilityValueDescription() const override;
    bool accessibilityPerformIncrement() override;
    bool accessibilityPerformDecrement() override;
    bool accessibilitySetValue(double value) override;
    QRectF accessibilityValueIndicatorFrame() const override { return knobRect_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The sideways scroll distance of a wheel event, in points: the horizontal delta, or the
    // vertical one from a wheel that only turns vertically.
    static double horizontalScrollDelta(const QWheelEvent& event);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void layoutRects();
    double pixelRatio() const;
    void tellDelegateDidBeginTracking();
    void tellDelegateDidEndTracking();
    // Closes the open gesture, if any, telling the delegate once.
    void endTracking();

    double minValue_ = 0;
    double maxValue_ = 1;
    double value_ = 0;
    std::optional<double> scrollingValueAmount_;
    ControlAction<Scrubber> action_;
    std::weak_ptr<ScrubberDelegate> delegate_;
    ValueFormatter accessibilityValueFormatter_;
    bool increasesContrast_ = false;
    platform::ObserverToken accessibilityDisplayOptionsObserver_;
    // The pointer's last x while a drag runs.
    std::optional<double> dragX_;
    // A scroll gesture began and has not ended.
    bool isScrollTracking_ = false;
    double laidOutPixelRatio_ = 1;

    QRectF barRect_;
    QRectF barLeftClipRect_;
    QRectF barRightClipRect_;
    QRectF knobPathTrackingRect_;
    QRectF knobRect_;
    QRectF knobTrackingRect_;
};

}  // namespace quillon
