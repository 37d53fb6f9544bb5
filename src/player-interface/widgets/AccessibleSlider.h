#pragma once

#include <QRect>
#include <QRectF>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace quillon {

// What assistive technology reads and does on a slider-like control of ours: Qt asks through
// the accessible interface that installSliderAccessibility() provides for every widget that
// implements this. The control reads as one slider whose only child is its value indicator, an
// element that stands where the knob is; the widgets that draw the control stay out of the tree.
class AccessibleSlider {
public:
    virtual ~AccessibleSlider() = default;

    virtual double accessibilityValue() const = 0;
    virtual double accessibilityMinValue() const = 0;
    virtual double accessibilityMaxValue() const = 0;
    // The value as words ("1 times normal rate"); none to let the number speak for itself.
    virtual std::optional<std::string> accessibilityValueDescription() const = 0;
    // One step up or down; false when nothing changed.
    virtual bool accessibilityPerformIncrement() = 0;
    virtual bool accessibilityPerformDecrement() = 0;
    // Sets the value as the user would, to the nearest one the control takes; false when the
    // control refused it.
    virtual bool accessibilitySetValue(double value) = 0;
    // Whether the control takes changes; a view that wraps the real control answers for it, so
    // that assistive technology does not offer steps that would be refused.
    virtual bool accessibilityIsEnabled() const { return true; }
    // Where the knob is, in the widget's own coordinates.
    virtual QRectF accessibilityValueIndicatorFrame() const = 0;
};

// Makes Qt describe every AccessibleSlider widget as a slider; idempotent.
void installSliderAccessibility();

// Tells assistive technology that the value of `widget` changed.
void postAccessibilityValueChanged(QWidget* widget, double value);

// Tells assistive technology that the value indicator of `widget` (an AccessibleSlider) moved
// with the knob.
void postAccessibilityValueIndicatorMoved(QWidget* widget);

// Also tells `observer` of every such change from now on (none: stop); for recording fakes,
// since Qt drops the events while no assistive technology listens.
using AccessibilityValueChangeObserver = std::function<void(QWidget* widget, double value)>;
void setAccessibilityValueChangeObserver(AccessibilityValueChangeObserver observer);
// The same for the moves of the value indicators, with where each then is on the screen.
using AccessibilityValueIndicatorMoveObserver = std::function<void(QWidget* widget, QRect frame)>;
void setAccessibilityValueIndicatorMoveObserver(AccessibilityValueIndicatorMoveObserver observer);

}  // namespace quillon
