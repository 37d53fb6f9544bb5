#pragma once

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace quillon {

// What assistive technology reads and does on a slider-like control of ours: Qt asks through
// the accessible interface that installSliderAccessibility() provides for every widget that
// implements this.
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
    // Whether the control takes changes; a view that wraps the real control answers for it, so
    // that assistive technology does not offer steps that would be refused.
    virtual bool accessibilityIsEnabled() const { return true; }
};

// Makes Qt describe every AccessibleSlider widget as a slider; idempotent.
void installSliderAccessibility();

// Tells assistive technology that the value of `widget` changed.
void postAccessibilityValueChanged(QWidget* widget, double value);

// Also tells `observer` of every such change from now on (none: stop); for recording fakes,
// since Qt drops the events while no assistive technology listens.
using AccessibilityValueChangeObserver = std::function<void(QWidget* widget, double value)>;
void setAccessibilityValueChangeObserver(AccessibilityValueChangeObserver observer);

}  // namespace quillon
